// Why a binding will not fire: it has no key, an earlier binding has the same combination,
// Windows or another program holds the combination, or its command names a plug-in or a command
// the host has not loaded. The settings dialog greys such rows and says why; the item editor asks
// before it accepts a combination that is held.
#pragma once

#include <windows.h>

#include "base/bounded_text.h"
#include "hotkeys/hotkey_table.h"
#include "plugin/host_abi.h"

enum BindingFault {
    BINDING_FIRES,
    BINDING_NOT_TRIED,  // the first binding of its combination; only a trial can tell
    BINDING_WITHOUT_KEY,
    BINDING_REPEATS_EARLIER_ROW,
    BINDING_HELD_ELSEWHERE,
    BINDING_PLUGIN_NOT_LOADED,
    BINDING_COMMAND_NOT_OFFERED,
};

// A reason with a plug-in's file name of up to 259 units and a command id.
constexpr int FAULT_TEXT_CAPACITY = TEXT_CAPACITY + 48;

// Combinations as the system tells them apart: a virtual key and four modifiers.
constexpr int COMBINATION_COUNT = 0x1000;

// One pass over a table in order, which finds what the table alone tells; it starts zeroed.
struct BindingSurvey {
    bool seen[COMBINATION_COUNT];
};

// The first row of the table whose binding is the same combination to the system as key, or -1:
// keys that differ only in the extended flag are one combination. The one rule for a repeat.
int FirstRowWithCombination(HotkeyTable table, KeyCode key);

// The fault of the next binding of the pass, or BINDING_NOT_TRIED. A reference is looked up in
// the host's plug-in list; without a list it is taken as it is.
BindingFault SurveyBinding(BindingSurvey* survey, PluginInfo** plugins, const HotkeyItem& item);

// Tries the combination on the window with a spare id and releases it at once. The window must
// hold no hotkeys of its own, and the plug-in's hotkeys must be unregistered meanwhile, as they
// are while the settings dialog is open.
bool IsCombinationHeld(HWND window, KeyCode key);

// Why a binding of the table will not fire, in a few words for its info tip; empty for one that
// fires or is not tried yet.
void DescribeBindingFault(HotkeyTable table, const HotkeyItem& item, BindingFault fault, wchar_t* text, int capacity);
