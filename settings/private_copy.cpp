#include "settings/private_copy.h"

#include <cwchar>

#include "base/bounded_text.h"
#include "settings/work_files.h"

namespace {

// "tessel-<process id>-<number>.tmp", each number in eight lower-case hexadecimal digits.
constexpr wchar_t COPY_PATTERN[] = L"tessel-*-*.tmp";
constexpr wchar_t COPY_PREFIX[] = L"tessel-";
constexpr wchar_t COPY_EXTENSION[] = L".tmp";
constexpr int NAME_LENGTH = 28;
constexpr int MAKER_START = 7;
constexpr int SEPARATOR_AT = 15;
constexpr int NUMBER_START = 16;
constexpr int EXTENSION_START = 24;
constexpr int HEX_DIGITS = 8;
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

// The value of eight lower-case hexadecimal digits, as a copy's name writes them; false for any
// other text.
bool ReadHexDigits(const wchar_t* digits, DWORD* value)
{
    *value = 0;
    for (int at = 0; at < HEX_DIGITS; ++at) {
        const wchar_t unit = digits[at];
        const bool decimal = unit >= L'0' && unit <= L'9';
        if (!decimal && !(unit >= L'a' && unit <= L'f')) {
            return false;
        }
        *value = *value << 4 | static_cast<DWORD>(decimal ? unit - L'0' : unit - L'a' + 10);
    }
    return true;
}

// The id of the process that made the copy so named; false for a name of any other form, however
// near: the temporary folder is everyone's.
bool CopyMaker(const wchar_t* name, DWORD* maker)
{
    DWORD number = 0;
    return TextLength(name) == NAME_LENGTH && std::wcsncmp(name, COPY_PREFIX, MAKER_START) == 0 &&
           ReadHexDigits(name + MAKER_START, maker) && name[SEPARATOR_AT] == L'-' &&
           ReadHexDigits(name + NUMBER_START, &number) && std::wcscmp(name + EXTENSION_START, COPY_EXTENSION) == 0;
}

// scheme is the temporary folder.
bool PrivateCopyName(const void* scheme, int attempt, wchar_t* name, int capacity)
{
    if (attempt == ATTEMPTS) {
        return false;
    }
    FormatText(name, capacity, L"%lstessel-%08lx-%08lx.tmp", static_cast<const wchar_t*>(scheme), GetCurrentProcessId(),
               copiesMade++);
    return true;
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

// Only a copy whose name is of the exact form, and whose process has ended.
bool IsLeftoverCopy(void* /*kind*/, const WIN32_FIND_DATAW& found)
{
    DWORD maker = 0;
    return CopyMaker(found.cFileName, &maker) && HasEnded(maker);
}

}  // namespace

bool WritePrivateCopy(const BYTE* bytes, DWORD size, wchar_t* copy)
{
    wchar_t folder[MAX_PATH];
    if (!TemporaryFolder(folder)) {
        return false;
    }
    const HANDLE file = CreateOwnFile({PrivateCopyName, folder, copy, MAX_PATH, GENERIC_WRITE, 0, false}, bytes, size);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

void DeleteLeftoverPrivateCopies()
{
    wchar_t folder[MAX_PATH];
    if (TemporaryFolder(folder)) {
        DeleteLeftovers(folder, COPY_PATTERN, IsLeftoverCopy, nullptr);
    }
}
