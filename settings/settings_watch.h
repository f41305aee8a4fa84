// Notices when another program (an editor, a second launcher in the same folder) changes the
// settings file: the file's size and write time are compared with those the plug-in last read
// or wrote. Polled from the hotkey window's timer, a cheap attribute query each time.
#pragma once

#include "settings/safe_save.h"

// Notes the file as it is now, as the state the plug-in holds in memory.
void RememberSettingsFile();
// Notes what the last save that succeeded put in the file's place (SavedFileStamp, safe_save.h),
// not whatever is there by now.
void RememberSavedSettingsFile();
// True when a state of the file is noted, and when the stamp is that state.
bool SettingsFileRemembered();
bool IsRememberedSettingsFile(const FileStamp& stamp);
// Forgets it: the next poll counts any file, or none, as changed.
void ForgetSettingsFile();
// True when the file differs from what was noted: changed, or there when it was not. A file that
// went away is not a change: the next save writes it again.
bool SettingsFileChangedOutside();
// True when the file changed outside and can be opened for reading now.
bool SettingsChangeReadable();
// True when a change from outside has held still since the last poll and the file can be opened
// for reading now: an editor that writes in steps is not read halfway.
bool PollSettingsFile();
