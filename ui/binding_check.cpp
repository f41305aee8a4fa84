#include "ui/binding_check.h"

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "hotkeys/program_names.h"
#include "plugin/plugin_state.h"
#include "ui/command_reference.h"

namespace {

// No hotkey window registers on the dialogs' windows, so any id is spare there; this one is in
// the range meant for applications.
constexpr int TRIAL_HOTKEY_ID = 0xBFFF;

// The rows of one combination before a row, in table order, from the first: along the survey's
// links, or else by looking at each row, with one row read as a planned binding that is not in
// the table yet.
struct EarlierRows {
    HotkeyTable table;
    const CombinationRow* links;
    int linkedCount;
    int combination;
    int before;
    const PlannedBinding* planned;  // takes the place of its row; null for none
    int first;                      // -1 for no row
};

KeyCode KeyOfRow(const EarlierRows& rows, int row)
{
    if (rows.planned != nullptr && row == rows.planned->row) {
        return rows.planned->key;
    }
    const HotkeyItem* item = GetHotkeyItem(rows.table, row);
    return item != nullptr ? item->key : 0;
}

ProgramLists ProgramsOfRow(const EarlierRows& rows, int row)
{
    if (rows.planned != nullptr && row == rows.planned->row) {
        return rows.planned->programs;
    }
    return GetHotkeyPrograms(rows.table, row);
}

// The next of the rows after row, or -1; when looking at each row, -1 finds the first.
int NextEarlier(const EarlierRows& rows, int row)
{
    if (rows.links != nullptr) {
        const int next = NextRowOf(rows.links, rows.linkedCount, row);
        return next < rows.before ? next : -1;
    }
    for (int candidate = row + 1; candidate < rows.before; ++candidate) {
        const KeyCode key = KeyOfRow(rows, candidate);
        if ((key & VIRTUAL_KEY_BITS) != 0 && CombinationIndex(key) == rows.combination) {
            return candidate;
        }
    }
    return -1;
}

EarlierRows RowsBefore(HotkeyTable table, int before, KeyCode key, const PlannedBinding* planned)
{
    EarlierRows rows = {table, nullptr, 0, CombinationIndex(key), before, planned, -1};
    rows.first = NextEarlier(rows, -1);
    return rows;
}

bool SomeRowAdmits(const EarlierRows& rows, const wchar_t* program)
{
    for (int row = rows.first; row != -1; row = NextEarlier(rows, row)) {
        if (ProgramsAdmit(ProgramsOfRow(rows, row), program)) {
            return true;
        }
    }
    return false;
}

// Each program an earlier row's except list keeps out is kept out here too, or admitted by
// another of the rows.
bool ExceptedProgramsTaken(const EarlierRows& rows, const wchar_t* earlierExcept, const wchar_t* except)
{
    wchar_t name[MAX_PATH];
    for (const wchar_t* cursor = earlierExcept; NextProgramName(&cursor, name);) {
        if (name[0] != L'\0' && !ProgramListNames(except, name) && !SomeRowAdmits(rows, name)) {
            return false;
        }
    }
    return true;
}

// Every program of the only list but those the except list names.
bool RowsAdmitAllNamed(const EarlierRows& rows, ProgramLists programs)
{
    bool admitsSome = false;
    wchar_t name[MAX_PATH];
    for (const wchar_t* cursor = programs.only; NextProgramName(&cursor, name);) {
        if (name[0] == L'\0' || ProgramListNames(programs.except, name)) {
            continue;
        }
        if (!SomeRowAdmits(rows, name)) {
            return false;
        }
        admitsSome = true;
    }
    return admitsSome;
}

// Whether every program the lists admit is admitted by one of the rows. Only a certain answer is
// yes: a binding is taken to fire somewhere unless the table proves otherwise.
bool RowsAdmitAll(const EarlierRows& rows, ProgramLists programs)
{
    if (programs.only[0] != L'\0') {
        return RowsAdmitAllNamed(rows, programs);
    }
    // Every program but a few, which only a row without an only list can match.
    for (int row = rows.first; row != -1; row = NextEarlier(rows, row)) {
        const ProgramLists earlier = ProgramsOfRow(rows, row);
        if (earlier.only[0] == L'\0' && ExceptedProgramsTaken(rows, earlier.except, programs.except)) {
            return true;
        }
    }
    return false;
}

// The row a user reads as the one in the way: the first that alone fires wherever the lists do,
// else the first of the rows.
int CoveringRow(const EarlierRows& rows, ProgramLists programs)
{
    if (rows.first == -1 || !RowsAdmitAll(rows, programs)) {
        return -1;
    }
    for (int row = rows.first; row != -1; row = NextEarlier(rows, row)) {
        const EarlierRows alone = {rows.table, nullptr, 0, rows.combination, row + 1, rows.planned, row};
        if (RowsAdmitAll(alone, programs)) {
            return row;
        }
    }
    return rows.first;
}

bool NamesNoProgram(ProgramLists programs)
{
    return UnmatchableProgramName(programs.only) != nullptr || UnmatchableProgramName(programs.except) != nullptr;
}

// Tessel's own commands go to its router without the host's list, so they are not looked up
// there; without a list there is nothing to tell a missing plug-in by.
BindingFault CommandFault(PluginInfo** plugins, const wchar_t* command)
{
    wchar_t fileName[TEXT_CAPACITY];
    int32_t commandId = 0;
    if (plugins == nullptr || !SplitCommandReference(command, fileName, &commandId) ||
        lstrcmpiW(fileName, pluginFileName) == 0) {
        return BINDING_NOT_TRIED;
    }
    const CommandPlace place = FindCommandReference(plugins, command);
    if (place.plugin == -1) {
        return BINDING_PLUGIN_NOT_LOADED;
    }
    return place.command == -1 ? BINDING_COMMAND_NOT_OFFERED : BINDING_NOT_TRIED;
}

// The file name as the binding writes it, which is how the user knows it.
void DescribeMissingCommand(const wchar_t* command, BindingFault fault, wchar_t* text, int capacity)
{
    wchar_t fileName[TEXT_CAPACITY] = L"";
    int32_t commandId = 0;
    SplitCommandReference(command, fileName, &commandId);
    if (fault == BINDING_PLUGIN_NOT_LOADED) {
        FormatText(text, capacity, L"プラグイン %ls は読み込まれていません", fileName);
    } else {
        FormatText(text, capacity, L"%ls にコマンド %d はありません", fileName, commandId);
    }
}

// The entry as the list writes it; a long one is cut.
void DescribeUnmatchedName(ProgramLists programs, wchar_t* text, int capacity)
{
    int length = 0;
    const wchar_t* name = UnmatchableProgramName(programs.only, &length);
    if (name == nullptr) {
        name = UnmatchableProgramName(programs.except, &length);
    }
    FormatText(text, capacity, L"「%.*ls」に一致するプログラムはありません", name != nullptr ? length : 0,
               name != nullptr ? name : L"");
}

}  // namespace

