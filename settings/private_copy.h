// Private copies of the settings file in the temporary folder, for the profile functions: a UTF-8
// file, or one whose path they cannot take, is read (and a save's work copy written) through one.
// A process killed while it uses a copy leaves it behind, so each name carries the id of the
// process that made it, and a later start deletes the copies of processes that have ended.
#pragma once

#include <windows.h>

// A copy of bytes under a fresh name of this process in the temporary folder; its path in copy
// (MAX_PATH units). False, with the reason in GetLastError, when it could not be written; nothing
// is left behind then.
bool WritePrivateCopy(const BYTE* bytes, DWORD size, wchar_t* copy);
// Deletes the copies whose process has ended.
void DeleteLeftoverPrivateCopies();
