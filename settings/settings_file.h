// The settings file beside the library: [setting] enable and the bindings in [hotkeys].
// Read when the hotkey window is created; written when the user confirms the settings, at a
// toggle, when the Windows session ends and when the window is destroyed. Every save is whole:
// the file holds the old settings or the new ones, and the one before is kept as "<file>.bak". A
// file that exists but could not be read, or bindings that could not all be loaded, are never
// written over in that run.
#pragma once

#include <windows.h>

// Sets the enabled flag from [setting] enable (1 when absent). Deletes what a save cut short
// left behind.
void LoadEnabledFlag();
// Appends the stored bindings to the live table, item0 onward, up to the first key reading 0.
void LoadHotkeyItems();
// Writes the bindings of the live table (the whole [hotkeys] section; an empty table leaves none)
// and the flag (other keys of [setting] stay) in one swap, once the platform's reader finds them
// and every other setting in the new file. True once the new file is in place, or when nothing
// may be written; false when it could not be written: the file is then as it was, and
// SaveFailureReason() and SaveFailureSuffix() (safe_save.h) tell why and which file refused. A
// file another program changed after the save read it is left as it is: false, and
// SaveGaveWayToOutsideChange() tells so.
bool SaveSettingsFile();
// The same, but a file that is not the one Tessel last read or wrote, or that changes during the
// save, is kept as a dated copy (LastKeptCopySuffix(), kept_copies.h) and saved over.
bool SaveSettingsFileKeepingEdits();
// The routine save for the bindings alone and the flag alone.
bool SaveHotkeyItems();
bool SaveEnabledFlag();
bool SaveGaveWayToOutsideChange();
// False when the last load could not take in everything stored: the file could not be read, or
// memory ran short.
bool SettingsLoadedWhole();
