// The settings file beside the library: [setting] enable and the bindings in [hotkeys].
// Read when the hotkey window is created; written when the user confirms the settings, when the
// Windows session ends and when the window is destroyed. A file that exists but could not be
// read, or bindings that could not all be loaded, are never written over in that run.
#pragma once

// Sets the enabled flag from [setting] enable (1 when absent).
void LoadEnabledFlag();
// Appends the stored bindings to the live table, item0 onward, up to the first key reading 0.
void LoadHotkeyItems();
// Rewrites the whole [hotkeys] section from the live table; an empty table leaves none.
void SaveHotkeyItems();
// Writes the enabled flag to [setting] enable; other keys of [setting] stay.
void SaveEnabledFlag();

// The settings file's path (TEXT_CAPACITY units); false when the library's path is too long.
bool GetSettingsFilePath(wchar_t* path);
// False when the last load could not take in everything stored: the file could not be read, or
// memory ran short.
bool SettingsLoadedWhole();
