// Copies of the settings file that Tessel tells the user it kept (a hand edit that a save went
// over): "<file>.<yyyy-mm-dd_hhmmss>.kept" beside it, dated by the local time they were made. No
// save rotates or overwrites them; only the newest ten stay.
#pragma once

#include <windows.h>

// Keeps bytes as a new dated copy of the file at path and deletes the oldest copies beyond the
// newest ten. False, with the reason in GetLastError, when the copy could not be written whole;
// nothing is left behind then.
bool KeepSettingsCopy(const wchar_t* path, const BYTE* bytes, DWORD size);
// LastKeptCopySuffix() (settings.h) names the copy the last call kept, or the copy it could not
// write.
// Forgets the last kept copy: a new save begins.
void ForgetKeptCopy();
