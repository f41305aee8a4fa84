// A flag of [setting] written as bytes on its own line, so that switching the hotkeys leaves every
// other byte of the user's file as it was: the profile functions, on some platforms, write every
// line anew (blanks around "=", blank lines and comments dropped, line breaks made CR LF, bytes
// that the code page lacks replaced).
#pragma once

#include <windows.h>

// The bytes with the number in the value of the "key=" line in [setting] replaced by value, in a
// block of the process heap, its size in newSize; what follows the number on its line (blanks, a
// comment) and every other byte stay. The text is the ANSI code page, UTF-8 with or without its
// mark, or UTF-16LE after its mark; a carriage return and a line feed each end a line, alone or
// together. Null, or when there is no memory, where the layout leaves a doubt: a zero unit, a
// header that some platform may read as naming the section or not (units beyond ASCII, a second
// "]", units a platform skips before its "["), more than one header naming it, more than one line
// of the key, a key line with units beyond ASCII, a value without a number. Blanks before the
// header and inside its brackets are no doubt: a platform that keeps them finds no flag in the
// changed file, and the save's check sees it.
BYTE* WithFlagInPlace(const BYTE* bytes, DWORD size, const wchar_t* key, int value, DWORD* newSize);
