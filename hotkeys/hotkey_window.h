// The hidden window that owns the live table, the enabled flag and the system hotkeys, carries
// out the plug-in's own two commands, and holds the hotkeys off while the settings session runs.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr wchar_t HOTKEY_WINDOW_CLASS[] = L"TesselClass";

// Answers the enabled flag's value.
constexpr UINT WM_QUERY_ENABLED = WM_APP;

// Nonzero while the hotkeys are on; the toggle sets it to exactly 1 or 0.
extern int enabledFlag;

// The plug-in's own commands, as the host numbers them.
constexpr int32_t COMMAND_ENABLE = 0;
constexpr int32_t COMMAND_SETTINGS = 1;

// 0 toggles the hotkeys at once and re-syncs the host's check mark; 1 opens the settings once
// the host's message loop runs again; any other id does nothing. For the host and for hotkeys
// bound to these commands.
void RunOwnCommand(int32_t commandId);

// Shows command 0 in the host's menus with a check mark exactly when the hotkeys are on.
void ShowEnabledCheckMark();

// Registers the window class and creates the window, which loads the settings and registers
// the hotkeys when enabled. Returns null when the window cannot be created. The caller keeps the
// library mapped for as long as the window lives: its procedure, its timers and the foreground
// hook are the library's code.
HWND CreateHotkeyWindow();
