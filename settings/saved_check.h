// What the platform's own reader makes of a settings file that a save built, asked before the file
// is swapped in: the save checks the text it wrote as any reader of the file will parse it, not
// only as bytes.
#pragma once

#include <windows.h>

#include "hotkeys/hotkey_table.h"

// True when one reading of [hotkeys] gives exactly the table's bindings in order, and nothing else.
// A reading that a platform cut short is completed as the load completes it.
bool HotkeysSectionHolds(const wchar_t* path, HotkeyTable table);
