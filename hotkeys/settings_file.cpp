#include "hotkeys/settings_file.h"

#include <windows.h>
#include <shlwapi.h>

#include <climits>

#include "hotkeys/hotkey_table.h"
#include "hotkeys/hotkey_window.h"
#include "plugin/plugin_state.h"

namespace {

constexpr wchar_t SETTING_SECTION[] = L"setting";
constexpr wchar_t ENABLE_KEY[] = L"enable";
constexpr wchar_t HOTKEYS_SECTION[] = L"hotkeys";
constexpr int KEY_NAME_CAPACITY = 32;
constexpr int NUMBER_CAPACITY = 16;

// The library's own path with ".ini" for its extension, derived afresh on every use. A path that
// does not fit the buffer is refused rather than cut, so nothing is written to a wrong file.
bool GetSettingsPath(wchar_t* path)
{
    const DWORD length = GetModuleFileNameW(moduleInstance, path, TEXT_CAPACITY);
    if (length == 0 || length >= static_cast<DWORD>(TEXT_CAPACITY)) {
        return false;
    }
    return PathRenameExtensionW(path, L".ini") != FALSE;
}

void FormatKeyName(wchar_t* name, int index, const wchar_t* field)
{
    FormatText(name, KEY_NAME_CAPACITY, L"item%d_%ls", index, field);
}

}  // namespace

void LoadEnabledFlag()
{
    wchar_t path[TEXT_CAPACITY];
    enabledFlag = GetSettingsPath(path) ? static_cast<int>(GetPrivateProfileIntW(SETTING_SECTION, ENABLE_KEY, 1, path)) : 1;
}

void SaveEnabledFlag()
{
    wchar_t path[TEXT_CAPACITY];
    if (!GetSettingsPath(path)) {
        return;
    }
    wchar_t value[NUMBER_CAPACITY];
    FormatText(value, NUMBER_CAPACITY, L"%d", enabledFlag);
    WritePrivateProfileStringW(SETTING_SECTION, ENABLE_KEY, value, path);
}

void LoadHotkeyItems()
{
    wchar_t path[TEXT_CAPACITY];
    if (!GetSettingsPath(path)) {
        return;
    }
    wchar_t name[KEY_NAME_CAPACITY];
    HotkeyItem item;
    for (int index = 0; index < INT_MAX; ++index) {
        FormatKeyName(name, index, L"key");
        item.key = static_cast<KeyCode>(GetPrivateProfileIntW(HOTKEYS_SECTION, name, 0, path));
        FormatKeyName(name, index, L"command");
        GetPrivateProfileStringW(HOTKEYS_SECTION, name, L"", item.command, TEXT_CAPACITY, path);
        FormatKeyName(name, index, L"param");
        GetPrivateProfileStringW(HOTKEYS_SECTION, name, L"", item.param, TEXT_CAPACITY, path);
        if (item.key == 0) {
            break;
        }
        // An entry with an empty command is kept: the user stored it, and dropping it would shift
        // the ids of every later entry.
        AppendHotkeyItem(liveTable, &item);
    }
}

void SaveHotkeyItems()
{
    wchar_t path[TEXT_CAPACITY];
    if (!GetSettingsPath(path)) {
        return;
    }
    WritePrivateProfileStringW(HOTKEYS_SECTION, nullptr, nullptr, path);
    wchar_t name[KEY_NAME_CAPACITY];
    wchar_t value[NUMBER_CAPACITY];
    const int count = GetHotkeyCount(liveTable);
    for (int index = 0; index < count; ++index) {
        const HotkeyItem* item = GetHotkeyItem(liveTable, index);
        FormatKeyName(name, index, L"key");
        FormatText(value, NUMBER_CAPACITY, L"%u", static_cast<unsigned>(item->key));
        WritePrivateProfileStringW(HOTKEYS_SECTION, name, value, path);
        FormatKeyName(name, index, L"command");
        WritePrivateProfileStringW(HOTKEYS_SECTION, name, item->command, path);
        FormatKeyName(name, index, L"param");
        WritePrivateProfileStringW(HOTKEYS_SECTION, name, item->param, path);
    }
}