BindingSurvey BeginBindingSurvey(HotkeyTable table)
{
    return {table, LinkCombinationRows(table), GetHotkeyCount(table)};
}

void EndBindingSurvey(BindingSurvey* survey)
{
    ReleaseBlock(survey->combinationRows);
    survey->combinationRows = nullptr;
}

// A later row of a combination fires where the earlier ones leave it programs; it is tried as the
// first is, since a combination another program holds fires for none of its rows. One whose
// command is missing still takes its presses, and a trial would not tell more.
BindingFault SurveyBinding(const BindingSurvey& survey, PluginInfo** plugins, int row)
{
    const HotkeyItem* item = GetHotkeyItem(survey.table, row);
    if (item == nullptr || (item->key & VIRTUAL_KEY_BITS) == 0) {
        return BINDING_WITHOUT_KEY;
    }
    const ProgramLists programs = GetHotkeyPrograms(survey.table, row);
    if (NamesNoProgram(programs)) {
        return BINDING_NAMES_NO_PROGRAM;
    }
    const int first = FirstRowOf(survey.combinationRows, survey.count, row);
    const EarlierRows rows = {
        survey.table, survey.combinationRows, survey.count, CombinationIndex(item->key), row, nullptr, first};
    if (first != row && RowsAdmitAll(rows, programs)) {
        return BINDING_REPEATS_EARLIER_ROW;
    }
    return CommandFault(plugins, item->command);
}

int RowFiringInstead(HotkeyTable table, const PlannedBinding& planned)
{
    return CoveringRow(RowsBefore(table, planned.row, planned.key, &planned), planned.programs);
}

// Only rows that fire somewhere as the table stands count: one that never fired loses nothing.
bool SilencesLaterRow(HotkeyTable table, const PlannedBinding& planned)
{
    const int count = GetHotkeyCount(table);
    const EarlierRows later = RowsBefore(table, count, planned.key, nullptr);
    for (int row = NextEarlier(later, planned.row); row != -1; row = NextEarlier(later, row)) {
        const PlannedBinding kept = {row, KeyOfRow(later, row), GetHotkeyPrograms(table, row)};
        if (CoveringRow(RowsBefore(table, row, kept.key, nullptr), kept.programs) == -1 &&
            CoveringRow(RowsBefore(table, row, kept.key, &planned), kept.programs) != -1) {
            return true;
        }
    }
    return false;
}

bool IsCombinationHeld(HWND window, KeyCode key)
{
    const UINT virtualKey = key & VIRTUAL_KEY_BITS;
    if (virtualKey == 0) {
        return false;
    }
    if (!RegisterHotKey(window, TRIAL_HOTKEY_ID, HotkeyModifiers(key), virtualKey)) {
        return true;
    }
    UnregisterHotKey(window, TRIAL_HOTKEY_ID);
    return false;
}

void DescribeBindingFault(HotkeyTable table, int row, BindingFault fault, wchar_t* text, int capacity)
{
    const HotkeyItem* item = GetHotkeyItem(table, row);
    if (item == nullptr) {
        CopyText(text, capacity, L"");
        return;
    }
    const ProgramLists programs = GetHotkeyPrograms(table, row);
    switch (fault) {
    case BINDING_FIRES:
    case BINDING_NOT_TRIED:
        CopyText(text, capacity, L"");
        return;
    case BINDING_WITHOUT_KEY:
        CopyText(text, capacity, L"キーが指定されていません");
        return;
    case BINDING_NAMES_NO_PROGRAM:
        DescribeUnmatchedName(programs, text, capacity);
        return;
    case BINDING_REPEATS_EARLIER_ROW: {
        const int instead = RowFiringInstead(table, {row, item->key, programs});
        const int named = instead != -1 ? instead : RowsBefore(table, row, item->key, nullptr).first;
        // Rows are counted from 1, as a user counts them.
        FormatText(text, capacity, L"%d行目と同じhotkeyです", named + 1);
        return;
    }
    case BINDING_HELD_ELSEWHERE:
        CopyText(text, capacity, L"Windowsか他のプログラムが使用中のhotkeyです");
        return;
    case BINDING_PLUGIN_NOT_LOADED:
    case BINDING_COMMAND_NOT_OFFERED:
        DescribeMissingCommand(item->command, fault, text, capacity);
        return;
    }
}
