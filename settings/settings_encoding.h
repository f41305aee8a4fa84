// The settings file's text: its encoding, and its lines. The profile functions keep the encoding of the file they
// find and create a new file in the ANSI code page, where characters outside it become "?"; a
// UTF-8 file they read in the ANSI code page (and Windows reads even one with a byte-order mark
// so, the mark's bytes joining the first line).
#pragma once

#include <windows.h>

#include <cstring>

// The byte-order marks a settings file may begin with.
constexpr BYTE UTF16_MARK[] = {0xFF, 0xFE};
constexpr BYTE UTF16_BIG_ENDIAN_MARK[] = {0xFE, 0xFF};
constexpr BYTE UTF8_MARK[] = {0xEF, 0xBB, 0xBF};

template <size_t markSize>
bool StartsWith(const BYTE* bytes, DWORD size, const BYTE (&mark)[markSize])
{
    return size >= markSize && std::memcmp(bytes, mark, markSize) == 0;
}

// True for UTF-8 text: with its byte-order mark, or without one when every byte belongs to valid
// UTF-8, none is zero and some are above 0x7F.
bool IsUtf8Text(const BYTE* bytes, DWORD size);

// The file's bytes in a form the profile functions read and write without altering a character,
// the form a save writes, in a block of the process heap: UTF-8 becomes UTF-16LE with its mark; so
// does ANSI text when text (what is to be stored; null for none) needs characters its code page
// lacks; no file (bytes null) becomes a UTF-16LE file holding only its mark. Other bytes stay as
// they are. Every section, key and value is kept. Null, with the reason in GetLastError, when
// there is no memory or the form is larger than MAX_SETTINGS_BYTES (ERROR_FILE_TOO_LARGE).
BYTE* ProfileReadyBytes(const BYTE* bytes, DWORD size, const wchar_t* text, DWORD* readySize);

// UTF-16LE bytes after their mark, such as ProfileReadyBytes made of the original file, back in
// the original's UTF-8, with its byte-order mark when it had one, in a block of the process heap.
// Null when the original is no UTF-8 text, when there is no memory, or when a unit has no UTF-8
// form (half of a surrogate pair): the bytes then stay UTF-16LE, every character kept.
BYTE* BackToUtf8(const BYTE* original, DWORD originalSize, const BYTE* bytes, DWORD size, DWORD* newSize);

// The lines of the text as the readers of every platform may see them: where each line begins and
// ends, and whether it is a section header, or one to some platform and not to another. Windows'
// and Wine's readers skip blanks, the vertical tab, the form feed and Ctrl+Z (the end-of-file mark
// of old DOS editors) before a header's "["; what other platforms skip is not known, so any unit
// that some platform may read otherwise counts as skipped too.
enum class TextEncoding { Ansi, Utf16Le, Utf16Be };

struct IniText {
    const BYTE* bytes;
    DWORD size;
    TextEncoding encoding;
    DWORD step;   // bytes in a unit: 1 for single bytes, 2 for UTF-16
    DWORD first;  // the first unit's offset, after the byte-order mark
};
// The bytes read in UTF-16LE or UTF-16BE after their byte-order mark, else in single bytes (the
// ANSI code page, or UTF-8, which has the structure of ASCII text) from the first byte on.
IniText IniTextOf(const BYTE* bytes, DWORD size);
// True for UTF-16 whose last unit is cut in half.
bool IsCutInHalf(const IniText& text);
unsigned UnitAt(const IniText& text, DWORD offset);

bool IsBlank(unsigned unit);
// A unit that some platform may skip, fold, or read as part of a character of the code page: a
// control unit other than the tab, or one beyond ASCII.
bool MayReadOtherwise(unsigned unit);
// The first unit from at on before end that is no blank.
DWORD SkipBlanks(const IniText& text, DWORD at, DWORD end);
// True when the name's letters, in either case, stand from at on before end; after is then the
// offset that follows them.
bool NameAt(const IniText& text, DWORD at, DWORD end, const wchar_t* name, DWORD* after);

// Which units end a line: a carriage return and a line feed each, alone or together (some
// platform reads each of them so), or the line feed alone, a carriage return just before it being
// part of the line break.
enum class LineBreaks { ReturnOrFeed, FeedOnly };
struct IniLine {
    DWORD begin;
    DWORD end;   // where its line break begins, or the end of the text
    DWORD next;  // the next line's first unit, the size at the end of the text
    DWORD text;  // the first unit that is no blank, end for none
    // Holds a unit that some platform reads as the end of the line or of the text: a zero, or with
    // FeedOnly a carriage return that no line feed follows.
    bool broken;
    bool header;  // "[" at text
    // "[" behind units that some platform skips: a header to one platform, text to another.
    bool headerInDoubt;
};
// The line that begins at offset at, before the end of the text.
IniLine LineAt(const IniText& text, DWORD at, LineBreaks breaks);
