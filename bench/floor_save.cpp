#include "bench/floor_save.h"

bool SaveFileWhole(const wchar_t* path, const void* bytes, DWORD size)
{
    wchar_t temporary[MAX_PATH + 8];
    const int length = lstrlenW(path);
    if (length >= MAX_PATH) {
        return false;
    }
    lstrcpynW(temporary, path, MAX_PATH);
    lstrcpynW(temporary + length, L".tmp", 5);
    const HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool whole = WriteFile(file, bytes, size, &written, nullptr) != FALSE && written == size &&
                       FlushFileBuffers(file) != FALSE;
    CloseHandle(file);
    if (!whole || !MoveFileExW(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary);
        return false;
    }
    return true;
}
