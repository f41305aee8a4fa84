#include "hotkeys/hotkey_window.h"

#include <climits>

#include "base/heap_block.h"
#include "hotkeys/action_launcher.h"
#include "hotkeys/hotkey_table.h"
#include "settings/kept_copies.h"
#include "settings/safe_save.h"
#include "settings/settings_file.h"
#include "settings/settings_source.h"
#include "settings/settings_watch.h"
#include "plugin/command_router.h"
#include "plugin/host_services.h"
#include "plugin/plugin_state.h"
#include "res/resource_ids.h"
#include "ui/settings_dialog.h"

int enabledFlag;

namespace {

// The settings file is looked at this often for changes made outside; two looks that agree take
// a change in, so a hand edit reaches the hotkeys within about a second.
constexpr UINT_PTR SETTINGS_WATCH_TIMER = 1;
constexpr UINT SETTINGS_WATCH_MS = 500;

constexpr wchar_t MESSAGE_CAPTION[] = L"Tessel";
constexpr wchar_t NOT_SAVED[] = L"設定ファイルを保存できませんでした。";
constexpr wchar_t NOT_READ[] = L"設定ファイルを読み込めなかったため、設定の変更は保存されません。";
// Room in a message for its headline and the system's reason, besides the file's path.
constexpr int REASON_CAPACITY = 512;
constexpr wchar_t EDITED_MEANWHILE[] = L"設定の画面を開いている間に、設定ファイルがほかのプログラムで変更されました。変更された内容は次のファイルに残しました。";
constexpr wchar_t EDIT_KEPT[] = L"設定の画面で OK を押した設定を保存しました。";

bool dialogOpen;

// Set once the window is destroyed: work that was running inside one of its messages (a
// settings session, a launch that made the host unload the plug-in) must not touch the window
// or the live table afterwards.
bool windowDestroyed;

// An item without a virtual key is not registered but keeps its id; a combination the system
// refuses (another program holds it) leaves that item inert.
void RegisterAll(HWND window)
{
    const int count = GetHotkeyCount(liveTable);
    for (int id = 0; id < count; ++id) {
        const KeyCode key = GetHotkeyItem(liveTable, id)->key;
        const UINT virtualKey = key & 0xFF;
        if (virtualKey != 0) {
            RegisterHotKey(window, id, HotkeyModifiers(key), virtualKey);
        }
    }
}

void UnregisterAll(HWND window)
{
    const int count = GetHotkeyCount(liveTable);
    for (int id = 0; id < count; ++id) {
        UnregisterHotKey(window, id);
    }
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
// at again by the watch until it can.
void LoadSettings()
{
    LoadEnabledFlag();
    liveTable = CreateHotkeyTable();
    LoadHotkeyItems();
    if (SettingsLoadedWhole()) {
        RememberSettingsFile();
    } else {
        ForgetSettingsFile();
    }
}

// Tells the user about the settings file: the headline, the file's full path with the suffix
// (".bak" names the backup, ".<date>.kept" a kept copy), and the detail. The host may unload the
// plug-in while the message box runs its loop.
void ShowSettingsFileMessage(HWND owner, const wchar_t* headline, const wchar_t* suffix, const wchar_t* detail,
                             UINT icon)
{
    wchar_t* path = NewSettingsFileName();
    const int capacity = TextLength(path) + 3 * REASON_CAPACITY;
    auto* text = static_cast<wchar_t*>(AllocateBlock(capacity * sizeof(wchar_t)));
    if (text != nullptr) {
        FormatText(text, capacity, L"%ls\n\n%ls%ls\n\n%ls", headline, path != nullptr ? path : L"", suffix, detail);
        const HMODULE pinned = PinLibrary();
        MessageBoxW(owner, text, MESSAGE_CAPTION, MB_OK | icon);
        ReleaseLibrary(pinned);
    }
    ReleaseBlock(text);
    ReleaseBlock(path);
}

// What failed, with the system's reason; suffix names the file that refused.
void ShowSettingsFileProblem(HWND owner, const wchar_t* headline, const wchar_t* suffix, DWORD reason)
{
    wchar_t explanation[REASON_CAPACITY];
    if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, reason, 0, explanation,
                       REASON_CAPACITY, nullptr) == 0) {
        FormatText(explanation, REASON_CAPACITY, L"エラー %lu", reason);
    }
    ShowSettingsFileMessage(owner, headline, suffix, explanation, MB_ICONWARNING);
}

