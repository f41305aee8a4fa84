#include "settings/work_files.h"

#include <cwchar>

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "settings/safe_save.h"

namespace {

constexpr wchar_t WORK_EXTENSION[] = L".tmp";
// The process and a count of its own, in hexadecimal.
constexpr int WORK_DIGITS = 16;
constexpr int NAME_ATTEMPTS = 16;
// A work file this old belongs to no running save: a save holds one for seconds at the most.
constexpr ULONGLONG STRAY_AGE = 10ULL * 60 * 10000000;

unsigned workNames;

// Whether the found file's name is "<file>.<16 hex digits>.tmp" for the file named name.
bool IsWorkFileName(const wchar_t* found, const wchar_t* name)
{
    const int length = TextLength(name);
    if (TextLength(found) != length + WORK_SUFFIX_LENGTH || std::wcscmp(found + length + 1 + WORK_DIGITS, WORK_EXTENSION) != 0 ||
        CompareStringOrdinal(found, length, name, length, TRUE) != CSTR_EQUAL || found[length] != L'.') {
        return false;
    }
    for (int digit = 0; digit < WORK_DIGITS; ++digit) {
        const wchar_t unit = found[length + 1 + digit];
        if (!((unit >= L'0' && unit <= L'9') || (unit >= L'A' && unit <= L'F'))) {
            return false;
        }
    }
    return true;
}

bool IsOld(const FILETIME& written, ULONGLONG now)
{
    return (static_cast<ULONGLONG>(written.dwHighDateTime) << 32 | written.dwLowDateTime) + STRAY_AGE < now;
}

}  // namespace

// A write cut short without an error is a disk that is full.
bool WriteAllBytes(HANDLE file, const BYTE* bytes, DWORD size)
{
    DWORD written = 0;
    if (size == 0) {
        return true;
    }
    if (WriteFile(file, bytes, size, &written, nullptr) == FALSE) {
        return false;
    }
    if (written != size) {
        SetLastError(ERROR_DISK_FULL);
        return false;
    }
    return true;
}

FileIdentity IdentityOf(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(file, &information) == FALSE) {
        return {};
    }
    return {information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow};
}

bool SameIdentity(const FileIdentity& left, const FileIdentity& right)
{
    return left.volume == right.volume && left.indexHigh == right.indexHigh && left.indexLow == right.indexLow &&
           (left.indexHigh | left.indexLow) != 0;
}

bool WriteNewWorkFile(const wchar_t* path, const BYTE* bytes, DWORD size, wchar_t* name, int capacity,
                      FileIdentity* identity, HANDLE* held)
{
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        const unsigned count = ++workNames ^ (GetTickCount() << 12);
        FormatText(name, capacity, L"%ls.%08lX%08X%ls", path, GetCurrentProcessId(), count, WORK_EXTENSION);
        const HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS) {
                continue;
            }
            return false;
        }
        const bool whole = WriteAllBytes(file, bytes, size);
        const DWORD error = GetLastError();
        if (identity != nullptr) {
            *identity = IdentityOf(file);
        }
        if (whole && held != nullptr) {
            *held = file;
            return true;
        }
        CloseHandle(file);
        if (!whole) {
            DeleteFileW(name);
            SetLastError(error);
        }
        return whole;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return false;
}

void DeleteLeftover(const wchar_t* path, DWORD attributes)
{
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        const DWORD others = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        SetFileAttributesW(path, others != 0 ? others : FILE_ATTRIBUTE_NORMAL);
    }
    DeleteFileW(path);
}

void DeleteStrayWorkFiles(const wchar_t* path)
{
    auto* names = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(2) * LONG_PATH_CAPACITY * sizeof(wchar_t)));
    if (names == nullptr) {
        return;
    }
    wchar_t* pattern = names;
    wchar_t* stray = names + LONG_PATH_CAPACITY;
    FormatText(pattern, LONG_PATH_CAPACITY, L"%ls.*%ls", path, WORK_EXTENSION);
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    const wchar_t* name = slash != nullptr ? slash + 1 : path;
    FILETIME nowTime;
    GetSystemTimeAsFileTime(&nowTime);
    const ULONGLONG now = static_cast<ULONGLONG>(nowTime.dwHighDateTime) << 32 | nowTime.dwLowDateTime;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && IsWorkFileName(found.cFileName, name) &&
                IsOld(found.ftLastWriteTime, now)) {
                FormatText(stray, LONG_PATH_CAPACITY, L"%ls%ls", path, found.cFileName + TextLength(name));
                DeleteLeftover(stray, found.dwFileAttributes);
            }
        } while (FindNextFileW(search, &found) != FALSE);
        FindClose(search);
    }
    ReleaseBlock(names);
}
