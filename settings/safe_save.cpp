#include "settings/safe_save.h"

#include <cstring>

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "settings/private_copy.h"
#include "settings/settings.h"

namespace {

constexpr wchar_t WORK_SUFFIX[] = L".tmp";
constexpr wchar_t BACKUP_SUFFIX[] = L".bak";
constexpr int SUFFIX_LENGTH = 4;
// A program that holds the file for a moment (a backup or sync tool, an editor, a virus scanner)
// is waited for this often, this far apart.
constexpr int ATTEMPTS = 10;
constexpr DWORD RETRY_MS = 100;
// The most a settings file may hold to be read: far more than any table of bindings needs, and a
// larger one is never read whole, nor saved, on the host's thread.
constexpr LONGLONG MAX_FILE_BYTES = 16LL * 1024 * 1024;

DWORD failureReason;

// The errors of a file that another program holds, or that is being deleted; anything else is
// not waited for.
bool IsPassing(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

bool Fail(DWORD reason)
{
    failureReason = reason != ERROR_SUCCESS ? reason : ERROR_WRITE_FAULT;
    return false;
}

// Writes every byte through the handle, flushed to the disk when asked, and closes it; the reason
// of a failure is left in GetLastError.
bool WriteAndClose(HANDLE file, const BYTE* bytes, DWORD size, bool flush)
{
    DWORD written = 0;
    bool whole = size == 0 || (WriteFile(file, bytes, size, &written, nullptr) != FALSE && written == size);
    DWORD error = whole ? ERROR_SUCCESS : GetLastError();
    if (whole && flush && FlushFileBuffers(file) == FALSE) {
        whole = false;
        error = GetLastError();
    }
    CloseHandle(file);
    if (!whole) {
        // A write cut short without an error is a disk that is full.
        SetLastError(error != ERROR_SUCCESS ? error : ERROR_DISK_FULL);
    }
    return whole;
}

// Writes the file complete, flushed to the disk when asked; a failure deletes what was written
// and leaves its reason in GetLastError.
bool WriteWholeFile(const wchar_t* path, const BYTE* bytes, DWORD size, bool flush)
{
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    if (!WriteAndClose(file, bytes, size, flush)) {
        const DWORD error = GetLastError();
        DeleteFileW(path);
        SetLastError(error);
        return false;
    }
    return true;
}

// What the disk gives back for the file is the bytes: a disk that fills up cuts a file short
// without every platform saying so.
bool FileHolds(const wchar_t* path, const BYTE* bytes, DWORD size)
{
    DWORD heldSize = 0;
    BYTE* held = ReadWholeFile(path, &heldSize);
    const bool same = held != nullptr && heldSize == size && std::memcmp(held, bytes, size) == 0;
    ReleaseBlock(held);
    if (!same && held != nullptr) {
        SetLastError(ERROR_WRITE_FAULT);
    }
    return same;
}

// The old file's bytes go to the backup first; then one rename puts the new file in place, which
// replaces the old one in a single step: at no instant is there no file under the name, whereas
// replacing with a backup renames the old file away before the new one takes its name. A first
// save has no old file to keep, and one that appeared meanwhile is not replaced.
bool Swap(const wchar_t* path, const wchar_t* temporary, const wchar_t* backup, const BYTE* before, DWORD beforeSize)
{
    const DWORD replacing = before != nullptr ? MOVEFILE_REPLACE_EXISTING : 0;
    bool backedUp = before == nullptr;
    for (int attempt = 1;; ++attempt) {
        backedUp = backedUp || WriteWholeFile(backup, before, beforeSize, false);
        if (backedUp && MoveFileExW(temporary, path, replacing | MOVEFILE_WRITE_THROUGH) != FALSE) {
            return true;
        }
        const DWORD error = GetLastError();
        if (!IsPassing(error) || attempt == ATTEMPTS) {
            SetLastError(error);
            return false;
        }
        Sleep(RETRY_MS);
    }
}

}  // namespace

BYTE* ReadWholeFile(const wchar_t* path, DWORD* size)
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
        file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || !IsPassing(GetLastError()) || attempt == ATTEMPTS) {
            break;
        }
        Sleep(RETRY_MS);
    }
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    LARGE_INTEGER length = {};
    BYTE* bytes = nullptr;
    DWORD error = ERROR_FILE_TOO_LARGE;
    if (GetFileSizeEx(file, &length) != FALSE && length.QuadPart <= MAX_FILE_BYTES) {
        *size = static_cast<DWORD>(length.QuadPart);
        bytes = static_cast<BYTE*>(AllocateBlock(static_cast<SIZE_T>(*size) + 2));
        DWORD read = 0;
        if (bytes == nullptr) {
            error = ERROR_NOT_ENOUGH_MEMORY;
        } else if (ReadFile(file, bytes, *size, &read, nullptr) == FALSE || read != *size) {
            error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_READ_FAULT;
            ReleaseBlock(bytes);
            bytes = nullptr;
        }
    }
    CloseHandle(file);
    if (bytes == nullptr) {
        SetLastError(error);
    }
    return bytes;
}

