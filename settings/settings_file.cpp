#include "settings/settings.h"

#include <windows.h>

#include "base/heap_block.h"
#include "base/text_cursor.h"
#include "hotkeys/hotkey_table.h"
#include "hotkeys/hotkey_window.h"
#include "hotkeys/program_scope.h"
#include "settings/hotkeys_section.h"
#include "settings/private_copy.h"
#include "settings/profile_text.h"
#include "settings/safe_save.h"
#include "settings/section_append.h"
#include "settings/settings_encoding.h"
#include "settings/settings_source.h"
#include "settings/stored_items.h"
#include "plugin/plugin_state.h"

// The [hotkeys] section is read with one call and written as one piece of text: key by key, the
// private-profile functions reread or rewrite the whole file for every key, which made loading
// and saving a thousand bindings take seconds on the host's user-interface thread. The reading
// below gives each key the value the key-by-key functions would give it. A platform may cap what
// one call reads, so a reading is checked key by key at its end and done key by key when the
// check fails.
//
// Every save builds the new file from the old one: the old bindings are cut off where they end the
// file, as the last save left them, and the rest goes to a small work copy, where the profile
// functions delete whatever [hotkeys] is left and set the flag; the new bindings are appended as
// text to what they leave, and the whole is written, read back and swapped in (safe_save.h). The
// load reads the file itself, or a private copy of it when the profile functions cannot be trusted
// with it: a UTF-8 file (read in the ANSI code page, or with its mark joining the first line) or a
// path longer than they take.

