// The settings file beside the library: [setting] enable and pause_fullscreen, and the bindings in
// [hotkeys]. What the other rooms may call; the rest of settings/ is its own.
//
// Read when the hotkey window is created; written when the user confirms the settings, at a
// toggle, when the Windows session ends and when the window is destroyed. Every save is whole:
// the file holds the old settings or the new ones, and the one before is kept as "<file>.bak". A
// file that exists but could not be read, or bindings that could not all be loaded, are never
// written over in that run.
#pragma once

#include <windows.h>

// Sets the enabled flag from [setting] enable (1 when absent) and the full-screen pause from
// pause_fullscreen (0 when absent). Deletes what a save cut short left behind.
void LoadEnabledFlag();
// Appends the stored bindings to the live table, item0 onward, up to the first key reading 0.
void LoadHotkeyItems();
// Writes the bindings of the live table (the whole [hotkeys] section; an empty table leaves none)
// and the flag (other keys of [setting] stay) in one swap. True once the new file is in place, or
// when nothing may be written; false when it could not be written: the file is then as it was,
// and SaveFailureReason() tells why.
bool SaveSettingsFile();
// False when the last load could not take in everything stored: the file could not be read, or
// memory ran short.
bool SettingsLoadedWhole();

// The system's error code for the last save that failed.
DWORD SaveFailureReason();
// Why the last opening of the file for reading failed, or 0 when it did not.
DWORD SettingsLoadFailure();

// The settings file's path as the user knows it, in a block of the process heap (ReleaseBlock
// frees it); null when it cannot be derived.
wchar_t* NewSettingsFileName();

// Noticing when another program (an editor, a second launcher in the same folder) changes the
// file: its size and write time are compared with those the plug-in last read or wrote. Polled
// from the hotkey window's timer, a cheap attribute query each time.
//
// Notes the file as it is now, as the state the plug-in holds in memory.
void RememberSettingsFile();
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
