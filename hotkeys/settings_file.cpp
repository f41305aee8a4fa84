#include "hotkeys/settings_file.h"

#include <windows.h>
#include <shlwapi.h>

#include <cwchar>

#include "hotkeys/hotkey_table.h"
#include "hotkeys/hotkey_window.h"
#include "hotkeys/hotkeys_section.h"
#include "hotkeys/profile_text.h"
#include "hotkeys/settings_encoding.h"
#include "plugin/plugin_state.h"

// The [hotkeys] section is read with one call and written with one call: key by key, the
// private-profile functions reread or rewrite the whole file for every key, which made loading
// and saving a thousand bindings take seconds on the host's user-interface thread. The reading
// below gives each key the value the key-by-key functions would give it. A platform may cap what
// one call reads or writes, so both are checked key by key at their end and done key by key
// when the check fails.

namespace {

constexpr wchar_t SETTING_SECTION[] = L"setting";
constexpr wchar_t ENABLE_KEY[] = L"enable";
constexpr wchar_t HOTKEYS_SECTION[] = L"hotkeys";
constexpr int NUMBER_CAPACITY = 16;
// A text in the form that reads back exactly: the text, a pair of quotes and the terminator.
constexpr int STORED_VALUE_CAPACITY = TEXT_CAPACITY + 2;
// "item<index>_command=" for the largest index, the stored value and the terminator, and the
// same for the key and the parameter.
constexpr int NAME_CAPACITY = 32;
constexpr int SAVED_ITEM_CAPACITY = 3 * (NAME_CAPACITY + STORED_VALUE_CAPACITY);
// Opening a settings file that another program holds is tried this often, this far apart.
constexpr int OPEN_ATTEMPTS = 10;
constexpr DWORD OPEN_RETRY_MS = 100;

// The most [hotkeys] sections one save deletes; a file edited by hand holds one, rarely two.
constexpr int MAX_SECTION_DELETIONS = 1000;

// Set when the stored bindings could not all be taken into the table (the file could not be
// read, or no memory): the save then leaves the file's [hotkeys] as they are rather than
// replacing them with the part that loaded.
bool bindingsIncomplete;
// Set when the file exists but could not be read: the stored flag stays as it is too.
bool flagNotLoaded;

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

void* AllocateZeroed(SIZE_T bytes)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
}

void Release(void* block)
{
    if (block != nullptr) {
        HeapFree(GetProcessHeap(), 0, block);
    }
}

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

// A file that exists but cannot be opened (held by another program, a folder in its place)
// reads as no file at all through the profile functions; it is told apart here. Another program
// holding it briefly is waited for, about a second in all.
bool SettingsFileUnreadable(const wchar_t* path)
{
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return true;
    }
    for (int attempt = 1;; ++attempt) {
        const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return false;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            return false;
        }
        if (attempt == OPEN_ATTEMPTS) {
            return true;
        }
        Sleep(OPEN_RETRY_MS);
    }
}

void FormatItemName(wchar_t* name, int index, const wchar_t* field)
{
    FormatText(name, NAME_CAPACITY, L"item%d_%ls", index, field);
}

KeyCode ReadItemKey(const wchar_t* path, int index)
{
    wchar_t name[NAME_CAPACITY];
    FormatItemName(name, index, L"key");
    return static_cast<KeyCode>(GetPrivateProfileIntW(HOTKEYS_SECTION, name, 0, path));
}

// The item at index as the key-by-key reading finds it; false when its key reads 0.
bool ReadItemKeyByKey(const wchar_t* path, int index, HotkeyItem* item)
{
    wchar_t name[NAME_CAPACITY];
    item->key = ReadItemKey(path, index);
    FormatItemName(name, index, L"command");
    GetPrivateProfileStringW(HOTKEYS_SECTION, name, L"", item->command, TEXT_CAPACITY, path);
    FormatItemName(name, index, L"param");
    GetPrivateProfileStringW(HOTKEYS_SECTION, name, L"", item->param, TEXT_CAPACITY, path);
    return item->key != 0;
}

