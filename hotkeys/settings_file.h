// The settings file beside the library: [setting] enable and the bindings in [hotkeys].
// Read when the hotkey window is created, written when it is destroyed, and at no other time.
#pragma once

// Sets the enabled flag from [setting] enable (1 when absent).
void LoadEnabledFlag();
// Appends the stored bindings to the live table, item0 onward, up to the first key reading 0.
void LoadHotkeyItems();
// Rewrites the whole [hotkeys] section from the live table; an empty table leaves none.
void SaveHotkeyItems();
// Writes the enabled flag to [setting] enable; other keys of [setting] stay.
void SaveEnabledFlag();
