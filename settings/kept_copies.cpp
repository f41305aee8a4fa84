#include "settings/kept_copies.h"

#include <cwchar>

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "settings/safe_save.h"
#include "settings/settings.h"

namespace {

constexpr wchar_t KEPT_EXTENSION[] = L".kept";
// The date and time in a kept copy's name, "yyyy-mm-dd_hhmmss": '#' stands for a digit.
constexpr wchar_t DATE_FORM[] = L"####-##-##_######";
constexpr int DATE_LENGTH = 17;
constexpr int KEPT_COPIES = 10;
// Copies made within one second are told apart by "-2" to "-9".
constexpr int SAME_SECOND_COPIES = 9;

wchar_t keptSuffix[SUFFIX_CAPACITY];

// Whether found is "<name>.<yyyy-mm-dd_hhmmss>[-<digit>].kept".
bool IsKeptName(const wchar_t* found, const wchar_t* name)
{
    const int length = TextLength(name);
    if (CompareStringOrdinal(found, length, name, length, TRUE) != CSTR_EQUAL || found[length] != L'.') {
        return false;
    }
    const wchar_t* date = found + length + 1;
    for (int at = 0; at < DATE_LENGTH; ++at) {
        const bool digit = date[at] >= L'0' && date[at] <= L'9';
        if (DATE_FORM[at] == L'#' ? !digit : date[at] != DATE_FORM[at]) {
            return false;
        }
    }
    const wchar_t* rest = date + DATE_LENGTH;
    if (rest[0] == L'-' && rest[1] >= L'2' && rest[1] <= L'9') {
        rest += 2;
    }
    return lstrcmpiW(rest, KEPT_EXTENSION) == 0;
}

// Deletes the oldest kept copies (their names sort by date) until the newest ten are left.
void DeleteOldestCopies(const wchar_t* path, wchar_t* pattern, wchar_t* oldest)
{
    FormatText(pattern, LONG_PATH_CAPACITY, L"%ls.*%ls", path, KEPT_EXTENSION);
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    const wchar_t* name = slash != nullptr ? slash + 1 : path;
    for (;;) {
        int count = 0;
        oldest[0] = L'\0';
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW(pattern, &found);
        if (search == INVALID_HANDLE_VALUE) {
            return;
        }
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && IsKeptName(found.cFileName, name)) {
                ++count;
                if (oldest[0] == L'\0' || lstrcmpiW(found.cFileName, oldest) < 0) {
                    CopyText(oldest, MAX_PATH, found.cFileName);
                }
            }
        } while (FindNextFileW(search, &found) != FALSE);
        FindClose(search);
        if (count <= KEPT_COPIES) {
            return;
        }
        FormatText(pattern, LONG_PATH_CAPACITY, L"%ls%ls", path, oldest + TextLength(name));
        if (DeleteFileW(pattern) == FALSE) {
            return;
        }
        FormatText(pattern, LONG_PATH_CAPACITY, L"%ls.*%ls", path, KEPT_EXTENSION);
    }
}

// A new file under the next free dated name, written whole and flushed; false, with the reason in
// GetLastError, when it could not be.
bool WriteKeptCopy(const wchar_t* path, const BYTE* bytes, DWORD size, wchar_t* copy)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int same = 1; same <= SAME_SECOND_COPIES && file == INVALID_HANDLE_VALUE; ++same) {
        wchar_t count[4] = {};
        if (same > 1) {
            FormatText(count, 4, L"-%d", same);
        }
        FormatText(keptSuffix, SUFFIX_CAPACITY, L".%04u-%02u-%02u_%02u%02u%02u%ls%ls", now.wYear, now.wMonth, now.wDay,
                   now.wHour, now.wMinute, now.wSecond, count, KEPT_EXTENSION);
        FormatText(copy, LONG_PATH_CAPACITY, L"%ls%ls", path, keptSuffix);
        file = CreateFileW(copy, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool accepted = size == 0 || WriteFile(file, bytes, size, &written, nullptr) != FALSE;
    // A write cut short without an error is a disk that is full.
    DWORD error = !accepted ? GetLastError() : (size != 0 && written != size ? ERROR_DISK_FULL : ERROR_SUCCESS);
    bool whole = error == ERROR_SUCCESS;
    if (whole && FlushFileBuffers(file) == FALSE) {
        whole = false;
        error = GetLastError();
    }
    CloseHandle(file);
    if (!whole) {
        DeleteFileW(copy);
        SetLastError(error);
    }
    return whole;
}

}  // namespace

bool KeepSettingsCopy(const wchar_t* path, const BYTE* bytes, DWORD size)
{
    auto* names = static_cast<wchar_t*>(AllocateBlock((static_cast<SIZE_T>(LONG_PATH_CAPACITY) + MAX_PATH) * sizeof(wchar_t)));
    if (names == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    const bool kept = WriteKeptCopy(path, bytes, size, names);
    const DWORD error = GetLastError();
    if (kept) {
        DeleteOldestCopies(path, names, names + LONG_PATH_CAPACITY);
    }
    ReleaseBlock(names);
    SetLastError(error);
    return kept;
}

const wchar_t* LastKeptCopySuffix()
{
    return keptSuffix;
}

void ForgetKeptCopy()
{
    keptSuffix[0] = L'\0';
}
