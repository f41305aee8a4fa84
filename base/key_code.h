// A key combination as the hot-key control gives it and the settings file stores it.
#pragma once

#include <cstdint>

// Bits 0-7 virtual key; 0x100 Shift, 0x200 Control, 0x400 Alt, 0x800 extended key (the hot-key
// control's flags); 0x1000 the Windows key. 0 means no key.
using KeyCode = uint16_t;

constexpr KeyCode VIRTUAL_KEY_BITS = 0x00FF;

constexpr KeyCode KEY_SHIFT = 0x0100;
constexpr KeyCode KEY_CONTROL = 0x0200;
constexpr KeyCode KEY_ALT = 0x0400;
constexpr KeyCode KEY_EXTENDED = 0x0800;
constexpr KeyCode KEY_WIN = 0x1000;
