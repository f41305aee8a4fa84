// The settings file's text encoding. The profile functions keep the encoding of the file they
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
