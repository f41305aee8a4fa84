// The host's main window, class "TTBaseMain" titled "TTBase", to which plug-ins send WM_CLOSE
// (exit) and WM_CONTEXTMENU (the system menu, or the tool menu when bit 31 of lParam is set).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct LoadedPlugin;

// The interactive window's list of what plug-ins last had the host do, a static control.
constexpr int HOST_ACTIVITY_ID = 100;

// Interactive (minihost.exe): the window is shown, opens its menus and exits on WM_CLOSE.
// Otherwise (tests) it stays hidden and only records those messages, unless switched below.
HWND CreateHostMainWindow(bool interactive);
void DestroyHostMainWindow();
HWND HostMainWindow();

// Adds "<time>  <what> <file name>|<id> (<caption>)" to the interactive window's list, which
// keeps the last few lines; without that window it does nothing.
void ShowPluginActivity(const LoadedPlugin& plugin, int32_t commandId, const std::wstring& what);

// WM_CLOSE unloads every plug-in (the window itself stays until destroyed).
void SetCloseUnloadsPlugins(bool unload);
// WM_CONTEXTMENU opens the menu (modally) as minihost.exe does.
void SetContextMenuOpens(bool open);

// The popup that WM_CONTEXTMENU shows: every plug-in's commands with their check marks; the
// system menu ends with Exit. The caller destroys it.
HMENU BuildHostMenu(bool toolMenu);
