// What the watch noted of the file, for the save to tell its own last state from another
// program's change.
#pragma once

#include "settings/safe_save.h"

// True when a state of the file is noted, and when the stamp is that state.
bool SettingsFileRemembered();
bool IsRememberedSettingsFile(const FileStamp& stamp);
