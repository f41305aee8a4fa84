#include "ui/binding_check.h"

#include "base/bounded_text.h"
#include "plugin/plugin_state.h"
#include "ui/command_reference.h"

namespace {

constexpr KeyCode VIRTUAL_KEY_BITS = 0x00FF;

// No hotkey window registers on the dialogs' windows, so any id is spare there; this one is in
// the range meant for applications.
constexpr int TRIAL_HOTKEY_ID = 0xBFFF;

// The extended flag is the hot-key control's own: the system does not see it, so Page Up of the
// navigation keys and of the keypad are one combination. The Windows key takes its place.
int CombinationIndex(KeyCode key)
{
    return (key & (VIRTUAL_KEY_BITS | KEY_SHIFT | KEY_CONTROL | KEY_ALT)) | ((key & KEY_WIN) >> 1);
}

// Tessel's own commands go to its router without the host's list, so they are not looked up
// there; without a list there is nothing to tell a missing plug-in by.
BindingFault CommandFault(PluginInfo** plugins, const wchar_t* command)
{
    wchar_t fileName[TEXT_CAPACITY];
    int32_t commandId = 0;
    if (plugins == nullptr || !SplitCommandReference(command, fileName, &commandId) ||
        lstrcmpiW(fileName, pluginFileName) == 0) {
        return BINDING_NOT_TRIED;
    }
    const CommandPlace place = FindCommandReference(plugins, command);
    if (place.plugin == -1) {
        return BINDING_PLUGIN_NOT_LOADED;
    }
    return place.command == -1 ? BINDING_COMMAND_NOT_OFFERED : BINDING_NOT_TRIED;
}

// The file name as the binding writes it, which is how the user knows it.
void DescribeMissingCommand(const wchar_t* command, BindingFault fault, wchar_t* text, int capacity)
{
    wchar_t fileName[TEXT_CAPACITY] = L"";
    int32_t commandId = 0;
    SplitCommandReference(command, fileName, &commandId);
    if (fault == BINDING_PLUGIN_NOT_LOADED) {
        FormatText(text, capacity, L"プラグイン %ls は読み込まれていません", fileName);
    } else {
        FormatText(text, capacity, L"%ls にコマンド %d はありません", fileName, commandId);
    }
}

}  // namespace

int FirstRowWithCombination(HotkeyTable table, KeyCode key)
{
    const int count = GetHotkeyCount(table);
    for (int row = 0; row < count; ++row) {
        const HotkeyItem* item = GetHotkeyItem(table, row);
        if (item != nullptr && CombinationIndex(item->key) == CombinationIndex(key)) {
            return row;
        }
    }
    return -1;
}

// A later binding with a combination already seen is never registered, whatever holds the
// first one, so only the first is left to a trial. One whose command is missing still takes its
// combination, and a trial would not tell more.
BindingFault SurveyBinding(BindingSurvey* survey, PluginInfo** plugins, const HotkeyItem& item)
{
    if ((item.key & VIRTUAL_KEY_BITS) == 0) {
        return BINDING_WITHOUT_KEY;
    }
    bool& seen = survey->seen[CombinationIndex(item.key)];
    if (seen) {
        return BINDING_REPEATS_EARLIER_ROW;
    }
    seen = true;
    return CommandFault(plugins, item.command);
}

bool IsCombinationHeld(HWND window, KeyCode key)
{
    const UINT virtualKey = key & VIRTUAL_KEY_BITS;
    if (virtualKey == 0) {
        return false;
    }
    if (!RegisterHotKey(window, TRIAL_HOTKEY_ID, HotkeyModifiers(key), virtualKey)) {
        return true;
    }
    UnregisterHotKey(window, TRIAL_HOTKEY_ID);
    return false;
}

void DescribeBindingFault(HotkeyTable table, const HotkeyItem& item, BindingFault fault, wchar_t* text, int capacity)
{
    switch (fault) {
    case BINDING_FIRES:
    case BINDING_NOT_TRIED:
        CopyText(text, capacity, L"");
        return;
    case BINDING_WITHOUT_KEY:
        CopyText(text, capacity, L"キーが指定されていません");
        return;
    case BINDING_REPEATS_EARLIER_ROW:
        // Rows are counted from 1, as a user counts them.
        FormatText(text, capacity, L"%d行目と同じhotkeyです", FirstRowWithCombination(table, item.key) + 1);
        return;
    case BINDING_HELD_ELSEWHERE:
        CopyText(text, capacity, L"Windowsか他のプログラムが使用中のhotkeyです");
        return;
    case BINDING_PLUGIN_NOT_LOADED:
    case BINDING_COMMAND_NOT_OFFERED:
        DescribeMissingCommand(item.command, fault, text, capacity);
        return;
    }
}
