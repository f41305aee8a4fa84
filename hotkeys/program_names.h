// The program lists of a binding as text: ";"-separated program file names, matched against the
// file name of the program in front.
#pragma once

#include <windows.h>

#include "hotkeys/hotkey_table.h"

// The file name (no folder) of the program that owns the window, in MAX_PATH units; empty when
// its process cannot be asked.
void ReadProgramName(HWND window, wchar_t* program);

// Whether a binding with these lists fires for the program of this file name: only is empty or
// names it, and except does not name it.
bool ProgramsAdmit(ProgramLists programs, const wchar_t* program);

// The names in a ";"-separated list of program file names, compared without letter case. An entry
// with a folder ("C:\Tools\notepad.exe") names its file name.
bool ProgramListNames(const wchar_t* list, const wchar_t* program);

// The list's entries one at a time: the file name that the entry at *cursor names, in MAX_PATH
// units, empty for an entry that can never match; *cursor moves past the entry. False at the end.
bool NextProgramName(const wchar_t** cursor, wchar_t* name);

// The first entry of the list that can never match a program, or null: one with a wildcard, a
// comma or another character that no file name holds, one that ends in a folder separator, or one
// longer than any file name. It starts at the result and runs *length units, blanks around it
// left out; length may be null.
const wchar_t* UnmatchableProgramName(const wchar_t* list, int* length = nullptr);
