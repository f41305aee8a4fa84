#include "settings/work_files.h"

#include <cwchar>

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "settings/safe_save.h"

namespace {

constexpr wchar_t WORK_EXTENSION[] = L".tmp";
constexpr wchar_t WORK_WILDCARD[] = L".*.tmp";
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

// scheme is the settings file's path.
bool WorkFileName(const void* scheme, int attempt, wchar_t* name, int capacity)
{
    if (attempt == NAME_ATTEMPTS) {
        return false;
    }
    const unsigned count = ++workNames ^ (GetTickCount() << 12);
    FormatText(name, capacity, L"%ls.%08lX%08X%ls", static_cast<const wchar_t*>(scheme), GetCurrentProcessId(), count,
               WORK_EXTENSION);
    return true;
}

struct StrayWorkFiles {
    const wchar_t* name;  // the settings file's, without its folder
    ULONGLONG now;
};

bool IsStrayWorkFile(void* kind, const WIN32_FIND_DATAW& found)
{
    const auto* strays = static_cast<const StrayWorkFiles*>(kind);
    const ULONGLONG written = static_cast<ULONGLONG>(found.ftLastWriteTime.dwHighDateTime) << 32 | found.ftLastWriteTime.dwLowDateTime;
    return IsWorkFileName(found.cFileName, strays->name) && written + STRAY_AGE < strays->now;
}

void DeleteLeftover(const wchar_t* path, DWORD attributes)
{
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        const DWORD others = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        SetFileAttributesW(path, others != 0 ? others : FILE_ATTRIBUTE_NORMAL);
    }
    DeleteFileW(path);
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

HANDLE CreateOwnFile(const NewOwnFile& file, const BYTE* bytes, DWORD size)
{
    for (int attempt = 0; file.nameAt(file.scheme, attempt, file.name, file.capacity); ++attempt) {
        const HANDLE created =
            CreateFileW(file.name, file.access, file.share, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == INVALID_HANDLE_VALUE) {
            if (IsNameTaken(GetLastError())) {
                continue;
            }
            return INVALID_HANDLE_VALUE;
        }
        if (WriteAllBytes(created, bytes, size) && (!file.flush || FlushFileBuffers(created) != FALSE)) {
            return created;
        }
        const DWORD error = GetLastError();
        CloseHandle(created);
        DeleteFileW(file.name);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

void DeleteLeftovers(const wchar_t* prefix, const wchar_t* wildcard, IsLeftover isLeftover, void* kind)
{
    auto* names = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(2) * LONG_PATH_CAPACITY * sizeof(wchar_t)));
    if (names == nullptr) {
        return;
    }
    wchar_t* pattern = names;
    wchar_t* leftover = names + LONG_PATH_CAPACITY;
    FormatText(pattern, LONG_PATH_CAPACITY, L"%ls%ls", prefix, wildcard);
    const wchar_t* slash = std::wcsrchr(prefix, L'\\');
    const int folder = slash != nullptr ? static_cast<int>(slash + 1 - prefix) : 0;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && isLeftover(kind, found)) {
                FormatText(leftover, LONG_PATH_CAPACITY, L"%.*ls%ls", folder, prefix, found.cFileName);
                DeleteLeftover(leftover, found.dwFileAttributes);
            }
        } while (FindNextFileW(search, &found) != FALSE);
        FindClose(search);
    }
    ReleaseBlock(names);
}

bool WriteNewWorkFile(const wchar_t* path, const BYTE* bytes, DWORD size, wchar_t* name, int capacity,
                      FileIdentity* identity, HANDLE* held)
{
    const NewOwnFile work = {WorkFileName, path, name, capacity, GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, false};
    const HANDLE file = CreateOwnFile(work, bytes, size);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    if (identity != nullptr) {
        *identity = IdentityOf(file);
    }
    if (held != nullptr) {
        *held = file;
    } else {
        CloseHandle(file);
    }
    return true;
}

void DeleteStrayWorkFiles(const wchar_t* path)
{
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    StrayWorkFiles strays = {slash != nullptr ? slash + 1 : path,
                             static_cast<ULONGLONG>(now.dwHighDateTime) << 32 | now.dwLowDateTime};
    DeleteLeftovers(path, WORK_WILDCARD, IsStrayWorkFile, &strays);
}
