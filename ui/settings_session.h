// The settings session: the settings dialog run on a copy of the live table, the copy adopted
// on OK and saved, and what the user is told about the settings file.
#pragma once

#include <windows.h>

#include "settings/settings.h"

// Clones the live table, runs the settings dialog on the copy with the host's plug-in list, and
// on OK makes the copy the live table and the dialog's full-screen pause the live one: true then,
// and the caller saves them. A file that could not be read at start (loadFailure, as the load
// told it) is said as the dialog opens. The caller holds the hotkeys unregistered and the library
// pinned meanwhile. When the window is destroyed while the dialog is open, the copy is dropped.
bool RunSettingsSession(HWND window, DWORD loadFailure);

// What a save carries: the settings confirmed in the dialog, or a switch of the hotkeys to on or
// off, which is saved as a switch is (only the enable value, where the file allows).
enum class SavedChange { Settings, HotkeysOn, HotkeysOff };

// Saves the settings file; a failure is told with its reason and the file that refused, and that
// the change (or, at a switch, the hotkeys as now on or off) stays until the next save, or, for a
// failure the next save would meet again, what the user has to change first. A save that gave way
// to another program's change is not told: the caller takes the change in. The settings keep such
// a change as a dated copy and are saved over it instead, and tell the copy.
SaveOutcome SaveTellingFailure(HWND window, const SettingsValues& values, SavedChange change);
