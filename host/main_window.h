// The host's main window, class "TTBaseMain" titled "TTBase", to which plug-ins send WM_CLOSE
// (exit) and WM_CONTEXTMENU (the system menu, or the tool menu when bit 31 of lParam is set).
#pragma once

#include <windows.h>

// Interactive (minihost.exe): the window is shown, opens its menus and exits on WM_CLOSE.
// Otherwise (tests) it stays hidden and only records those messages, unless switched below.
HWND CreateHostMainWindow(bool interactive);
void DestroyHostMainWindow();
HWND HostMainWindow();

// WM_CLOSE unloads every plug-in (the window itself stays until destroyed).
void SetCloseUnloadsPlugins(bool unload);
// WM_CONTEXTMENU opens the menu (modally) as minihost.exe does.
void SetContextMenuOpens(bool open);

// The popup that WM_CONTEXTMENU shows: every plug-in's commands with their check marks; the
// system menu ends with Exit. The caller destroys it.
HMENU BuildHostMenu(bool toolMenu);
