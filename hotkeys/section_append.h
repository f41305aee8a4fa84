// A section written as text at the end of a file, in the file's own encoding. Through the
// profile functions every key costs a parse of the whole file on some platforms, and one call
// for a whole section grows with the square of its length: a thousand bindings took tens of
// milliseconds where writing their text takes a fraction of one.
#pragma once

#include <windows.h>

// Appends "[name]" and the "key=value" lines (each terminated, the last followed by a second
// terminator) to the file at path, on a line of their own, in the file's encoding: UTF-16LE or
// UTF-16BE after their byte-order mark, else the ANSI code page, which the caller has made sure
// holds every character. False, with the reason in GetLastError, when the file could not be read
// or the text not written whole.
bool AppendSection(const wchar_t* path, const wchar_t* name, const wchar_t* lines);
