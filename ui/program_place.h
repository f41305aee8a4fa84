// The item editor's "使う場所" row: where a binding fires (every program, only the programs named,
// or every program but those), and the note the settings list adds to a limited binding.
#pragma once

#include <windows.h>

#include "hotkeys/hotkey_table.h"

// Room a place note adds to the text it follows.
constexpr int PLACE_NOTE_CAPACITY = 2 * TEXT_CAPACITY + 16;

// Fills the drop-down and the names from the binding (a new one, key 0, fires everywhere).
void ShowProgramPlace(HWND dialog, const HotkeyItem& item);
// Writes the row into the binding's program lists. A list the row did not show (a hand-edited
// binding may have both) is kept while its choice stays.
void ReadProgramPlace(HWND dialog, HotkeyItem* item);
// The row's own commands: a choice in the drop-down, or "..." with its list of programs.
void OnProgramPlaceCommand(HWND dialog, WORD id);

// text followed by where a limited binding fires: "… (excel.exe 以外)"; text alone otherwise.
void FormatPlaceNote(wchar_t* target, int capacity, const wchar_t* text, const HotkeyItem& item);
