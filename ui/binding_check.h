// Why a binding will not fire: it has no key, its program list names something no program is
// called, earlier bindings with the same combination fire wherever it would, Windows or another
// program holds the combination, or its command names a plug-in or a command the host has not
// loaded. The settings dialog greys such rows and says why; the item editor refuses a binding that
// would never fire and asks before it accepts a combination that is held.
#pragma once

#include <windows.h>

#include "base/bounded_text.h"
#include "hotkeys/combination_rows.h"
#include "hotkeys/hotkey_table.h"
#include "plugin/host_abi.h"

enum BindingFault {
    BINDING_FIRES,
    BINDING_NOT_TRIED,  // fires somewhere, as far as the table tells; only a trial tells the rest
    BINDING_WITHOUT_KEY,
    BINDING_NAMES_NO_PROGRAM,
    BINDING_REPEATS_EARLIER_ROW,
    BINDING_HELD_ELSEWHERE,
    BINDING_PLUGIN_NOT_LOADED,
    BINDING_COMMAND_NOT_OFFERED,
};

// A reason with a plug-in's file name of up to 259 units and a command id.
constexpr int FAULT_TEXT_CAPACITY = TEXT_CAPACITY + 48;

// One pass over a table, which finds what the table alone tells. EndBindingSurvey frees it.
struct BindingSurvey {
    HotkeyTable table;
    CombinationRow* combinationRows;  // null when no two rows share a combination
    int count;
};
BindingSurvey BeginBindingSurvey(HotkeyTable table);
void EndBindingSurvey(BindingSurvey* survey);

// The fault of the row, or BINDING_NOT_TRIED. A reference is looked up in the host's plug-in
// list; without a list it is taken as it is.
BindingFault SurveyBinding(const BindingSurvey& survey, PluginInfo** plugins, int row);

// A binding about to take the place of row (the table's count for a new binding).
struct PlannedBinding {
    int row;
    KeyCode key;
    ProgramLists programs;
};
// The earlier row whose binding fires wherever the planned one would, or else the first of the
// earlier rows that together do; -1 when the planned one fires somewhere. The one rule for a
// repeat: a press fires the first row of its combination whose programs admit the program in
// front.
int RowFiringInstead(HotkeyTable table, const PlannedBinding& planned);
// Whether the planned binding would leave a later row of its combination, which fires somewhere
// now, firing nowhere.
bool SilencesLaterRow(HotkeyTable table, const PlannedBinding& planned);

// Tries the combination on the window with a spare id and releases it at once. The window must
// hold no hotkeys of its own, and the plug-in's hotkeys must be unregistered meanwhile, as they
// are while the settings dialog is open.
bool IsCombinationHeld(HWND window, KeyCode key);

// Why the table's row will not fire, in a few words for its info tip; empty for one that fires or
// is not tried yet.
void DescribeBindingFault(HotkeyTable table, int row, BindingFault fault, wchar_t* text, int capacity);
