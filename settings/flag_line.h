// A flag of [setting] written as bytes on its own line, so that switching the hotkeys leaves every
// other byte of the user's file as it was: the profile functions, on some platforms, write every
// line anew (blanks around "=" and blank lines dropped, bytes that the code page lacks replaced).
#pragma once

#include <windows.h>

// The bytes with the value of the "key=" line in [setting] replaced by the number, in a block of
// the process heap, its size in newSize. Only where no platform can read the file otherwise: one
// "[setting]" header alone on its line and no other header that may name it, one line of the key
// in ASCII, no header in doubt, no unit a platform may take for a line break; the ANSI code page
// or UTF-16LE after its mark, not UTF-8. Null otherwise, or when there is no memory.
BYTE* WithFlagInPlace(const BYTE* bytes, DWORD size, const wchar_t* key, int value, DWORD* newSize);

// True while the file holds the live table's bindings as far as Tessel knows: since the load, and
// since every save that succeeded (settings_file.cpp).
bool TableIsInFile();
