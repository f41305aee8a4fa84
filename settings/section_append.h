// A section as text at the end of a file, in the file's own encoding. Through the
// profile functions every key costs a parse of the whole file on some platforms, and one call
// for a whole section grows with the square of its length: a thousand bindings took tens of
// milliseconds where writing their text takes a fraction of one.
#pragma once

#include <windows.h>

// What the section headers of a file tell of the section "[name]", read in UTF-16LE or UTF-16BE
// after their byte-order mark, else in single bytes.
struct SectionScan {
    // Where the file's last section begins, when that section is "[name]" (letters in either case)
    // with its header alone on its line from the line's first unit: the offset of that line. Else,
    // whenever a line in the section holds a unit that some platform may read as a line break or
    // the end of the text (a carriage return alone, a zero), and whenever a line anywhere may be a
    // header behind units that some platform skips (a vertical tab, a form feed, Ctrl+Z), the
    // file's size.
    DWORD trailingStart;
    // A header before that offset may name the section on some platform: spaced out, say, or with
    // letters beyond ASCII. False only when no platform can find the section there.
    bool mayNameEarlier;
};
SectionScan ScanSections(const BYTE* bytes, DWORD size, const wchar_t* name);

// True for UTF-16 whose last unit is cut in half: no text can be appended after it as it is.
bool IsUnicodeCutInHalf(const BYTE* bytes, DWORD size);

// The bytes followed by the section's text (its "[name]" line and its "key=value" lines, each
// ended by CR LF) on a line of its own, in the bytes' encoding: UTF-16LE or UTF-16BE after their
// byte-order mark, else the ANSI code page, which the caller has made sure holds every character.
// A block of the process heap, its size in newSize; null, with the reason in GetLastError, when
// there is no memory or a character has no place in the code page.
BYTE* WithSectionAppended(const BYTE* bytes, DWORD size, const wchar_t* section, DWORD* newSize);
