#include "hotkeys/hotkey_window.h"

#include <climits>

#include "hotkeys/action_launcher.h"
#include "hotkeys/hotkey_table.h"
#include "hotkeys/program_scope.h"
#include "plugin/host_services.h"
#include "plugin/plugin_state.h"
#include "res/resource_ids.h"
#include "settings/settings.h"
#include "ui/settings_session.h"

int enabledFlag;

namespace {

// The settings file is looked at this often for changes made outside; two looks that agree take
// a change in, so a hand edit reaches the hotkeys within about a second.
constexpr UINT_PTR SETTINGS_WATCH_TIMER = 1;
constexpr UINT SETTINGS_WATCH_MS = 500;

bool dialogOpen;
// Set once this run has deleted what earlier runs cut short left behind, at the watch's first tick.
bool leftoversDeleted;
// Why the settings file could not be read at the last load, told as the settings open; 0 when it
// was read.
DWORD loadFailure;

// Set once the window is destroyed: work that was running inside one of its messages (a
// settings session, a launch that made the host unload the plug-in) must not touch the window
// or the live table afterwards.
bool windowDestroyed;

// An item without a virtual key is not registered but keeps its id; a combination the system
// refuses (another program holds it) leaves its items inert. Each combination is registered once,
// under the id of its first item; one that fires for none of its items' programs while the
// program in front is waits for the foreground to change.
void RegisterAll(HWND window)
{
    FollowRegistration(true);
    const int count = GetHotkeyCount(liveTable);
    for (int id = 0; id < count; ++id) {
        const HotkeyItem* item = GetHotkeyItem(liveTable, id);
        const UINT virtualKey = item->key & VIRTUAL_KEY_BITS;
        if (virtualKey != 0 && RegistersInForeground(id)) {
            RegisterHotKey(window, id, HotkeyModifiers(item->key), virtualKey);
        }
    }
}

// A press already queued names an index of the table it was registered for; once that table is
// let go, the same index may be another binding's, or the hotkeys may be off.
void DropQueuedPresses(HWND window)
{
    MSG press;
    while (PeekMessageW(&press, window, WM_HOTKEY, WM_HOTKEY, PM_REMOVE | PM_QS_POSTMESSAGE) != FALSE) {
        // removed unread
    }
}

void UnregisterAll(HWND window)
{
    FollowRegistration(false);
    const int count = GetHotkeyCount(liveTable);
    for (int id = 0; id < count; ++id) {
        UnregisterHotKey(window, id);
    }
    DropQueuedPresses(window);
}

// The host may unload the plug-in from inside a call the plug-in makes (":exit", or a host
// message dispatched by the settings dialog's loop). A reference of our own keeps the code
// mapped until that call returns; when the plug-in was unloaded meanwhile the reference is
// kept, since dropping it here would unmap the code this function returns into.
HMODULE PinLibrary()
{
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&PinLibrary), &pinned);
    return pinned;
}

void ReleaseLibrary(HMODULE pinned)
{
    if (pinned != nullptr && !windowDestroyed) {
        FreeLibrary(pinned);
    }
}

// The flag and a new live table as the file holds them. A file that could not be read is looked
// at again by the watch until it can; one too large to be read is looked at again once it changes.
void LoadSettings()
{
    liveTable = CreateHotkeyTable();
    const LoadOutcome loaded = LoadSettingsFile(liveTable);
    enabledFlag = loaded.enabled;
    pauseFullscreen = loaded.pauseFullscreen;
    loadFailure = loaded.failure;
}

LRESULT OnCreate(HWND window)
{
    windowDestroyed = false;
    dialogOpen = false;
    leftoversDeleted = false;
    StartProgramScope(window);
    LoadSettings();
    if (enabledFlag != 0) {
        RegisterAll(window);
    }
    // A message timer ends with the window: nothing of the watch outlives the library.
    SetTimer(window, SETTINGS_WATCH_TIMER, SETTINGS_WATCH_MS, nullptr);
    return 0;
}

