#include "settings/kept_copies.h"

#include <algorithm>
#include <cwchar>
#include <utility>

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "settings/safe_save.h"
#include "settings/settings.h"
#include "settings/work_files.h"

namespace {

constexpr wchar_t KEPT_EXTENSION[] = L".kept";
// Told copies made within one second are told apart by "-2" to "-9".
constexpr int SAME_SECOND_COPIES = 9;

constexpr wchar_t RELOAD_EXTENSION[] = L".reload";
constexpr int RELOAD_EXTENSION_LENGTH = 7;
constexpr int NUMBER_DIGITS = 10;
constexpr int RELOAD_COPIES = 5;
// Two launchers in one folder may take the same number at once: the next one is tried.
constexpr DWORD NUMBER_ATTEMPTS = 16;

bool IsNameTaken(DWORD error)
{
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

const wchar_t* BaseName(const wchar_t* path)
{
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    return slash != nullptr ? slash + 1 : path;
}

// A new file under the name copy, written whole and flushed; false, with the reason in
// GetLastError (a name already taken among them), when it could not be; nothing is left behind
// then.
bool WriteNewCopy(const wchar_t* copy, const BYTE* bytes, DWORD size)
{
    const HANDLE file = CreateFileW(copy, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool whole = WriteAllBytes(file, bytes, size) && FlushFileBuffers(file) != FALSE;
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!whole) {
        DeleteFileW(copy);
        SetLastError(error);
    }
    return whole;
}

// Tries the told copy's names of this second in turn, the plain one first, until claim takes one
// (and never a name that is taken: a told copy is never overwritten). suffix (SUFFIX_CAPACITY
// units) and copy (LONG_PATH_CAPACITY units) name the last one tried. False, with the reason in
// GetLastError, when claim failed for another reason or every name was taken.
template <typename Claim>
bool ClaimToldName(const wchar_t* path, wchar_t* suffix, wchar_t* copy, Claim claim)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    for (int same = 1; same <= SAME_SECOND_COPIES; ++same) {
        wchar_t count[4] = {};
        if (same > 1) {
            FormatText(count, 4, L"-%d", same);
        }
        FormatText(suffix, SUFFIX_CAPACITY, L".%04u-%02u-%02u_%02u%02u%02u%ls%ls", now.wYear, now.wMonth, now.wDay,
                   now.wHour, now.wMinute, now.wSecond, count, KEPT_EXTENSION);
        FormatText(copy, LONG_PATH_CAPACITY, L"%ls%ls", path, suffix);
        if (claim(copy)) {
            return true;
        }
        if (!IsNameTaken(GetLastError())) {
            return false;
        }
    }
    return false;
}

// The number of a silent copy of the file named name, from the name found: exactly ten digits
// between "<name>." and ".reload"; 0 for any other name.
DWORD ReloadNumber(const wchar_t* found, const wchar_t* name)
{
    const int length = TextLength(name);
    if (TextLength(found) != length + 1 + NUMBER_DIGITS + RELOAD_EXTENSION_LENGTH ||
        CompareStringOrdinal(found, length, name, length, TRUE) != CSTR_EQUAL || found[length] != L'.' ||
        std::wcscmp(found + length + 1 + NUMBER_DIGITS, RELOAD_EXTENSION) != 0) {
        return 0;
    }
    ULONGLONG number = 0;
    for (int at = length + 1; at < length + 1 + NUMBER_DIGITS; ++at) {
        if (found[at] < L'0' || found[at] > L'9') {
            return 0;
        }
        number = number * 10 + static_cast<ULONGLONG>(found[at] - L'0');
    }
    return number <= MAXDWORD ? static_cast<DWORD>(number) : 0;
}

bool IsReadOnly(const WIN32_FIND_DATAW& found)
{
    return (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// Calls visit(number, found) for each silent copy that the search pattern ("<path>.*.reload")
// finds for the file named name.
template <typename Visit>
void ForEachReloadCopy(const wchar_t* pattern, const wchar_t* name, Visit visit)
{
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const DWORD number = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ? ReloadNumber(found.cFileName, name) : 0;
        if (number != 0) {
            visit(number, found);
        }
    } while (FindNextFileW(search, &found) != FALSE);
    FindClose(search);
}

struct ReloadCopies {
    DWORD highest;  // of every silent copy, read-only ones included
    int rotating;   // the silent copies not marked read-only
    DWORD newest[RELOAD_COPIES];  // their numbers, newest first; 0 where there are fewer
};

ReloadCopies ScanReloadCopies(const wchar_t* pattern, const wchar_t* name)
{
    ReloadCopies copies = {};
    ForEachReloadCopy(pattern, name, [&copies](DWORD number, const WIN32_FIND_DATAW& found) {
        copies.highest = std::max(copies.highest, number);
        if (!IsReadOnly(found)) {
            ++copies.rotating;
            for (DWORD& newer : copies.newest) {
                if (number > newer) {
                    std::swap(number, newer);
                }
            }
        }
    });
    return copies;
}

// Deletes the rotating silent copies older than the newest five. One that cannot be deleted now
// (another program holds it) is left for a later rotation, and the others go all the same.
void DeleteOldestReloadCopies(const wchar_t* path, const wchar_t* pattern, wchar_t* copy)
{
    const wchar_t* name = BaseName(path);
    const ReloadCopies copies = ScanReloadCopies(pattern, name);
    if (copies.rotating <= RELOAD_COPIES) {
        return;
    }
    const DWORD oldestStaying = copies.newest[RELOAD_COPIES - 1];
    ForEachReloadCopy(pattern, name, [&](DWORD number, const WIN32_FIND_DATAW& found) {
        if (number < oldestStaying && !IsReadOnly(found)) {
            FormatText(copy, LONG_PATH_CAPACITY, L"%ls%ls", path, found.cFileName + TextLength(name));
            DeleteFileW(copy);
        }
    });
}

}  // namespace

bool KeepSettingsCopy(const wchar_t* path, const BYTE* bytes, DWORD size, wchar_t* suffix)
{
    auto* copy = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(LONG_PATH_CAPACITY) * sizeof(wchar_t)));
    if (copy == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    const bool kept =
        ClaimToldName(path, suffix, copy, [bytes, size](const wchar_t* name) { return WriteNewCopy(name, bytes, size); });
    const DWORD error = GetLastError();
    ReleaseBlock(copy);
    SetLastError(error);
    return kept;
}

