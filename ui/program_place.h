// The item editor's "使う場所" row: where a binding fires (every program, only the programs named,
// or every program but those), and the texts that tell where a limited binding fires.
#pragma once

#include <windows.h>

#include "hotkeys/hotkey_table.h"

// Room a place note adds to the text it follows, terminator included.
int PlaceNoteCapacity(ProgramLists programs);

// Fills the drop-down and the names from the binding's lists. A binding limited to programs may
// keep some of them out as well (a hand edit): those show in the row below.
void ShowProgramPlace(HWND dialog, ProgramLists programs);
// Why OK cannot take the row as it stands: the id of the field to correct, with the message for
// the user in message; 0 when it can.
int FindPlaceFault(HWND dialog, wchar_t* message, int capacity);
// The row's lists in one block of the process heap, which the caller frees (ReleaseBlock), with
// chosen pointing into it; null when memory ran short. A list that names no program is none.
wchar_t* ReadProgramPlace(HWND dialog, ProgramLists* chosen);
// The row's own commands: a choice in the drop-down, or "..." with its list of programs.
void OnProgramPlaceCommand(HWND dialog, WORD id);

// text followed by where a limited binding fires, the deciding word before the names, so that a
// long list cut short still shows it: "… (以外: excel.exe)"; text alone otherwise.
void FormatPlaceNote(wchar_t* target, int capacity, const wchar_t* text, ProgramLists programs);
// Where a key of a binding with these lists is no longer typed, to go before "入力に":
// "どのプログラムでも", "notepad.exe だけで", "notepad.exe 以外のプログラムで"; long lists cut.
void FormatTypingPlace(wchar_t* target, int capacity, ProgramLists programs);
