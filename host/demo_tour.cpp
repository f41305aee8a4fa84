#include "host/demo_tour.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "host/host_driving.h"
#include "host/host_record.h"
#include "host/main_window.h"
#include "host/window_picture.h"

namespace {

constexpr DWORD STEP_TIMEOUT_MS = 8000;
constexpr DWORD QUIET_MS = 1500;
constexpr DWORD POLL_MS = 50;
constexpr DWORD MODIFIERS_HELD_MS = 100;

// Ids of the dialogs' controls, as the plug-in's resource script numbers them.
constexpr int SETTINGS_LIST = 1000;
constexpr int SETTINGS_EDIT = 1002;
constexpr int EDITOR_COMMAND_PICKER = 1004;

struct Tour {
    std::wstring folder;
    HWND hostWindow = nullptr;
    int failures = 0;
};

void Report(Tour& tour, const std::wstring& keys, const std::wstring& command, bool done, const std::wstring& outcome,
            const std::wstring& failure)
{
    std::wstring line = keys;
    line.resize(std::max<size_t>(line.size(), 20), L' ');
    line += L"->  " + command;
    line.resize(std::max<size_t>(line.size(), 48), L' ');
    PrintLine(line + L"->  " + (done ? outcome : L"FAILED: " + failure));
    if (!done) {
        ++tour.failures;
    }
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = STEP_TIMEOUT_MS)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(POLL_MS);
    }
    return true;
}

HWND WaitForDialog(const wchar_t* caption)
{
    HWND found = nullptr;
    WaitFor([&] {
        found = FindWindowW(L"#32770", caption);
        return found != nullptr && IsWindowVisible(found);
    });
    return found;
}

bool WaitUntilGone(HWND window)
{
    return WaitFor([&] { return !IsWindow(window); });
}

// As a person presses a combination: the modifiers held a moment before the key. Sent in one go,
// the modifiers' key-downs could still wait in the queue of the window in front when the hotkey's
// action ran there, and Alt's then closed the menu the action had just opened.
void Press(const std::vector<WORD>& keys)
{
    std::vector<INPUT> inputs = KeyPressInputs(keys);
    const auto modifiers = static_cast<UINT>(keys.size() - 1);
    if (modifiers > 0) {
        SendInput(modifiers, inputs.data(), sizeof(INPUT));
        Sleep(MODIFIERS_HELD_MS);
    }
    SendInput(static_cast<UINT>(inputs.size()) - modifiers, inputs.data() + modifiers, sizeof(INPUT));
}

bool Logged(const std::wstring& text)
{
    const std::vector<std::wstring> logs = RecordedLogs();
    return std::find(logs.begin(), logs.end(), text) != logs.end();
}

size_t LogCount()
{
    return RecordedLogs().size();
}

// Whether the host recorded the call, at or after the index-th call.
bool CalledSince(size_t first, const std::wstring& call)
{
    const std::vector<std::wstring> calls = RecordedCalls();
    return std::find(calls.begin() + static_cast<std::ptrdiff_t>(std::min(first, calls.size())), calls.end(), call) !=
           calls.end();
}

// Tessel, loaded first, has plug-in handle 1; the host's check mark of its command 0 says
// whether its hotkeys are on.
constexpr wchar_t HOTKEYS_OFF[] = L"SetMenuProperty(1,0,8,0)";
constexpr wchar_t HOTKEYS_ON[] = L"SetMenuProperty(1,0,8,8)";

bool HotkeysOn()
{
    const std::vector<std::wstring> calls = RecordedCalls();
    const auto last = std::find_if(calls.rbegin(), calls.rend(),
                                   [](const std::wstring& call) { return call == HOTKEYS_ON || call == HOTKEYS_OFF; });
    return last != calls.rend() && *last == HOTKEYS_ON;
}

bool Picture(const Tour& tour, HWND window, const wchar_t* name)
{
    return SaveWindowPicture(window, tour.folder + L"\\" + name);
}

