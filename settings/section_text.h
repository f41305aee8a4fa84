// The [hotkeys] section of a table as the text a save appends to the settings file.
#pragma once

#include <windows.h>

#include "hotkeys/hotkey_table.h"

// The section's header, then a "name=value" line for each field of every binding, each value in
// the form that reads back exactly, each line ended by CR LF; empty for an empty table. A block of
// the process heap; null when there is no memory.
wchar_t* FormatHotkeysSection(HotkeyTable table);

// True when every command and parameter of the table has a form that reads back as it is.
bool TableHasStoredForm(HotkeyTable table);