// Unit for unit: the locale's comparison takes some different texts for equal, which would let a
// cut that dropped such a unit pass unseen.
bool SameItem(const HotkeyItem& left, const HotkeyItem& right)
{
    return left.key == right.key && std::wcscmp(left.command, right.command) == 0 &&
           std::wcscmp(left.param, right.param) == 0;
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
    const int lines = CountSectionLines(section);
    auto** values = static_cast<const wchar_t**>(
        AllocateZeroed((static_cast<SIZE_T>(lines) + 1) * FIELD_COUNT * sizeof(const wchar_t*)));
    bool complete = values != nullptr;
    if (complete) {
        IndexSection(section, lines, values);
        const int before = GetHotkeyCount(liveTable);
        int taken = 0;
        HotkeyItem item;
        for (int index = 0; index < lines; ++index) {
            const wchar_t** fields = values + static_cast<SIZE_T>(index) * FIELD_COUNT;
            item.key = static_cast<KeyCode>(ReadProfileInteger(ValueOrEmpty(fields[FIELD_KEY])));
            if (item.key == 0) {
                break;
            }
            CopyProfileValue(item.command, TEXT_CAPACITY, ValueOrEmpty(fields[FIELD_COMMAND]));
            CopyProfileValue(item.param, TEXT_CAPACITY, ValueOrEmpty(fields[FIELD_PARAM]));
            // An entry with an empty command is kept: the user stored it, and dropping it would
            // shift the ids of every later entry.
            AppendHotkeyItem(liveTable, &item);
            ++taken;
        }
        // An entry the table refused shows in the count at the end; asking after every entry
        // would cost two more list box messages a binding.
        complete = GetHotkeyCount(liveTable) - before == taken;
        Release(values);
    }
    Release(section);
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
    HotkeyItem item;
    return count == 0 || (ReadItemKeyByKey(path, count - 1, &item) && SameItem(item, *GetHotkeyItem(liveTable, count - 1)));
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

// "name=value" lines for the table, each value in the form that reads back exactly, the list
// closed by a second terminator; null when there is no memory.
wchar_t* FormatSection(int count)
{
    const SIZE_T capacity = static_cast<SIZE_T>(count) * SAVED_ITEM_CAPACITY + 1;
    auto* section = static_cast<wchar_t*>(AllocateZeroed(capacity * sizeof(wchar_t)));
    if (section == nullptr) {
        return nullptr;
    }
    wchar_t* line = section;
    const wchar_t* const end = section + capacity - 1;  // the list's closing terminator stays
    wchar_t value[STORED_VALUE_CAPACITY];
    for (int index = 0; index < count; ++index) {
        const HotkeyItem* item = GetHotkeyItem(liveTable, index);
        FormatText(line, static_cast<int>(end - line), L"item%d_key=%u", index, static_cast<unsigned>(item->key));
        line += TextLength(line) + 1;
        StoredProfileValue(value, TEXT_CAPACITY, item->command);
        FormatText(line, static_cast<int>(end - line), L"item%d_command=%ls", index, value);
        line += TextLength(line) + 1;
        StoredProfileValue(value, TEXT_CAPACITY, item->param);
        FormatText(line, static_cast<int>(end - line), L"item%d_param=%ls", index, value);
        line += TextLength(line) + 1;
    }
    return section;
}

// A platform may write only part of a section given in one call; the last entry then does not
// read back as what was written.
bool LastEntryReadsBack(const wchar_t* path, int count)
{
    const HotkeyItem* last = GetHotkeyItem(liveTable, count - 1);
    HotkeyItem expected;
    expected.key = last->key;
    wchar_t value[STORED_VALUE_CAPACITY];
    StoredProfileValue(value, TEXT_CAPACITY, last->command);
    CopyProfileValue(expected.command, TEXT_CAPACITY, value);
    StoredProfileValue(value, TEXT_CAPACITY, last->param);
    CopyProfileValue(expected.param, TEXT_CAPACITY, value);
    HotkeyItem stored;
    return ReadItemKeyByKey(path, count - 1, &stored) && SameItem(stored, expected);
}

// The lines of FormatSection, each written on its own.
void WriteKeyByKey(const wchar_t* path, wchar_t* section)
{
    for (wchar_t* line = section; *line != L'\0';) {
        wchar_t* next = line + TextLength(line) + 1;
        wchar_t* separator = StrChrW(line, L'=');
        *separator = L'\0';
        WritePrivateProfileStringW(HOTKEYS_SECTION, line, separator + 1, path);
        line = next;
    }
}

}  // namespace

void LoadEnabledFlag()
{
    wchar_t path[TEXT_CAPACITY];
    const bool located = GetSettingsPath(path);
    flagNotLoaded = located && SettingsFileUnreadable(path);
    enabledFlag = located && !flagNotLoaded ? static_cast<int>(GetPrivateProfileIntW(SETTING_SECTION, ENABLE_KEY, 1, path)) : 1;
}

void SaveEnabledFlag()
{
    wchar_t path[TEXT_CAPACITY];
    if (flagNotLoaded || !GetSettingsPath(path) || !PrepareSettingsFile(path, L"enable=0\0")) {
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
        bindingsIncomplete = false;
        return;
    }
    // Once the flag could not be read, the bindings are not waited for a second time.
    bindingsIncomplete = flagNotLoaded || SettingsFileUnreadable(path);
    if (bindingsIncomplete) {
        return;
    }
    bindingsIncomplete = !LoadFromSection(path);
    if (!bindingsIncomplete && !LoadedWholeSection(path)) {
        ClearHotkeyTable(liveTable);
        bindingsIncomplete = !LoadKeyByKey(path);
    }
}

void SaveHotkeyItems()
{
    wchar_t path[TEXT_CAPACITY];
    if (bindingsIncomplete || !GetSettingsPath(path)) {
        return;
    }
    const int count = GetHotkeyCount(liveTable);
    wchar_t* section = FormatSection(count);
    // Without memory, or in a file that cannot take the texts unaltered, the file keeps the
    // bindings of the last save rather than losing them.
    if (section == nullptr || !PrepareSettingsFile(path, section)) {
        Release(section);
        return;
    }
    // Deleting first puts the rewritten section at the end of the file, where writing key by key
    // would put it; an empty table leaves no section at all.
    DeleteHotkeysSections(path);
    if (count > 0 && (!WritePrivateProfileSectionW(HOTKEYS_SECTION, section, path) || !LastEntryReadsBack(path, count))) {
        WriteKeyByKey(path, section);
    }
    Release(section);
}
