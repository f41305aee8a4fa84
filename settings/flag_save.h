// A switch of the hotkeys saved as the enable value's number alone, through the whole save's steps
// (a work file of its own, the check, the swap only over the file read), every other byte of the
// file (comments and line breaks included) staying.
#pragma once

#include "settings/settings.h"

// True once the switch is saved so: the bindings are in the file as the table has them, the file
// is the one Tessel last read or wrote and its layout leaves no doubt. Else false, the file as it
// was, and the whole save is the caller's.
bool SaveSwitchInPlace(const SettingsValues& values, SaveOutcome* outcome);