// Another program's change (a hand edit, a second launcher) replaces the flag and the bindings,
// as the next start would read them; the file they came from stays in a copy beside it.
void TakeInOutsideChange(HWND window)
{
    if (enabledFlag != 0) {
        UnregisterAll(window);
    }
    const int bindingsBefore = GetHotkeyCount(liveTable);
    KeepSettingsBeforeReload();
    DestroyHotkeyTable(liveTable);
    LoadSettings();
    if (bindingsBefore > 0 && GetHotkeyCount(liveTable) == 0) {
        NoteReloadLeftNoBinding();
    }
    if (enabledFlag != 0) {
        RegisterAll(window);
    }
    ShowEnabledCheckMark();
}

SettingsValues LiveSettings()
{
    return {liveTable, enabledFlag, pauseFullscreen};
}

// Everything in memory was saved, or told, when it changed; a file changed outside since then is
// newer than the table and is left as it is. Bindings and flag in one save; nothing can be shown.
void SaveUnlessChangedOutside()
{
    if (!SettingsFileChangedOutside()) {
        SaveSettingsFile(LiveSettings(), SaveKind::GiveWay);
    }
}

LRESULT OnDestroy(HWND window)
{
    KillTimer(window, SETTINGS_WATCH_TIMER);
    if (enabledFlag != 0) {
        UnregisterAll(window);
    }
    StopProgramScope();
    SaveUnlessChangedOutside();
    ForgetSettingsFile();
    DestroyHotkeyTable(liveTable);
    liveTable = nullptr;
    windowDestroyed = true;
    return 0;
}

void SwitchHotkeys(HWND window, int enabled)
{
    if (enabled == enabledFlag) {
        return;
    }
    enabledFlag = enabled;
    if (enabledFlag != 0) {
        RegisterAll(window);
    } else {
        UnregisterAll(window);
    }
}

void ToggleHotkeys(HWND window)
{
    if (dialogOpen) {
        MessageBeep(0);
        return;
    }
    // A change made outside is taken in first, so that the save below does not put back the
    // bindings it replaced.
    if (SettingsChangeReadable()) {
        TakeInOutsideChange(window);
    }
    const int wanted = enabledFlag == 0 ? 1 : 0;
    SwitchHotkeys(window, wanted);
    // The host may unload the plug-in while a failure's message box runs its loop.
    const HMODULE pinned = PinLibrary();
    // A change that another program made while the switch was saved is taken in, and the switch
    // saved on it.
    const SavedChange change = wanted != 0 ? SavedChange::HotkeysOn : SavedChange::HotkeysOff;
    if (SaveTellingFailure(window, LiveSettings(), change).gaveWay && !windowDestroyed) {
        TakeInOutsideChange(window);
        SwitchHotkeys(window, wanted);
        SaveTellingFailure(window, LiveSettings(), change);
    }
    ReleaseLibrary(pinned);
}

// The session runs with every hotkey off, so no press meets a table being swapped, and with the
// library pinned: the dialogs' loops dispatch the host's messages, and the host may unload the
// plug-in meanwhile.
void OpenSettingsSession(HWND window)
{
    if (dialogOpen) {
        MessageBeep(0);
        return;
    }
    dialogOpen = true;
    if (enabledFlag != 0) {
        UnregisterAll(window);
    }
    const HMODULE pinned = PinLibrary();
    if (RunSettingsSession(window, loadFailure)) {
        SaveTellingFailure(window, LiveSettings(), SavedChange::Settings);
    }
    dialogOpen = false;
    if (!windowDestroyed && enabledFlag != 0) {
        RegisterAll(window);
    }
    ReleaseLibrary(pinned);
}

LRESULT OnEndSession(WPARAM ending)
{
    // Everything changed was saved, or told, at OK or at the toggle: nothing is shown here.
    if (ending != FALSE) {
        SaveUnlessChangedOutside();
    }
    return 0;
}

