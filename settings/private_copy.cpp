#include "settings/private_copy.h"

#include <cwchar>

#include "base/bounded_text.h"

namespace {

// "tessel-<process id>-<number>.tmp", each number in eight hexadecimal digits.
constexpr wchar_t COPY_PATTERN[] = L"tessel-*-*.tmp";
constexpr int NAME_LENGTH = 28;
constexpr int MAKER_START = 7;
constexpr int MAKER_DIGITS = 8;
// Names of an earlier process with this one's id may still be taken.
constexpr int ATTEMPTS = 100;

DWORD copiesMade;

// The temporary folder, ending in a backslash, with room after it for a copy's name.
bool TemporaryFolder(wchar_t* folder)
{
    const DWORD length = GetTempPathW(MAX_PATH, folder);
    if (length == 0 || length + NAME_LENGTH >= MAX_PATH) {
        SetLastError(length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    return true;
}

// The id of the process that made the copy so named; false for a name of another form.
bool CopyMaker(const wchar_t* name, DWORD* maker)
{
    if (TextLength(name) != NAME_LENGTH) {
        return false;
    }
    wchar_t* end = nullptr;
    *maker = static_cast<DWORD>(std::wcstoul(name + MAKER_START, &end, 16));
    return end == name + MAKER_START + MAKER_DIGITS && *end == L'-';
}

// A process that cannot be opened for want of rights still runs. An id that a later process took
// over keeps the copy until that process ends too: removed late, never while in use.
bool HasEnded(DWORD processId)
{
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (process == nullptr) {
        return GetLastError() == ERROR_INVALID_PARAMETER;
    }
    const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

}  // namespace

bool CreatePrivateCopy(wchar_t* copy)
{
    wchar_t folder[MAX_PATH];
    if (!TemporaryFolder(folder)) {
        return false;
    }
    for (int attempt = 0; attempt < ATTEMPTS; ++attempt) {
        FormatText(copy, MAX_PATH, L"%lstessel-%08lx-%08lx.tmp", folder, GetCurrentProcessId(), copiesMade++);
        const HANDLE file = CreateFileW(copy, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            return false;
        }
    }
    return false;
}

void DeleteLeftoverPrivateCopies()
{
    wchar_t folder[MAX_PATH];
    wchar_t path[MAX_PATH];
    if (!TemporaryFolder(folder)) {
        return;
    }
    FormatText(path, MAX_PATH, L"%ls%ls", folder, COPY_PATTERN);
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW(path, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        DWORD maker = 0;
        if (CopyMaker(entry.cFileName, &maker) && HasEnded(maker)) {
            FormatText(path, MAX_PATH, L"%ls%ls", folder, entry.cFileName);
            DeleteFileW(path);
        }
    } while (FindNextFileW(search, &entry) != FALSE);
    FindClose(search);
}
