#include "host/main_window.h"

#include <strsafe.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "host/host_record.h"
#include "host/plugin_host.h"

namespace {

constexpr wchar_t MAIN_WINDOW_CLASS[] = L"TTBaseMain";
constexpr wchar_t MAIN_WINDOW_TITLE[] = L"TTBase";
constexpr UINT EXIT_ITEM = 0xFFF0;
constexpr LPARAM TOOL_MENU_BIT = static_cast<LPARAM>(0x80000000u);

constexpr wchar_t USAGE_TEXT[] =
    L"minihost: a stand-in launcher for trying plug-ins.\r\n\r\n"
    L"Right-click here (or press Shift + F10) for the system menu: every plug-in's commands, and Exit. "
    L"Shift + right-click for the tool menu.\r\n\r\n"
    L"The plug-ins' hotkeys work while this window is open. The log is minihost.log beside the program.\r\n\r\n"
    L"Under Wine: with its X11 driver the hotkeys fire only while a Wine window (this one, Notepad, a "
    L"dialog) has the focus; the X server keeps Ctrl + Alt + F1 to F12 for itself; Wine's hot-key control "
    L"writes \"Control + ...\" where the settings list writes \"Ctrl + ...\"; a menu that a hotkey opens "
    L"while another program has the focus may not take the keyboard. None of this applies on Windows.";

// The interactive window lists what plug-ins last had the host do, newest last.
constexpr int ACTIVITY_LINES = 5;
constexpr wchar_t ACTIVITY_HEADING[] = L"Latest plug-in commands run and check marks set:";
constexpr int MARGIN = 12;
// The interactive window's width at 96 DPI, widened with the display's scale.
constexpr int INTERACTIVE_WIDTH = 600;
constexpr int BASE_DPI = 96;

struct MenuEntry {
    DWORD_PTR pluginHandle;
    int32_t commandId;
};

struct WindowLists {
    std::deque<std::wstring> activityLines;
    // What each item of the last built menu runs; item id = index + 1.
    std::vector<MenuEntry> menuEntries;
};

// Made at the first use and never destroyed: a plug-in may still run a command or set a check
// mark while the process exits, after the C runtime has destroyed the static objects.
WindowLists& Lists()
{
    static WindowLists* const lists = new WindowLists();
    return *lists;
}

HWND mainWindow;
HWND activityList;
bool interactiveHost;
bool closeUnloadsPlugins;
bool contextMenuOpens;

void RunMenuItem(UINT item)
{
    if (item == EXIT_ITEM) {
        PostMessageW(mainWindow, WM_CLOSE, 0, 0);
        return;
    }
    const std::vector<MenuEntry>& menuEntries = Lists().menuEntries;
    if (item == 0 || item > menuEntries.size()) {
        return;
    }
    const MenuEntry entry = menuEntries[item - 1];
    LoadedPlugin* plugin = FindPluginByHandle(entry.pluginHandle);
    if (plugin != nullptr) {
        RunPluginCommand(*plugin, entry.commandId);
    }
}

void ShowHostMenu(HWND window, WPARAM wParam, LPARAM lParam)
{
    bool toolMenu = (lParam & TOOL_MENU_BIT) != 0;
    POINT point = {static_cast<int16_t>(LOWORD(lParam)), static_cast<int16_t>(HIWORD(lParam & ~TOOL_MENU_BIT))};
    if (reinterpret_cast<HWND>(wParam) == window) {
        // The user's own right-click, or the keyboard's Shift + F10 or menu key, which give no
        // point. Shift picks the tool menu only with the mouse: from the keyboard it is part of
        // the key that asks for the window's own menu.
        const bool fromKeyboard = LOWORD(lParam) == 0xFFFF && HIWORD(lParam) == 0xFFFF;
        toolMenu = !fromKeyboard && GetKeyState(VK_SHIFT) < 0;
        if (fromKeyboard) {
            GetCursorPos(&point);
        }
    }
    const HMENU menu = BuildHostMenu(toolMenu);
    // The window must be in front, or the menu does not close when the user clicks elsewhere.
    SetForegroundWindow(window);
    const UINT item = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, point.x, point.y, 0, window, nullptr));
    PostMessageW(window, WM_NULL, 0, 0);
    DestroyMenu(menu);
    RunMenuItem(item);
}

int LineHeight()
{
    const HDC dc = GetDC(nullptr);
    const HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, oldFont);
    ReleaseDC(nullptr, dc);
    return metrics.tmHeight + metrics.tmExternalLeading;
}

// The usage text fills the window above the list of activity at its bottom.
RECT UsageArea(HWND window)
{
    RECT area;
    GetClientRect(window, &area);
    InflateRect(&area, -MARGIN, -MARGIN);
    if (activityList != nullptr) {
        area.bottom -= (ACTIVITY_LINES + 1) * LineHeight() + MARGIN;
    }
    return area;
}

