// The settings file beside the library: [setting] enable and pause_fullscreen, and the bindings
// in [hotkeys].
// Read when the hotkey window is created; written when the user confirms the settings, at a
// toggle, when the Windows session ends and when the window is destroyed. Every save is whole:
// the file holds the old settings or the new ones, and the one before is kept as "<file>.bak". A
// file that exists but could not be read, or bindings that could not all be loaded, are never
// written over in that run.
#pragma once

#include <windows.h>

// Sets the enabled flag from [setting] enable (1 when absent) and the full-screen pause from
// pause_fullscreen (0 when absent). Deletes what a save cut short
// left behind.
void LoadEnabledFlag();
// Appends the stored bindings to the live table, item0 onward, up to the first key reading 0.
void LoadHotkeyItems();
// Writes the bindings of the live table (the whole [hotkeys] section; an empty table leaves none)
// and the flag (other keys of [setting] stay) in one swap. True once the new file is in place, or
// when nothing may be written; false when it could not be written: the file is then as it was,
// and SaveFailureReason() (safe_save.h) tells why.
bool SaveSettingsFile();
// The same for the bindings alone and the flag alone.
bool SaveHotkeyItems();
bool SaveEnabledFlag();
// False when the last load could not take in everything stored: the file could not be read, or
// memory ran short.
bool SettingsLoadedWhole();
