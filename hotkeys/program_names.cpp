#include "hotkeys/program_names.h"

#include <shlwapi.h>

#include "base/bounded_text.h"

namespace {

// Characters that no file name holds, and the comma: a list written with commas for ";" names
// one program of that whole text, which is never the one meant.
constexpr wchar_t NEVER_IN_NAMES[] = L"*?\"<>|,";

// One entry of a program list, blanks around it left out, and the file name it names: what
// follows its last folder separator.
struct ListEntry {
    const wchar_t* text;
    int length;
    const wchar_t* fileName;
    int fileNameLength;
};

bool IsBlank(wchar_t unit)
{
    return unit == L' ' || unit == L'\t';
}

// The entry at *cursor; empty entries (";;") are passed over. False at the list's end.
bool ReadEntry(const wchar_t** cursor, ListEntry* entry)
{
    const wchar_t* start = *cursor;
    while (IsBlank(*start) || *start == L';') {
        ++start;
    }
    if (*start == L'\0') {
        *cursor = start;
        return false;
    }
    const wchar_t* end = start;
    while (*end != L'\0' && *end != L';') {
        ++end;
    }
    *cursor = end;
    while (IsBlank(end[-1])) {
        --end;
    }
    const wchar_t* fileName = start;
    for (const wchar_t* unit = start; unit < end; ++unit) {
        if (*unit == L'\\' || *unit == L'/' || *unit == L':') {
            fileName = unit + 1;
        }
    }
    *entry = {start, static_cast<int>(end - start), fileName, static_cast<int>(end - fileName)};
    return true;
}

// No program's file name is empty, longer than MAX_PATH allows or holds such a character.
bool CanMatch(const ListEntry& entry)
{
    if (entry.fileNameLength == 0 || entry.fileNameLength >= MAX_PATH) {
        return false;
    }
    for (int i = 0; i < entry.fileNameLength; ++i) {
        const wchar_t unit = entry.fileName[i];
        if (unit < L' ' || StrChrW(NEVER_IN_NAMES, unit) != nullptr) {
            return false;
        }
    }
    return true;
}

}  // namespace

void ReadProgramName(HWND window, wchar_t* program)
{
    program[0] = L'\0';
    DWORD processId = 0;
    if (window == nullptr || GetWindowThreadProcessId(window, &processId) == 0) {
        return;
    }
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) {
        return;
    }
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    if (QueryFullProcessImageNameW(process, 0, path, &size)) {
        CopyText(program, MAX_PATH, PathFindFileNameW(path));
    }
    CloseHandle(process);
}

bool ProgramsAdmit(ProgramLists programs, const wchar_t* program)
{
    if (programs.only[0] != L'\0' && !ProgramListNames(programs.only, program)) {
        return false;
    }
    return !ProgramListNames(programs.except, program);
}

bool ProgramListNames(const wchar_t* list, const wchar_t* program)
{
    if (program[0] == L'\0') {
        return false;
    }
    ListEntry entry;
    for (const wchar_t* cursor = list; ReadEntry(&cursor, &entry);) {
        if (CanMatch(entry) &&
            CompareStringOrdinal(entry.fileName, entry.fileNameLength, program, -1, TRUE) == CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}

bool NextProgramName(const wchar_t** cursor, wchar_t* name)
{
    ListEntry entry;
    if (!ReadEntry(cursor, &entry)) {
        return false;
    }
    CopyText(name, CanMatch(entry) ? entry.fileNameLength + 1 : 1, entry.fileName);
    return true;
}

const wchar_t* UnmatchableProgramName(const wchar_t* list, int* length)
{
    ListEntry entry;
    for (const wchar_t* cursor = list; ReadEntry(&cursor, &entry);) {
        if (!CanMatch(entry)) {
            if (length != nullptr) {
                *length = entry.length;
            }
            return entry.text;
        }
    }
    return nullptr;
}