void KeepReloadCopy(const wchar_t* path, const BYTE* bytes, DWORD size, wchar_t* suffix)
{
    suffix[0] = L'\0';
    auto* names = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(2) * LONG_PATH_CAPACITY * sizeof(wchar_t)));
    if (names == nullptr) {
        return;
    }
    wchar_t* pattern = names;
    wchar_t* copy = names + LONG_PATH_CAPACITY;
    FormatText(pattern, LONG_PATH_CAPACITY, L"%ls.*%ls", path, RELOAD_EXTENSION);
    const DWORD highest = ScanReloadCopies(pattern, BaseName(path)).highest;
    bool kept = false;
    for (DWORD attempt = 1; attempt <= NUMBER_ATTEMPTS && attempt <= MAXDWORD - highest && !kept; ++attempt) {
        FormatText(suffix, SUFFIX_CAPACITY, L".%010lu%ls", highest + attempt, RELOAD_EXTENSION);
        FormatText(copy, LONG_PATH_CAPACITY, L"%ls%ls", path, suffix);
        kept = WriteNewCopy(copy, bytes, size);
        if (!kept && !IsNameTaken(GetLastError())) {
            break;
        }
    }
    if (kept) {
        DeleteOldestReloadCopies(path, pattern, copy);
    } else {
        suffix[0] = L'\0';
    }
    ReleaseBlock(names);
}

void MakeReloadCopyTold(const wchar_t* path, wchar_t* suffix)
{
    auto* names = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(2) * LONG_PATH_CAPACITY * sizeof(wchar_t)));
    wchar_t told[SUFFIX_CAPACITY] = {};
    bool made = false;
    if (names != nullptr && suffix[0] != L'\0') {
        wchar_t* silent = names;
        wchar_t* copy = names + LONG_PATH_CAPACITY;
        FormatText(silent, LONG_PATH_CAPACITY, L"%ls%ls", path, suffix);
        made = ClaimToldName(path, told, copy, [silent](const wchar_t* name) {
            return MoveFileExW(silent, name, MOVEFILE_WRITE_THROUGH) != FALSE;
        });
        if (!made) {
            DWORD size = 0;
            BYTE* bytes = ReadWholeFile(silent, &size);
            made = bytes != nullptr && ClaimToldName(path, told, copy, [bytes, size](const wchar_t* name) {
                       return WriteNewCopy(name, bytes, size);
                   });
            ReleaseBlock(bytes);
        }
    }
    CopyText(suffix, SUFFIX_CAPACITY, made ? told : L"");
    ReleaseBlock(names);
}