// Saved at once when the user confirms a change or switches the hotkeys, so that a host that
// dies later loses nothing; a failure is told, and the change stays live all the same: the next
// moment saves it again rather than the watch replacing it with the file. A save that gave way to
// another program's change is not told: the caller takes the change in. True when saved.
bool SaveTellingFailure(HWND window, bool keepingEdits)
{
    const bool saved = keepingEdits ? SaveSettingsFileKeepingEdits() : SaveSettingsFile();
    if (saved && SettingsLoadedWhole()) {
        RememberSavedSettingsFile();
    }
    if (!saved && !SaveGaveWayToOutsideChange()) {
        ShowSettingsFileProblem(window, NOT_SAVED, SaveFailureSuffix(), SaveFailureReason());
    }
    return saved;
}

// The file changed outside while the dialog was open, or while OK saved: the dialog's bindings
// were saved over it, and a dated copy holds the change.
void TellEditKept(HWND window)
{
    ShowSettingsFileMessage(window, EDITED_MEANWHILE, LastKeptCopySuffix(), EDIT_KEPT, MB_ICONINFORMATION);
}

// A file that could not be read at start is not written in this run: said as the dialog opens.
// False when the plug-in was unloaded meanwhile.
bool TellUnreadSettings(HWND window)
{
    if (SettingsLoadFailure() != ERROR_SUCCESS) {
        ShowSettingsFileProblem(window, NOT_READ, L"", SettingsLoadFailure());
    }
    return !windowDestroyed;
}

LRESULT OnCreate(HWND window)
{
    windowDestroyed = false;
    dialogOpen = false;
    LoadSettings();
    if (enabledFlag != 0) {
        RegisterAll(window);
    }
    // A message timer ends with the window: nothing of the watch outlives the library.
    SetTimer(window, SETTINGS_WATCH_TIMER, SETTINGS_WATCH_MS, nullptr);
    return 0;
}

// Another program's change (a hand edit, a second launcher) replaces the flag and the bindings,
// as the next start would read them.
void TakeInOutsideChange(HWND window)
{
    if (enabledFlag != 0) {
        UnregisterAll(window);
    }
    DestroyHotkeyTable(liveTable);
    LoadSettings();
    if (enabledFlag != 0) {
        RegisterAll(window);
    }
    ShowEnabledCheckMark();
}

// Everything in memory was saved, or told, when it changed; a file changed outside since then is
// newer than the table and is left as it is. Bindings and flag in one save; nothing can be shown.
void SaveUnlessChangedOutside()
{
    if (!SettingsFileChangedOutside()) {
        SaveSettingsFile();
    }
}

LRESULT OnDestroy(HWND window)
{
    KillTimer(window, SETTINGS_WATCH_TIMER);
    if (enabledFlag != 0) {
        UnregisterAll(window);
    }
    SaveUnlessChangedOutside();
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
    // A change that another program made while the switch was saved is taken in, and the switch
    // saved on it.
    if (!SaveTellingFailure(window, false) && SaveGaveWayToOutsideChange()) {
        TakeInOutsideChange(window);
        SwitchHotkeys(window, wanted);
        SaveTellingFailure(window, false);
    }
}

// A copy that lost entries for want of memory or window handles would drop them on OK.
bool IsWholeCopy(HotkeyTable copy)
{
    return copy != nullptr && GetHotkeyCount(copy) == GetHotkeyCount(liveTable);
}

void RunSettingsSession(HWND window)
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
    // A host without the plug-in list still gets the dialog; references then show as errors.
    PluginInfo** plugins = hostServices.getAllPluginInfo != nullptr ? hostServices.getAllPluginInfo() : nullptr;
    SettingsContext context = {plugins, CloneHotkeyTable()};
    INT_PTR result = IDCANCEL;
    if (!IsWholeCopy(context.workTable)) {
        MessageBeep(0);
    } else if (TellUnreadSettings(window)) {
        result = DialogBoxParamW(moduleInstance, MAKEINTRESOURCEW(IDD_SETTINGS), window, SettingsDialogProc,
                                 reinterpret_cast<LPARAM>(&context));
    }
    if (result == IDOK && !windowDestroyed) {
        DestroyHotkeyTable(liveTable);
        liveTable = context.workTable;
        if (SaveTellingFailure(window, true) && LastKeptCopySuffix()[0] != L'\0') {
            TellEditKept(window);
        }
    } else {
        // A change made outside meanwhile is taken in by the watch once the dialog has closed.
        DestroyHotkeyTable(context.workTable);
    }
    if (plugins != nullptr && hostServices.freePluginInfoArray != nullptr) {
        hostServices.freePluginInfoArray(plugins);
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
        RunSettingsSession(window);
        break;
    default:
        break;
    }
    return 0;
}

LRESULT OnHotkey(WPARAM id)
{
    // The list box finds no record for an id beyond the table.
    const HotkeyItem* item = id <= INT_MAX ? GetHotkeyItem(liveTable, static_cast<int>(id)) : nullptr;
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
