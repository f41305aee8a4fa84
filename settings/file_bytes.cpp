#include "settings/file_bytes.h"

#include <cstring>

#include "base/heap_block.h"
#include "settings/settings.h"

BYTE* ReadWholeFile(const wchar_t* path, DWORD* size, FileStamp* stamp)
{
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return nullptr;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);  // a folder in the file's place does not go away
        return nullptr;
    }
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 1;; ++attempt) {
        file = OpenSharedForReading(path);
        if (file != INVALID_HANDLE_VALUE || !IsPassing(GetLastError()) || attempt == PASSING_ATTEMPTS) {
            break;
        }
        Sleep(PASSING_RETRY_MS);
    }
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION information;
    BYTE* bytes = nullptr;
    DWORD error = ERROR_SUCCESS;
    DWORD read = 0;
    if (GetFileInformationByHandle(file, &information) == FALSE) {
        error = GetLastError();
    } else if (StampOf(information).size > MAX_SETTINGS_BYTES) {
        error = ERROR_FILE_TOO_LARGE;
    } else {
        *size = information.nFileSizeLow;
        if (stamp != nullptr) {
            *stamp = StampOf(information);
        }
        bytes = static_cast<BYTE*>(AllocateBlock(static_cast<SIZE_T>(*size) + 2));
        if (bytes == nullptr) {
            error = ERROR_NOT_ENOUGH_MEMORY;
        } else if (ReadFile(file, bytes, *size, &read, nullptr) == FALSE) {
            error = GetLastError();
        } else if (read != *size) {
            error = ERROR_HANDLE_EOF;  // another program cut the file short meanwhile
        }
    }
    CloseHandle(file);
    if (error != ERROR_SUCCESS) {
        ReleaseBlock(bytes);
        bytes = nullptr;
        SetLastError(error);
    }
    return bytes;
}

HANDLE OpenSharedForReading(const wchar_t* path)
{
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HeldBytes CompareFileBytes(HANDLE file, const BYTE* bytes, DWORD size, DWORD* error)
{
    auto* now = static_cast<BYTE*>(AllocateBlock(static_cast<SIZE_T>(size) + 1));
    DWORD read = 0;
    HeldBytes held = HeldBytes::Different;
    if (now == nullptr) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        held = HeldBytes::Unreadable;
    } else if (ReadFile(file, now, size + 1, &read, nullptr) == FALSE) {
        *error = GetLastError();
        held = HeldBytes::Unreadable;
    } else if (read == size && std::memcmp(now, bytes, size) == 0) {
        held = HeldBytes::Same;
    }
    ReleaseBlock(now);
    return held;
}

bool IsMarkedReadOnly(const wchar_t* path)
{
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}
