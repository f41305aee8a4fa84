// What the platform's own reader makes of a settings file that a save built, asked before the file
// is swapped in: the save checks the text it wrote as any reader of the file will parse it, not
// only as bytes.
#pragma once

#include <windows.h>

#include "hotkeys/hotkey_table.h"

// True when one reading of [hotkeys] gives exactly the table's bindings in order, every field and
// program list of each, and no other line. What a platform that caps the reading left out is read
// key by key, as a reader on that platform finds it.
bool HotkeysSectionHolds(const wchar_t* path, HotkeyTable table);