// The button is posted, not sent: it opens a modal dialog, and the tour goes on while it runs.
void PostClick(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void SelectFirstRow(HWND dialog)
{
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendDlgItemMessageW(dialog, SETTINGS_LIST, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
}

void SettingsStep(Tour& tour)
{
    Press({VK_CONTROL, VK_MENU, 'K'});
    const HWND settings = WaitForDialog(L"Tesselの設定");
    if (settings == nullptr) {
        Report(tour, L"Ctrl + Alt + K", L"Tessel.dll|1", false, L"", L"no settings dialog appeared");
        return;
    }
    const int rows = static_cast<int>(SendDlgItemMessageW(settings, SETTINGS_LIST, LVM_GETITEMCOUNT, 0, 0));
    bool pictures = Picture(tour, settings, L"settings_dialog.bmp");
    SelectFirstRow(settings);
    PostClick(settings, SETTINGS_EDIT);
    const HWND editor = WaitForDialog(L"アイテム編集");
    HWND picker = nullptr;
    if (editor != nullptr) {
        pictures = Picture(tour, editor, L"item_editor.bmp") && pictures;
        PostClick(editor, EDITOR_COMMAND_PICKER);
        picker = WaitForDialog(L"プラグインコマンド選択");
        if (picker != nullptr) {
            pictures = Picture(tour, picker, L"command_picker.bmp") && pictures;
            PostClick(picker, IDCANCEL);
            WaitUntilGone(picker);
        }
        PostClick(editor, IDCANCEL);
        WaitUntilGone(editor);
    }
    PostClick(settings, IDCANCEL);
    const bool closed = WaitUntilGone(settings);
    const bool done = editor != nullptr && picker != nullptr && pictures && closed;
    Report(tour, L"Ctrl + Alt + K", L"Tessel.dll|1", done,
           L"settings dialog opened with " + std::to_wstring(rows) + L" bindings; editor and picker pictured",
           editor == nullptr   ? L"the item editor did not open"
           : picker == nullptr ? L"the command picker did not open"
           : !pictures         ? L"a picture could not be written"
                               : L"the settings dialog did not close");
}

// The popup menu on the screen. Another program (a Notepad that is still closing) may keep a
// hidden menu window of its own, which must not hide the one shown.
HWND ShownMenu()
{
    HWND menu = nullptr;
    while ((menu = FindWindowExW(nullptr, menu, L"#32768", nullptr)) != nullptr) {
        if (IsWindowVisible(menu)) {
            return menu;
        }
    }
    return nullptr;
}

HWND FindWindowTitled(const std::wstring& part)
{
    struct Search {
        const std::wstring* part;
        HWND found;
    } search = {&part, nullptr};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* search = reinterpret_cast<Search*>(context);
            wchar_t title[256] = {};
            GetWindowTextW(window, title, 256);
            if (IsWindowVisible(window) && std::wstring(title).find(*search->part) != std::wstring::npos) {
                search->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// What the host's window lists of the plug-ins' doings, as the user reads it there.
bool HostWindowShows(const Tour& tour, const std::wstring& text)
{
    const HWND list = GetDlgItem(tour.hostWindow, HOST_ACTIVITY_ID);
    std::wstring shown(static_cast<size_t>(GetWindowTextLengthW(list)) + 1, L'\0');
    shown.resize(static_cast<size_t>(GetWindowTextW(list, shown.data(), static_cast<int>(shown.size()))));
    return shown.find(text) != std::wstring::npos;
}

void PluginCommandStep(Tour& tour)
{
    Press({VK_CONTROL, VK_MENU, 'S'});
    const bool ran = WaitFor([] { return Logged(L"Sample.dll|2"); });
    const bool listed = ran && HostWindowShows(tour, L"ran Sample.dll|2");
    const bool noted = ran && WaitFor([] { return FindWindowTitled(L"Sample: ") != nullptr; });
    Report(tour, L"Ctrl + Alt + S", L"Sample.dll|2", listed && noted,
           L"the sample plug-in showed its note; the host's window lists the command",
           !ran      ? L"the sample plug-in did not run command 2"
           : !listed ? L"the host's window does not list the command"
                     : L"the sample plug-in showed no note");
}

void ProgramStep(Tour& tour)
{
    Press({VK_CONTROL, VK_MENU, 'N'});
    HWND notepad = nullptr;
    const bool opened = WaitFor([&] { return (notepad = FindWindowTitled(L"memo.txt")) != nullptr; });
    std::wstring title(256, L'\0');
    if (opened) {
        title.resize(static_cast<size_t>(GetWindowTextW(notepad, title.data(), 256)));
        PostMessageW(notepad, WM_CLOSE, 0, 0);
        // The next steps start with the host in front, not with a Notepad that may still be closing.
        WaitFor([&] { return IsWindow(notepad) == FALSE; });
    }
    Report(tour, L"Ctrl + Alt + N", L"notepad.exe memo.txt", opened, L"a window \"" + title + L"\" opened",
           L"no window showing memo.txt appeared");
}

void ToolMenuStep(Tour& tour)
{
    Press({VK_CONTROL, VK_MENU, 'M'});
    HWND menu = nullptr;
    const bool shown = WaitFor([&] { return (menu = ShownMenu()) != nullptr; });
    bool toolMenu = false;
    for (const HostMessage& message : RecordedMessages()) {
        toolMenu = toolMenu || (message.message == WM_CONTEXTMENU && (message.lParam & 0x80000000u) != 0);
    }
    if (shown) {
        Press({VK_ESCAPE});
        WaitFor([&] { return !IsWindowVisible(menu); });
    }
    Report(tour, L"Ctrl + Alt + M", L":toolmenu", shown && toolMenu, L"the host's tool menu opened at the cursor",
           toolMenu ? L"the menu did not show" : L"the host was not asked for its tool menu");
}

void ToggleStep(Tour& tour)
{
    const size_t before = RecordedCalls().size();
    Press({VK_CONTROL, VK_MENU, 'T'});
    const bool off = WaitFor([&] { return CalledSince(before, HOTKEYS_OFF); });
    Report(tour, L"Ctrl + Alt + T", L"Tessel.dll|0", off, L"hotkeys off: the host cleared the check mark",
           L"the host's check mark was not cleared");
    if (!off) {
        return;
    }
    const size_t logged = LogCount();
    Press({VK_CONTROL, VK_MENU, 'S'});
    Sleep(QUIET_MS);
    const bool silent = LogCount() == logged;
    Report(tour, L"Ctrl + Alt + S", L"Sample.dll|2", silent, L"nothing happens while the hotkeys are off",
           L"the command still ran");
}

std::wstring LastItemText(HMENU menu)
{
    wchar_t text[64] = {};
    GetMenuStringW(menu, static_cast<UINT>(GetMenuItemCount(menu) - 1), text, 64, MF_BYPOSITION);
    return text;
}

// Shift + F10 opens the host's system menu, whose first item, Tessel's command 0, switches the
// hotkeys on: the way back once they are off, which no hotkey can do.
void MenuKeyStep(Tour& tour)
{
    const size_t before = RecordedCalls().size();
    SetForegroundWindow(tour.hostWindow);
    Press({VK_SHIFT, VK_F10});
    HWND menu = nullptr;
    const bool shown = WaitFor([&] { return (menu = ShownMenu()) != nullptr; });
    bool systemMenu = false;
    if (shown) {
        systemMenu = LastItemText(reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0))) == L"Exit";
        Press({VK_DOWN});
        Press({VK_RETURN});
    }
    const bool on = shown && WaitFor([&] { return CalledSince(before, HOTKEYS_ON); });
    Report(tour, L"Shift + F10", L"Tessel.dll|0 by menu", systemMenu && on,
           L"the host's system menu opened; its Tessel 有効 switched the hotkeys on",
           !shown        ? L"no menu opened"
           : !systemMenu ? L"the tool menu opened, not the system menu"
                         : L"the hotkeys did not come back on");
}

DWORD WINAPI RunTour(void* context)
{
    Tour& tour = *static_cast<Tour*>(context);
    PrintLine(L"Tessel tour: every step is a real key press.");
    // Settings saved with the hotkeys off would leave every press silent.
    if (!HotkeysOn()) {
        MenuKeyStep(tour);
    }
    SettingsStep(tour);
    PluginCommandStep(tour);
    ProgramStep(tour);
    ToolMenuStep(tour);
    ToggleStep(tour);
    MenuKeyStep(tour);
    if (!Picture(tour, tour.hostWindow, L"minihost.bmp")) {
        PrintLine(L"The picture of the host's window could not be written.");
        ++tour.failures;
    }
    // The host unloads the plug-ins on its way out, which is when the settings are written.
    PostMessageW(tour.hostWindow, WM_CLOSE, 0, 0);
    return 0;
}

// The tour's, from its start until FinishDemoTour has waited for its thread.
Tour* runningTour;
HANDLE tourThread;

}  // namespace

bool StartDemoTour(const std::wstring& folder, HWND hostWindow)
{
    runningTour = new Tour{folder, hostWindow, 0};
    tourThread = CreateThread(nullptr, 0, RunTour, runningTour, 0, nullptr);
    return tourThread != nullptr;
}

int FinishDemoTour()
{
    if (tourThread == nullptr) {
        return 1;
    }
    WaitForSingleObject(tourThread, INFINITE);
    CloseHandle(tourThread);
    const int failures = runningTour->failures;
    delete runningTour;
    runningTour = nullptr;
    if (failures == 0) {
        PrintLine(L"Every step did what it should.");
        return 0;
    }
    PrintLine(std::to_wstring(failures) + L" step(s) failed.");
    return 1;
}
