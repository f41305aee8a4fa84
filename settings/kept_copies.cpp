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
constexpr wchar_t RELOAD_WILDCARD[] = L".*.reload";
constexpr int RELOAD_EXTENSION_LENGTH = 7;
constexpr int NUMBER_DIGITS = 10;
constexpr int RELOAD_COPIES = 5;
// Two launchers in one folder may take the same number at once: the next one is tried.
constexpr DWORD NUMBER_ATTEMPTS = 16;


const wchar_t* BaseName(const wchar_t* path)
{
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    return slash != nullptr ? slash + 1 : path;
}

// The told copy's names of one second, the plain one first; a told copy is never overwritten.
struct ToldNames {
    const wchar_t* path;
    wchar_t* suffix;  // SUFFIX_CAPACITY units: the suffix of the last name given
    SYSTEMTIME now;
};

bool ToldName(const void* scheme, int attempt, wchar_t* name, int capacity)
{
    const auto* names = static_cast<const ToldNames*>(scheme);
    if (attempt == SAME_SECOND_COPIES) {
        return false;
    }
    wchar_t count[4] = {};
    if (attempt > 0) {
        FormatText(count, 4, L"-%d", attempt + 1);
    }
    const SYSTEMTIME& now = names->now;
    FormatText(names->suffix, SUFFIX_CAPACITY, L".%04u-%02u-%02u_%02u%02u%02u%ls%ls", now.wYear, now.wMonth, now.wDay,
               now.wHour, now.wMinute, now.wSecond, count, KEPT_EXTENSION);
    FormatText(name, capacity, L"%ls%ls", names->path, names->suffix);
    return true;
}

ToldNames ToldNamesNow(const wchar_t* path, wchar_t* suffix)
{
    ToldNames names = {path, suffix, {}};
    GetLocalTime(&names.now);
    return names;
}

// A new told copy under the first free name of this second, written whole and flushed; copy
// (LONG_PATH_CAPACITY units) and suffix name the last one tried. False, with the reason in
// GetLastError, when it could not be written; nothing is left behind then.
bool WriteToldCopy(const wchar_t* path, const BYTE* bytes, DWORD size, wchar_t* suffix, wchar_t* copy)
{
    const ToldNames names = ToldNamesNow(path, suffix);
    const HANDLE file =
        CreateOwnFile({ToldName, &names, copy, LONG_PATH_CAPACITY, GENERIC_WRITE, FILE_SHARE_READ, true}, bytes, size);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

// The silent copies' names, numbered on from the highest there is.
struct ReloadNames {
    const wchar_t* path;
    wchar_t* suffix;  // SUFFIX_CAPACITY units
    DWORD highest;
};

bool ReloadName(const void* scheme, int attempt, wchar_t* name, int capacity)
{
    const auto* names = static_cast<const ReloadNames*>(scheme);
    const auto next = static_cast<DWORD>(attempt) + 1;
    if (next > NUMBER_ATTEMPTS || next > MAXDWORD - names->highest) {
        return false;
    }
    FormatText(names->suffix, SUFFIX_CAPACITY, L".%010lu%ls", names->highest + next, RELOAD_EXTENSION);
    FormatText(name, capacity, L"%ls%ls", names->path, names->suffix);
    return true;
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

struct ReloadCopies {
    const wchar_t* name;  // the settings file's, without its folder
    DWORD highest;        // of every silent copy, read-only ones included
    int rotating;         // the silent copies not marked read-only
    DWORD newest[RELOAD_COPIES];  // their numbers, newest first; 0 where there are fewer
};

// Counts a silent copy in; deletes none.
bool CountReloadCopy(void* kind, const WIN32_FIND_DATAW& found)
{
    auto* copies = static_cast<ReloadCopies*>(kind);
    DWORD number = ReloadNumber(found.cFileName, copies->name);
    if (number != 0) {
        copies->highest = std::max(copies->highest, number);
        if (!IsReadOnly(found)) {
            ++copies->rotating;
            for (DWORD& newer : copies->newest) {
                if (number > newer) {
                    std::swap(number, newer);
                }
            }
        }
    }
    return false;
}

ReloadCopies ScanReloadCopies(const wchar_t* path)
{
    ReloadCopies copies = {BaseName(path), 0, 0, {}};
    DeleteLeftovers(path, RELOAD_WILDCARD, CountReloadCopy, &copies);
    return copies;
}

// A rotating silent copy older than the newest five.
bool IsBeyondNewestFive(void* kind, const WIN32_FIND_DATAW& found)
{
    const auto* copies = static_cast<const ReloadCopies*>(kind);
    const DWORD number = ReloadNumber(found.cFileName, copies->name);
    return number != 0 && number < copies->newest[RELOAD_COPIES - 1] && !IsReadOnly(found);
}

// Deletes the rotating silent copies older than the newest five. One that cannot be deleted now
// (another program holds it) is left for a later rotation, and the others go all the same.
void DeleteOldestReloadCopies(const wchar_t* path)
{
    ReloadCopies copies = ScanReloadCopies(path);
    if (copies.rotating > RELOAD_COPIES) {
        DeleteLeftovers(path, RELOAD_WILDCARD, IsBeyondNewestFive, &copies);
    }
}

}  // namespace

bool KeepSettingsCopy(const wchar_t* path, const BYTE* bytes, DWORD size, wchar_t* suffix)
{
    auto* copy = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(LONG_PATH_CAPACITY) * sizeof(wchar_t)));
    if (copy == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    const bool kept = WriteToldCopy(path, bytes, size, suffix, copy);
    const DWORD error = GetLastError();
    ReleaseBlock(copy);
    SetLastError(error);
    return kept;
}

void KeepReloadCopy(const wchar_t* path, const BYTE* bytes, DWORD size, wchar_t* suffix)
{
    suffix[0] = L'\0';
    auto* copy = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(LONG_PATH_CAPACITY) * sizeof(wchar_t)));
    if (copy == nullptr) {
        return;
    }
    const ReloadNames names = {path, suffix, ScanReloadCopies(path).highest};
    const HANDLE file =
        CreateOwnFile({ReloadName, &names, copy, LONG_PATH_CAPACITY, GENERIC_WRITE, FILE_SHARE_READ, true}, bytes, size);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        DeleteOldestReloadCopies(path);
    } else {
        suffix[0] = L'\0';
    }
    ReleaseBlock(copy);
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
        const ToldNames toldNames = ToldNamesNow(path, told);
        for (int attempt = 0; !made && ToldName(&toldNames, attempt, copy, LONG_PATH_CAPACITY); ++attempt) {
            made = MoveFileExW(silent, copy, MOVEFILE_WRITE_THROUGH) != FALSE;
            if (!made && !IsNameTaken(GetLastError())) {
                break;
            }
        }
        if (!made) {
            DWORD size = 0;
            BYTE* bytes = ReadWholeFile(silent, &size);
            made = bytes != nullptr && WriteToldCopy(path, bytes, size, told, copy);
            ReleaseBlock(bytes);
        }
    }
    CopyText(suffix, SUFFIX_CAPACITY, made ? told : L"");
    ReleaseBlock(names);
}
