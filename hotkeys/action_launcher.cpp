#include "hotkeys/action_launcher.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include "base/system_libraries.h"
#include "hotkeys/hotkey_window.h"
#include "plugin/host_services.h"
#include "plugin/plugin_state.h"

namespace {

// Room for a 259-unit directory, the backslash, a 259-unit command and the terminator.
constexpr int JOINED_PATH_CAPACITY = 2 * TEXT_CAPACITY;

// The cursor position as the host's menu message carries it: x in bits 0-15, y in bits 16-31,
// each cut to 16 bits; the tool menu is asked for with bit 31.
LPARAM CursorMenuPosition(bool toolMenu)
{
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    uint32_t position = (static_cast<uint32_t>(cursor.x) & 0xFFFF) | ((static_cast<uint32_t>(cursor.y) & 0xFFFF) << 16);
    if (toolMenu) {
        position |= 0x80000000u;
    }
    return static_cast<LPARAM>(position);
}

bool RunColonCommand(const wchar_t* command)
{
    if (hostMainWindow == nullptr || !IsWindow(hostMainWindow)) {
        return false;
    }
    if (lstrcmpiW(command, L":exit") == 0) {
        SendMessageW(hostMainWindow, WM_CLOSE, 0, 0);
        return true;
    }
    if (lstrcmpiW(command, L":systemmenu") == 0) {
        SendMessageW(hostMainWindow, WM_CONTEXTMENU, 0, CursorMenuPosition(false));
        return true;
    }
    if (lstrcmpiW(command, L":toolmenu") == 0) {
        SendMessageW(hostMainWindow, WM_CONTEXTMENU, 0, CursorMenuPosition(true));
        return true;
    }
    return false;
}

// The text is cut at its first bar: the file name before it, the command id after it.
void RunCommandReference(wchar_t* reference)
{
    wchar_t* bar = StrChrW(reference, L'|');
    if (bar == nullptr) {
        return;
    }
    *bar = L'\0';
    const int32_t commandId = StrToIntW(bar + 1);
    if (hostServices.executeCommand == nullptr) {
        return;
    }
    if (lstrcmpiW(reference, pluginFileName) == 0) {
        RunOwnCommand(commandId);
        return;
    }
    hostServices.executeCommand(reference, commandId);
}

// A relative program that the shell cannot find is looked for once more in the host's folder.
// Without the shell's library nothing can be opened, and the press is answered with a beep.
void OpenWithShell(const wchar_t* command, const wchar_t* param)
{
    const ShellExecuteFunction shellExecute = LoadShellExecute();
    if (shellExecute == nullptr) {
        MessageBeep(0);
        return;
    }
    const auto opened = reinterpret_cast<INT_PTR>(shellExecute(nullptr, nullptr, command, param, nullptr, SW_SHOWNORMAL));
    if (opened > 32) {
        return;
    }
    wchar_t hostFolder[TEXT_CAPACITY];
    const DWORD length = GetModuleFileNameW(nullptr, hostFolder, TEXT_CAPACITY);
    if (length == 0 || length >= static_cast<DWORD>(TEXT_CAPACITY)) {
        return;
    }
    PathRemoveFileSpecW(hostFolder);
    wchar_t joined[JOINED_PATH_CAPACITY];
    FormatText(joined, JOINED_PATH_CAPACITY, L"%ls\\%ls", hostFolder, command);
    shellExecute(nullptr, nullptr, joined, param, nullptr, SW_SHOWNORMAL);
}

}  // namespace

void LaunchAction(const wchar_t* command, const wchar_t* param)
{
    wchar_t text[TEXT_CAPACITY];
    CopyText(text, TEXT_CAPACITY, command);
    if (StrChrW(text, L'|') != nullptr) {
        RunCommandReference(text);
        return;
    }
    if (text[0] == L':' && RunColonCommand(text)) {
        return;
    }
    if (text[0] == L'\0') {
        return;
    }
    OpenWithShell(text, param);
}
