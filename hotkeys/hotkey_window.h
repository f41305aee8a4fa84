// The hidden window that owns the live table, the enabled flag and the system hotkeys, and
// runs the settings session.
#pragma once

#include <windows.h>

constexpr wchar_t HOTKEY_WINDOW_CLASS[] = L"TesselClass";

// Answers the enabled flag's value.
constexpr UINT WM_QUERY_ENABLED = WM_APP;

// Nonzero while the hotkeys are on; the toggle sets it to exactly 1 or 0.
extern int enabledFlag;

// Registers the window class and creates the window, which loads the settings and registers
// the hotkeys when enabled. Returns null when the window cannot be created.
HWND CreateHotkeyWindow();
// For a library freed without Unload: the window's procedure and its timer leave the library's
// code, and the window goes: at once when called on its own thread, otherwise when that thread
// next takes its messages. Nothing is saved.
void AbandonHotkeyWindow(HWND window);
