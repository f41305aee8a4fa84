// A combination as the settings list writes it, which the editor's questions and the demo's
// printout use too.
#pragma once

#include <windows.h>

#include "base/key_code.h"

// "Ctrl + Shift + Alt + Win + " as the flags say, then the key's name; into a buffer of
// KEY_TEXT_CAPACITY units. Returns 1.
constexpr int KEY_TEXT_CAPACITY = 100;
int FormatKeyCode(KeyCode key, wchar_t* text);
