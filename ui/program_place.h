// The item editor's "使う場所" row: where a binding fires (every program, only the programs named,
// or every program but those), and the note the settings list adds to a limited binding.
#pragma once

#include <windows.h>

#include "hotkeys/hotkey_table.h"

// Room a place note adds to the text it follows, terminator included.
int PlaceNoteCapacity(ProgramLists programs);

// Fills the drop-down and the names from the binding's lists.
void ShowProgramPlace(HWND dialog, ProgramLists programs);
// The row's lists in one block of the process heap, which the caller frees (ReleaseBlock), with
// chosen pointing into it; null when memory ran short. A list the row did not show (a hand-edited
// binding may have both) is kept from shown while its choice stays.
wchar_t* ReadProgramPlace(HWND dialog, ProgramLists shown, ProgramLists* chosen);
// The row's own commands: a choice in the drop-down, or "..." with its list of programs.
void OnProgramPlaceCommand(HWND dialog, WORD id);

// text followed by where a limited binding fires: "… (excel.exe 以外)"; text alone otherwise.
void FormatPlaceNote(wchar_t* target, int capacity, const wchar_t* text, ProgramLists programs);
