// The settings dialog (resource 101): the list of bindings with add, edit and delete. It changes
// only the work copy it is given; the caller adopts the copy when the dialog ends with 1.
#pragma once

#include <windows.h>

#include "hotkeys/hotkey_table.h"
#include "plugin/host_abi.h"

struct SettingsContext {
    PluginInfo** plugins;  // the host's plug-in list; may be null when the host offers none
    HotkeyTable workTable;
    // in: the full-screen pause in effect; out on 1: the one chosen, which the caller adopts with
    // the work copy.
    int pauseFullscreen;
};

// Run with DialogBoxParamW and a SettingsContext* as the initialisation parameter.
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

