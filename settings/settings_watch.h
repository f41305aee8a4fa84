// What the watch noted of the file, for the save to tell its own last state from another
// program's change.
#pragma once

#include "settings/safe_save.h"

// Notes the file as the load found it, as the state the plug-in holds in memory; the bytes become
// the watch's (found->bytes is then null).
void RememberFoundFile(FoundFile* found);
// True when a state of the file is noted, and when the stamp is that state.
bool SettingsFileRemembered();
// The bytes, when known, must be those Tessel last read or wrote too: an edit that keeps the size
// and the time is an edit all the same.
bool IsRememberedSettingsFile(const FileStamp& stamp, const BYTE* bytes, DWORD size);
// Keeps a copy of what a save that succeeded put in the file's place, and the stamp the swap left
// it, for RememberSavedSettingsFile.
void NoteSavedBytes(const BYTE* bytes, DWORD size, const FileStamp& stamp);
// A save that succeeded found the file it last read or wrote already holding what it would write,
// and left it: RememberSavedSettingsFile keeps what is noted of it.
void NoteNothingSaved();
