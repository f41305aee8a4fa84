// Copies of the settings file kept beside it, of two kinds that never mix.
//
// Told copies, "<file>.<yyyy-mm-dd_hhmmss>[-<2 to 9>].kept", dated by the local time they were
// made: a message names each one, so Tessel never deletes or overwrites them; the user does.
//
// Silent copies, "<file>.<10 digits>.reload", kept before a change from outside replaces the
// bindings: numbered in the order they were made, so that a clock set back never makes the newest
// look the oldest, and rotated among themselves alone. The newest five that may be deleted stay;
// one the user marked read-only is left as it is and not counted. A silent copy that a message is
// to name becomes a told copy first.
#pragma once

#include <windows.h>

// Keeps bytes as a new told copy of the file at path; suffix (SUFFIX_CAPACITY units) names the copy
// kept, or the copy that could not be written. False, with the reason in GetLastError, when the
// copy could not be written whole; nothing is left behind then.
bool KeepSettingsCopy(const wchar_t* path, const BYTE* bytes, DWORD size, wchar_t* suffix);

// Keeps bytes as the next silent copy of the file at path, its suffix after the path in suffix
// (SUFFIX_CAPACITY units, "" when none could be written), and deletes the oldest silent copies
// beyond the newest five.
void KeepReloadCopy(const wchar_t* path, const BYTE* bytes, DWORD size, wchar_t* suffix);
// Makes the silent copy of that suffix a told copy, renamed, or when it cannot be renamed (another
// program holds it) written anew from its bytes; suffix then names the told copy, or is "" when
// neither could be done.
void MakeReloadCopyTold(const wchar_t* path, wchar_t* suffix);