namespace {

constexpr wchar_t SETTING_SECTION[] = L"setting";
constexpr wchar_t ENABLE_KEY[] = L"enable";
constexpr wchar_t PAUSE_KEY[] = L"pause_fullscreen";
constexpr int NUMBER_CAPACITY = 16;
// A text in the form that reads back exactly: the text, a pair of quotes and the terminator.
constexpr int STORED_VALUE_CAPACITY = TEXT_CAPACITY + 2;
// "item<index>_command=" for the largest index, the stored value and the line break, and the
// same for the key, the parameter and the two program lists.
constexpr int SAVED_ITEM_CAPACITY = FIELD_COUNT * (ITEM_NAME_CAPACITY + STORED_VALUE_CAPACITY);
// "[hotkeys]" and its line break.
constexpr int SECTION_HEADER_CAPACITY = 16;
// The "name=value" line whose code page the flag's writing needs.
constexpr wchar_t FLAG_LINE[] = L"enable=0";

// The most [hotkeys] sections one save deletes; a file edited by hand holds one, rarely two.
constexpr int MAX_SECTION_DELETIONS = 1000;

// Set when the stored bindings could not all be taken into the table (the file could not be
// read, or no memory): the save then leaves the file's [hotkeys] as they are rather than
// replacing them with the part that loaded.
bool bindingsIncomplete;
// Set when the file exists but could not be read: the stored flag stays as it is too.
bool flagNotLoaded;

bool HasHotkeysSection(const wchar_t* path)
{
    wchar_t probe[4];
    return GetPrivateProfileSectionW(HOTKEYS_SECTION, probe, ARRAYSIZE(probe), path) > 0;
}

// A file edited by hand may hold [hotkeys] more than once, and a deletion removes only the first:
// the next would come back as the bindings of the next start. A file that cannot be written ends
// the passes, and so does their bound, whatever the platform does.
void DeleteHotkeysSections(const wchar_t* path)
{
    for (int pass = 0; pass < MAX_SECTION_DELETIONS; ++pass) {
        if (!WritePrivateProfileStringW(HOTKEYS_SECTION, nullptr, nullptr, path) || !HasHotkeysSection(path)) {
            return;
        }
    }
}

// Appends the item; false when the table refused it.
bool AppendToLiveTable(const HotkeyItem& item)
{
    const int count = GetHotkeyCount(liveTable);
    AppendHotkeyItem(liveTable, &item);
    return GetHotkeyCount(liveTable) > count;
}

// The section read in one call. False when not all of it could be taken for want of memory.
bool LoadFromSection(const wchar_t* path)
{
    wchar_t* section = ReadHotkeysSection(path);
    if (section == nullptr) {
        return false;
    }
    int lines = 0;
    const wchar_t** values = IndexedSection(section, &lines);
    bool complete = values != nullptr;
    if (complete) {
        const int before = GetHotkeyCount(liveTable);
        int taken = 0;
        HotkeyItem item;
        for (int index = 0; index < lines; ++index) {
            ReadItemFields(values + static_cast<SIZE_T>(index) * FIELD_COUNT, &item);
            if (item.key == 0) {
                break;
            }
            // An entry with an empty command is kept: the user stored it, and dropping it would
            // shift the ids of every later entry.
            AppendHotkeyItem(liveTable, &item);
            ++taken;
        }
        // An entry the table refused shows in the count at the end; asking after every entry
        // would cost two more list box messages a binding.
        complete = GetHotkeyCount(liveTable) - before == taken;
        ReleaseBlock(values);
    }
    ReleaseBlock(section);
    return complete;
}

// A platform may cap the section it hands out in one call. What loaded is whole when the reading
// key by key agrees at its end: the entry after it is absent and its last entry reads the same.
// Each reading parses the whole file, so the entry after it is asked only for its key.
bool LoadedWholeSection(const wchar_t* path)
{
    const int count = GetHotkeyCount(liveTable);
    if (ReadItemKey(path, count) != 0) {
        return false;
    }
    return count == 0 || LastEntryReads(path, count, *GetHotkeyItem(liveTable, count - 1));
}

bool LoadKeyByKey(const wchar_t* path)
{
    bool complete = true;
    HotkeyItem item;
    for (int index = 0; ReadItemKeyByKey(path, index, &item); ++index) {
        complete = AppendToLiveTable(item) && complete;
    }
    return complete;
}

// "item<index>_<field>=value" and its line break.
void PutLine(TextCursor* out, int index, const wchar_t* field, const wchar_t* value)
{
    Put(out, L"item");
    PutNumber(out, static_cast<unsigned>(index));
    Put(out, field);
    Put(out, value);
    Put(out, L"\r\n");
}

// The key's line, its value in decimal.
void PutKeyLine(TextCursor* out, int index, KeyCode key)
{
    wchar_t value[NUMBER_CAPACITY] = {};
    TextCursor digits = {value, value + NUMBER_CAPACITY - 1};
    PutNumber(&digits, key);
    PutLine(out, index, L"_key=", value);
}

// A program list's line; an empty list has none, so a file of bindings without lists is saved as
// before they existed.
void PutListLine(TextCursor* out, int index, const wchar_t* field, const wchar_t* list, wchar_t* value)
{
    if (list[0] != L'\0') {
        StoredProfileValue(value, TEXT_CAPACITY, list);
        PutLine(out, index, field, value);
    }
}

// The [hotkeys] section as text: its header, then a "name=value" line for each field of every
// binding, each value in the form that reads back exactly, each line ended by CR LF. Formatted
// by hand: a formatting call for each of thousands of lines cost more than the rest of the save.
// Empty for an empty table; null when there is no memory.
wchar_t* FormatSection(int count)
{
    const SIZE_T capacity = SECTION_HEADER_CAPACITY + static_cast<SIZE_T>(count) * SAVED_ITEM_CAPACITY + 1;
    auto* section = static_cast<wchar_t*>(AllocateBlock(capacity * sizeof(wchar_t)));
    if (section == nullptr || count == 0) {
        return section;
    }
    TextCursor out = {section, section + capacity - 1};  // the terminator stays
    Put(&out, L"[");
    Put(&out, HOTKEYS_SECTION);
    Put(&out, L"]\r\n");
    wchar_t value[STORED_VALUE_CAPACITY];
    for (int index = 0; index < count; ++index) {
        const HotkeyItem* item = GetHotkeyItem(liveTable, index);
        PutKeyLine(&out, index, item->key);
        StoredProfileValue(value, TEXT_CAPACITY, item->command);
        PutLine(&out, index, L"_command=", value);
        StoredProfileValue(value, TEXT_CAPACITY, item->param);
        PutLine(&out, index, L"_param=", value);
        PutListLine(&out, index, L"_only=", item->only, value);
        PutListLine(&out, index, L"_except=", item->except, value);
    }
    return section;
}

// A flag of [setting] as the work copy reads, an absent key reading as absent. The platform's parse
// of the copy is forgotten after every change, so this reads the disk: a disk that fills up cuts a
// file without every platform saying so.
bool FlagReads(const wchar_t* work, const wchar_t* key, int flag, int absent)
{
    return static_cast<int>(GetPrivateProfileIntW(SETTING_SECTION, key, absent, work)) == flag;
}

// The flag written into the work copy and read back from the disk; false, with the reason in
// error, when the copy did not take it.
bool WriteFlag(const wchar_t* work, const wchar_t* key, int flag, DWORD* error)
{
    wchar_t value[NUMBER_CAPACITY];
    FormatText(value, NUMBER_CAPACITY, L"%d", flag);
    const bool written = WritePrivateProfileStringW(SETTING_SECTION, key, value, work) != FALSE;
    const DWORD reason = GetLastError();
    ForgetParsedFile(work);
    if (!written) {
        *error = reason != ERROR_SUCCESS ? reason : ERROR_WRITE_FAULT;
    } else if (!FlagReads(work, key, flag, flag == 0 ? 1 : 0)) {
        *error = ERROR_WRITE_FAULT;
    }
    return *error == ERROR_SUCCESS;
}

// The flag set in the work copy when it reads otherwise. A missing enable key is always written;
// a missing pause_fullscreen reads as its default 0 and stays missing while the pause is off.
bool SetFlags(const wchar_t* work, DWORD* error)
{
    const bool enableSet = FlagReads(work, ENABLE_KEY, enabledFlag, enabledFlag == 0 ? 1 : 0) ||
                           WriteFlag(work, ENABLE_KEY, enabledFlag, error);
    return enableSet && (FlagReads(work, PAUSE_KEY, pauseFullscreen, 0) ||
                         WriteFlag(work, PAUSE_KEY, pauseFullscreen, error));
}

// Any [hotkeys] left in the work copy deleted (when sectionsLeft) and the flag set (when flag and
// the copy reads otherwise); false, with the reason in error, when the copy did not take them.
// The platform's parse of the copy is forgotten after each change and after each reading, so that
// the next work copy of the same name, written within the same tick of the clock, is never read
// from it.
bool ChangeWorkCopy(const wchar_t* work, bool sectionsLeft, bool flag, DWORD* error)
{
    *error = ERROR_SUCCESS;
    if (sectionsLeft) {
        DeleteHotkeysSections(work);
        ForgetParsedFile(work);
    }
    if (!flag) {
        return true;
    }
    const bool set = SetFlags(work, error);
    ForgetParsedFile(work);
    return set;
}

// The work copy, once the profile functions have changed it, followed by the bindings (when
// section holds any) as text, becomes the file.
bool FinishSave(const wchar_t* path, const wchar_t* work, const wchar_t* section, bool sectionsLeft, bool flag,
                const BYTE* before, DWORD beforeSize)
{
    DWORD error = ERROR_SUCCESS;
    if (!ChangeWorkCopy(work, sectionsLeft, flag, &error)) {
        AbandonSafeSave(work, error);
        return false;
    }
    DWORD size = 0;
    BYTE* changed = ReadWholeFile(work, &size);
    BYTE* whole = changed;
    DWORD wholeSize = size;
    if (changed != nullptr && section != nullptr && section[0] != L'\0') {
        whole = WithSectionAppended(changed, size, section, &wholeSize);
    }
    bool saved = false;
    if (whole == nullptr) {
        AbandonSafeSave(work, GetLastError());
    } else {
        saved = CommitSafeSave(path, work, whole, wholeSize, before, beforeSize);
    }
    if (whole != changed) {
        ReleaseBlock(whole);
    }
    ReleaseBlock(changed);
    return saved;
}

// The file as it is now, in a form that keeps every text, changed in a work copy and swapped in.
bool SaveThroughWorkCopy(const wchar_t* path, const wchar_t* section, bool flag)
{
    DWORD beforeSize = 0;
    BYTE* before = ReadWholeFile(path, &beforeSize);
    if (before == nullptr && !IsMissing(GetLastError())) {
        AbandonSafeSave(nullptr, GetLastError());
        return false;
    }
    DWORD readySize = 0;
    BYTE* ready = ProfileReadyBytes(before, beforeSize, section != nullptr ? section : FLAG_LINE, &readySize);
    bool saved = false;
    if (ready == nullptr) {
        AbandonSafeSave(nullptr, ERROR_NOT_ENOUGH_MEMORY);
    } else {
        wchar_t work[MAX_PATH];
        // The old bindings end the file, as the last save left them: cut off here, they leave the
        // profile functions a small file, and no [hotkeys] to delete unless another header may
        // name it.
        const SectionScan scan =
            section != nullptr ? ScanSections(ready, readySize, HOTKEYS_SECTION) : SectionScan{readySize, false};
        saved = BeginSafeSave(path, ready, scan.trailingStart, work) &&
                FinishSave(path, work, section, scan.mayNameEarlier, flag, before, beforeSize);
    }
    ReleaseBlock(ready);
    ReleaseBlock(before);
    return saved;
}

// One save of the bindings and the flag. What the load could not read stays as the file has it:
// a save that may write nothing succeeds at once.
bool SaveSettings()
{
    const bool bindings = !bindingsIncomplete;
    const bool flag = !flagNotLoaded;
    if (!bindings && !flag) {
        return true;
    }
    wchar_t* path = NewSettingsPath();
    wchar_t* section = bindings ? FormatSection(GetHotkeyCount(liveTable)) : nullptr;
    bool saved = false;
    if (path == nullptr || (bindings && section == nullptr)) {
        AbandonSafeSave(nullptr, ERROR_NOT_ENOUGH_MEMORY);
    } else {
        saved = SaveThroughWorkCopy(path, section, flag);
    }
    ReleaseBlock(section);
    ReleaseBlock(path);
    return saved;
}

}  // namespace