bool ProfileFunctionsTake(const wchar_t* path)
{
    return TextLength(path) + SUFFIX_LENGTH < MAX_PATH && std::wcsncmp(path, EXTENDED_PREFIX, 4) != 0;
}

bool WritePrivateCopy(const BYTE* bytes, DWORD size, wchar_t* copy)
{
    return CreatePrivateCopy(copy) && WriteWholeFile(copy, bytes, size, false);
}

bool BeginSafeSave(const wchar_t* path, const BYTE* bytes, DWORD size, wchar_t* work)
{
    bool written = false;
    if (ProfileFunctionsTake(path)) {
        FormatText(work, MAX_PATH, L"%ls%ls", path, WORK_SUFFIX);
        written = WriteWholeFile(work, bytes, size, false);
    } else {
        written = WritePrivateCopy(bytes, size, work);
    }
    return written || Fail(GetLastError());
}

bool CommitSafeSave(const wchar_t* path, const wchar_t* work, const BYTE* bytes, DWORD size, const BYTE* before,
                    DWORD beforeSize)
{
    if (before != nullptr && size == beforeSize && std::memcmp(bytes, before, size) == 0) {
        DeleteFileW(work);
        return true;
    }
    auto* names = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(2) * LONG_PATH_CAPACITY * sizeof(wchar_t)));
    if (names == nullptr) {
        AbandonSafeSave(work, ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    wchar_t* temporary = names;
    wchar_t* backup = names + LONG_PATH_CAPACITY;
    FormatText(temporary, LONG_PATH_CAPACITY, L"%ls%ls", path, WORK_SUFFIX);
    FormatText(backup, LONG_PATH_CAPACITY, L"%ls%ls", path, BACKUP_SUFFIX);
    if (!ProfileFunctionsTake(path)) {
        DeleteFileW(work);
    }
    bool swapped = WriteWholeFile(temporary, bytes, size, true) && FileHolds(temporary, bytes, size);
    DWORD error = swapped ? ERROR_SUCCESS : GetLastError();
    if (swapped) {
        swapped = Swap(path, temporary, backup, before, beforeSize);
        error = GetLastError();
    }
    if (!swapped) {
        DeleteFileW(temporary);
        Fail(error);
    }
    ReleaseBlock(names);
    return swapped;
}

void AbandonSafeSave(const wchar_t* work, DWORD reason)
{
    if (work != nullptr) {
        DeleteFileW(work);
    }
    Fail(reason);
}

DWORD SaveFailureReason()
{
    return failureReason;
}

void DeleteStrayWorkCopy(const wchar_t* path)
{
    auto* name = static_cast<wchar_t*>(AllocateBlock(LONG_PATH_CAPACITY * sizeof(wchar_t)));
    if (name != nullptr) {
        FormatText(name, LONG_PATH_CAPACITY, L"%ls%ls", path, WORK_SUFFIX);
        DeleteFileW(name);
        ReleaseBlock(name);
    }
}