LRESULT OnCommand(HWND window, WORD commandId)
{
    switch (commandId) {
    case IDM_ENABLE:
        ToggleHotkeys(window);
        break;
    case IDM_OPTION:
        OpenSettingsSession(window);
        break;
    default:
        break;
    }
    return 0;
}

// The id names the combination's first item; the item that fires is chosen by the program in
// front, or none is and the key went on to that program.
LRESULT OnHotkey(WPARAM id)
{
    // The list box finds no record for an id beyond the table.
    const int row = id <= INT_MAX ? ChoosePressedRow(static_cast<int>(id)) : -1;
    const HotkeyItem* item = GetHotkeyItem(liveTable, row);
    if (item == nullptr) {
        return 0;
    }
    // The action may replace or free the live table (":exit" makes the host unload us), so it
    // works on copies of the texts.
    HotkeyItem pressed = *item;
    const HMODULE pinned = PinLibrary();
    LaunchAction(pressed.command, pressed.param);
    ReleaseLibrary(pinned);
    return 0;
}

LRESULT OnWatchTimer(HWND window, WPARAM timerId)
{
    if (timerId == SETTINGS_WATCH_TIMER && !leftoversDeleted) {
        leftoversDeleted = true;
        DeleteSettingsLeftovers();
    }
    // While the settings dialog is open the change waits: the dialog's OK or Cancel decides.
    if (timerId == SETTINGS_WATCH_TIMER && !dialogOpen && PollSettingsFile()) {
        TakeInOutsideChange(window);
    }
    return 0;
}

LRESULT CALLBACK HotkeyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(window);
    case WM_DESTROY:
        return OnDestroy(window);
    case WM_COMMAND:
        return OnCommand(window, LOWORD(wParam));
    case WM_HOTKEY:
        return OnHotkey(wParam);
    case WM_TIMER:
        return OnWatchTimer(window, wParam);
    case WM_QUERY_ENABLED:
        return enabledFlag;
    case WM_QUERYENDSESSION:
        return TRUE;  // a logoff is never held up
    case WM_ENDSESSION:
        return OnEndSession(wParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void ShowEnabledCheckMark()
{
    // Without the window the query yields 0, so the mark is cleared.
    const LRESULT enabled = hotkeyWindow != nullptr ? SendMessageW(hotkeyWindow, WM_QUERY_ENABLED, 0, 0) : 0;
    if (hostServices.setMenuProperty == nullptr) {
        return;
    }
    hostServices.setMenuProperty(hostPluginHandle, COMMAND_ENABLE, MENU_PROPERTY_CHECKED,
                                 enabled != 0 ? MENU_PROPERTY_CHECKED : 0);
}

void RunOwnCommand(int32_t commandId)
{
    switch (commandId) {
    case COMMAND_ENABLE:
        if (hotkeyWindow != nullptr) {
            SendMessageW(hotkeyWindow, WM_COMMAND, IDM_ENABLE, 0);
        }
        // Re-synced even when the toggle was refused during a settings session.
        ShowEnabledCheckMark();
        break;
    case COMMAND_SETTINGS:
        // Posted: the dialog runs from the host's loop after the host's call has returned.
        if (hotkeyWindow != nullptr) {
            PostMessageW(hotkeyWindow, WM_COMMAND, IDM_OPTION, 0);
        }
        break;
    default:
        break;
    }
}

HWND CreateHotkeyWindow()
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = HotkeyWindowProc;
    windowClass.hInstance = moduleInstance;
    windowClass.lpszClassName = HOTKEY_WINDOW_CLASS;
    RegisterClassW(&windowClass);
    return CreateWindowExW(WS_EX_TOPMOST, HOTKEY_WINDOW_CLASS, nullptr, 0, 0, 0, 0, 0, nullptr, nullptr,
                           moduleInstance, nullptr);
}
