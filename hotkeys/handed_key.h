// A press that must not fire for the program in front, given to that program as the user made it.
#pragma once

#include "hotkeys/hotkey_table.h"

// Puts the combination's key into the input. The program receives a first press as a first press
// and, while the user holds the key, the keys that follow as repeats; modifiers the user let go of
// already are pressed around the key, so nothing is left held down. The caller's hotkey for the
// combination must be unregistered first, or the key comes back as that hotkey.
void HandKeyToProgram(KeyCode key);