// The interactive window as tall as the whole usage text and the list need at the display's scale:
// the text grows with the scale, and a fixed height cut its end off at 144 DPI.
void FitUsageText(HWND window)
{
    const HDC dc = GetDC(window);
    const int width = MulDiv(INTERACTIVE_WIDTH, GetDeviceCaps(dc, LOGPIXELSY), BASE_DPI);
    SetWindowPos(window, nullptr, 0, 0, width, width / 2, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT text = UsageArea(window);
    text.bottom = text.top;
    const HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    DrawTextW(dc, USAGE_TEXT, -1, &text, DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
    SelectObject(dc, oldFont);
    ReleaseDC(window, dc);
    const RECT usage = UsageArea(window);
    const int missing = (text.bottom - text.top) - (usage.bottom - usage.top);
    RECT frame;
    GetWindowRect(window, &frame);
    SetWindowPos(window, nullptr, 0, 0, width, frame.bottom - frame.top + missing,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void PlaceActivityList(HWND window)
{
    const RECT usage = UsageArea(window);
    RECT client;
    GetClientRect(window, &client);
    MoveWindow(activityList, usage.left, usage.bottom + MARGIN, usage.right - usage.left,
               client.bottom - MARGIN - usage.bottom - MARGIN, TRUE);
}

void DrawUsage(HWND window, HDC dc)
{
    RECT area = UsageArea(window);
    const HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, USAGE_TEXT, -1, &area, DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, oldFont);
}

void PaintUsage(HWND window)
{
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    DrawUsage(window, dc);
    EndPaint(window, &paint);
}

// Pictures of the window (PrintWindow) get the background and the text too.
void PrintUsage(HWND window, HDC dc)
{
    RECT area;
    GetClientRect(window, &area);
    FillRect(dc, &area, GetSysColorBrush(COLOR_WINDOW));
    DrawUsage(window, dc);
}

void OnClose(HWND window)
{
    RecordMessage(WM_CLOSE, 0, 0);
    if (interactiveHost) {
        UnloadAllPlugins();
        DestroyWindow(window);
    } else if (closeUnloadsPlugins) {
        UnloadAllPlugins();
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        OnClose(window);
        return 0;
    case WM_CONTEXTMENU:
        RecordMessage(message, wParam, lParam);
        if (interactiveHost || contextMenuOpens) {
            ShowHostMenu(window, wParam, lParam);
        }
        return 0;
    case WM_PAINT:
        PaintUsage(window);
        return 0;
    case WM_PRINTCLIENT:
        PrintUsage(window, reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_CTLCOLORSTATIC:
        // The list reads as part of the window's text, on the same background.
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    case WM_SIZE:
        if (activityList != nullptr) {
            PlaceActivityList(window);
        }
        return 0;
    case WM_DESTROY:
        if (interactiveHost) {
            PostQuitMessage(0);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND CreateHostMainWindow(bool interactive)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = MAIN_WINDOW_CLASS;
    // A test program creates the window once per test; the class stays registered.
    if (RegisterClassW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return nullptr;
    }
    interactiveHost = interactive;
    closeUnloadsPlugins = false;
    contextMenuOpens = false;
    activityList = nullptr;
    Lists().activityLines.clear();
    mainWindow = CreateWindowExW(0, MAIN_WINDOW_CLASS, MAIN_WINDOW_TITLE, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                 CW_USEDEFAULT, interactive ? 600 : 480, interactive ? 360 : 240, nullptr, nullptr,
                                 instance, nullptr);
    if (mainWindow != nullptr && interactive) {
        activityList = CreateWindowExW(0, L"Static", ACTIVITY_HEADING, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                                       0, 0, 0, 0, mainWindow, reinterpret_cast<HMENU>(HOST_ACTIVITY_ID), instance,
                                       nullptr);
        SendMessageW(activityList, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        FitUsageText(mainWindow);
        PlaceActivityList(mainWindow);
    }
    return mainWindow;
}

void DestroyHostMainWindow()
{
    if (mainWindow != nullptr) {
        DestroyWindow(mainWindow);
        mainWindow = nullptr;
    }
}

HWND HostMainWindow()
{
    return mainWindow;
}

void ShowPluginActivity(const LoadedPlugin& plugin, int32_t commandId, const std::wstring& what)
{
    if (activityList == nullptr) {
        return;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::deque<std::wstring>& activityLines = Lists().activityLines;
    wchar_t time[16] = {};
    StringCchPrintfW(time, ARRAYSIZE(time), L"%02u:%02u:%02u", now.wHour, now.wMinute, now.wSecond);
    activityLines.push_back(std::wstring(time) + L"  " + what + L" " + plugin.fileName + L"|" +
                            std::to_wstring(commandId) + L" (" + CommandCaption(plugin, commandId) + L")");
    if (activityLines.size() > static_cast<size_t>(ACTIVITY_LINES)) {
        activityLines.pop_front();
    }
    std::wstring text = ACTIVITY_HEADING;
    for (const std::wstring& line : activityLines) {
        text += L"\r\n" + line;
    }
    SetWindowTextW(activityList, text.c_str());
}

void SetCloseUnloadsPlugins(bool unload)
{
    closeUnloadsPlugins = unload;
}

void SetContextMenuOpens(bool open)
{
    contextMenuOpens = open;
}

HMENU BuildHostMenu(bool toolMenu)
{
    const HMENU menu = CreatePopupMenu();
    std::vector<MenuEntry>& menuEntries = Lists().menuEntries;
    menuEntries.clear();
    for (const auto& plugin : LoadedPlugins()) {
        const PluginInfo* info = plugin->info->Record();
        if (info->commandCount <= 0) {
            continue;
        }
        if (GetMenuItemCount(menu) > 0) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        }
        for (int i = 0; i < info->commandCount; ++i) {
            const PluginCommandInfo& command = info->commands[i];
            const auto check = plugin->checked.find(command.commandId);
            const bool checked = check != plugin->checked.end() && check->second;
            menuEntries.push_back({plugin->handle, command.commandId});
            AppendMenuW(menu, MF_STRING | (checked ? MF_CHECKED : MF_UNCHECKED), menuEntries.size(),
                        command.caption);
        }
    }
    if (!toolMenu) {
        if (GetMenuItemCount(menu) > 0) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        }
        AppendMenuW(menu, MF_STRING, EXIT_ITEM, L"Exit");
    }
    return menu;
}