void LoadEnabledFlag()
{
    wchar_t* path = NewSettingsPath();
    if (path != nullptr) {
        DeleteStrayWorkCopy(path);
        DeleteLeftoverPrivateCopies();
        // Another program may have written the file within the tick of the clock that the
        // profile functions' parsed copy carries.
        ForgetParsedFile(path);
    }
    SettingsSource source;
    flagNotLoaded = !OpenSettingsSource(path, &source);
    enabledFlag = source.found ? static_cast<int>(GetPrivateProfileIntW(SETTING_SECTION, ENABLE_KEY, 1, source.path)) : 1;
    pauseFullscreen =
        source.found ? static_cast<int>(GetPrivateProfileIntW(SETTING_SECTION, PAUSE_KEY, 0, source.path)) : 0;
    CloseSettingsSource(source);
    ReleaseBlock(path);
}

void LoadHotkeyItems()
{
    // Once the flag could not be read, the file is not waited for a second time.
    if (flagNotLoaded) {
        bindingsIncomplete = true;
        return;
    }
    wchar_t* path = NewSettingsPath();
    SettingsSource source;
    bindingsIncomplete = !OpenSettingsSource(path, &source);
    if (source.found) {
        bindingsIncomplete = !LoadFromSection(source.path);
        if (!bindingsIncomplete && !LoadedWholeSection(source.path)) {
            ClearHotkeyTable(liveTable);
            bindingsIncomplete = !LoadKeyByKey(source.path);
        }
    }
    CloseSettingsSource(source);
    ReleaseBlock(path);
}

bool SaveSettingsFile()
{
    return SaveSettings();
}

bool SettingsLoadedWhole()
{
    return !flagNotLoaded && !bindingsIncomplete;
}
