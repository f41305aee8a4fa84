#include "settings/settings.h"

#include <windows.h>

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "base/text_cursor.h"
#include "hotkeys/hotkey_table.h"
#include "hotkeys/hotkey_window.h"
#include "hotkeys/program_scope.h"
#include "settings/flag_line.h"
#include "settings/hotkeys_section.h"
#include "settings/kept_copies.h"
#include "settings/private_copy.h"
#include "settings/safe_save.h"
#include "settings/saved_check.h"
#include "settings/section_append.h"
#include "settings/section_text.h"
#include "settings/settings_encoding.h"
#include "settings/settings_source.h"
#include "settings/settings_watch.h"
#include "settings/stored_items.h"
#include "settings/work_files.h"
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
// text to what they leave, and the whole is written, read back, parsed by the platform's reader
// and swapped in if the file is still what the save read (safe_save.h, saved_check.h). The
// load reads the file itself, or a private copy of it when the profile functions cannot be trusted
// with it: a UTF-8 file (read in the ANSI code page, or with its mark joining the first line) or a
// path longer than they take.

namespace {

constexpr wchar_t SETTING_SECTION[] = L"setting";
constexpr wchar_t ENABLE_KEY[] = L"enable";
constexpr wchar_t PAUSE_KEY[] = L"pause_fullscreen";
constexpr int NUMBER_CAPACITY = 16;
// The "name=value" line whose code page the flag's writing needs.
constexpr wchar_t FLAG_LINE[] = L"enable=0";

// The most [hotkeys] sections one save deletes; a file edited by hand holds one, rarely two.
constexpr int MAX_SECTION_DELETIONS = 1000;
// Saves over a file that keeps changing under them give up after this many tries.
constexpr int MAX_SAVE_ATTEMPTS = 4;

// Set when the stored bindings could not all be taken into the table (the file could not be
// read, or no memory): the save then leaves the file's [hotkeys] as they are rather than
// replacing them with the part that loaded.
bool bindingsIncomplete;
// Set when the file exists but could not be read: the stored flag stays as it is too.
bool flagNotLoaded;
// Set while the file holds the live table's bindings as far as a save knows.
bool tableInFile;
// Set when the last save gave way to a change another program made meanwhile.
bool yieldedToOutsideChange;

bool HasHotkeysSection(const wchar_t* path)
{
    wchar_t probe[4];
    return GetPrivateProfileSectionW(HOTKEYS_SECTION, probe, ARRAYSIZE(probe), path) > 0;
}

// The profile functions' writing of the work copy. The copy is held open so that nothing deletes
// it meanwhile; a platform whose profile functions refuse a file held open gets it let go and is
// asked once more.
bool WriteWorkCopy(SafeSave* save, const wchar_t* section, const wchar_t* key, const wchar_t* value)
{
    if (WritePrivateProfileStringW(section, key, value, save->work) != FALSE) {
        return true;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION && ReleaseWorkCopy(save) &&
           WritePrivateProfileStringW(section, key, value, save->work) != FALSE;
}

// A file edited by hand may hold [hotkeys] more than once, and a deletion removes only the first:
// the next would come back as the bindings of the next start. A file that cannot be written ends
// the passes, and so does their bound, whatever the platform does.
void DeleteHotkeysSections(SafeSave* save)
{
    for (int pass = 0; pass < MAX_SECTION_DELETIONS; ++pass) {
        if (!WriteWorkCopy(save, HOTKEYS_SECTION, nullptr, nullptr) || !HasHotkeysSection(save->work)) {
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

// A flag of [setting] as the work copy reads, an absent key reading as absent. The platform's parse
// of the copy is forgotten after every change, so this reads the disk: a disk that fills up cuts a
// file without every platform saying so.
bool FlagReads(const wchar_t* work, const wchar_t* key, int flag, int absent)
{
    return static_cast<int>(GetPrivateProfileIntW(SETTING_SECTION, key, absent, work)) == flag;
}

// The flag written into the work copy and read back from the disk; false, with the reason in
// error, when the copy did not take it.
bool WriteFlag(SafeSave* save, const wchar_t* key, int flag, DWORD* error)
{
    const wchar_t* work = save->work;
    wchar_t value[NUMBER_CAPACITY];
    FormatText(value, NUMBER_CAPACITY, L"%d", flag);
    const bool written = WriteWorkCopy(save, SETTING_SECTION, key, value);
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
bool SetFlags(SafeSave* save, DWORD* error)
{
    const bool enableSet = FlagReads(save->work, ENABLE_KEY, enabledFlag, enabledFlag == 0 ? 1 : 0) ||
                           WriteFlag(save, ENABLE_KEY, enabledFlag, error);
    return enableSet && (FlagReads(save->work, PAUSE_KEY, pauseFullscreen, 0) ||
                         WriteFlag(save, PAUSE_KEY, pauseFullscreen, error));
}

// Any [hotkeys] left in the work copy deleted (when sectionsLeft) and the flag set (when flag and
// the copy reads otherwise); false, with the reason in error, when the copy did not take them or
// is no longer the save's own file (one that went away comes back from the profile functions
// holding their change alone). The platform's parse of the copy is forgotten after each change
// and after each reading.
bool ChangeWorkCopy(SafeSave* save, bool sectionsLeft, bool cutInHalf, bool flag, DWORD* error)
{
    *error = ERROR_SUCCESS;
    const wchar_t* work = save->work;
    if (sectionsLeft) {
        // A key written and deleted makes the profile functions write the copy anew, in whole
        // units: one cut in half takes no text after it.
        if (cutInHalf) {
            WriteWorkCopy(save, HOTKEYS_SECTION, L"item0_key", L"0");
        }
        DeleteHotkeysSections(save);
        ForgetParsedFile(work);
    }
    bool changed = !flag || SetFlags(save, error);
    ForgetParsedFile(work);
    if (changed && !IsSaveOwnWorkCopy(*save)) {
        changed = false;
        *error = ERROR_FILE_NOT_FOUND;
    }
    return changed;
}

// The finished file as the platform's reader parses it gives the bindings saved (when section),
// and the rest was checked in the work copy. Its parse is forgotten: it is no file's for long.
bool ReadsAsSaved(const SafeSave& save, const wchar_t* section)
{
    const bool holds = save.unchanged || section == nullptr || HotkeysSectionHolds(save.readable, liveTable);
    if (!save.unchanged) {
        ForgetParsedFile(save.readable);
    }
    return holds;
}

void NoteSavedIfSo(SwapResult result, const BYTE* bytes, DWORD size)
{
    if (result == SwapResult::Saved) {
        NoteSavedBytes(bytes, size);
    }
}

// The work copy, once the profile functions have changed it, followed by the bindings (when
// section holds any) as text, becomes the file, provided the reader finds in it what was saved.
SwapResult FinishSave(SafeSave* save, const wchar_t* section, bool sectionsLeft, bool cutInHalf, bool flag,
                      bool keepReplaced)
{
    DWORD error = ERROR_SUCCESS;
    if (!ChangeWorkCopy(save, sectionsLeft, cutInHalf, flag, &error)) {
        FailSave(error, L"");
        return SwapResult::Failed;
    }
    DWORD size = 0;
    BYTE* changed = ReadWholeFile(save->work, &size);
    BYTE* whole = changed;
    DWORD wholeSize = size;
    if (changed != nullptr && section != nullptr && section[0] != L'\0') {
        whole = WithSectionAppended(changed, size, section, &wholeSize);
    }
    SwapResult result = SwapResult::Failed;
    if (whole == nullptr) {
        FailSave(GetLastError(), L"");
    } else if (WriteSwapFile(save, whole, wholeSize)) {
        if (ReadsAsSaved(*save, section)) {
            result = SwapIn(save, keepReplaced);
            NoteSavedIfSo(result, whole, wholeSize);
        } else {
            FailSave(ERROR_INVALID_DATA, L"");
        }
    }
    if (whole != changed) {
        ReleaseBlock(whole);
    }
    ReleaseBlock(changed);
    return result;
}

// The file as it is now, in a form that keeps every text, changed in a work copy and swapped in.
// With keepEdits a file that is not the one Tessel last read or wrote is kept as a dated copy
// before it is replaced.
SwapResult SaveThroughWorkCopy(const wchar_t* path, const wchar_t* section, bool flag, bool keepEdits)
{
    DWORD beforeSize = 0;
    FileStamp stamp = {};
    BYTE* before = ReadWholeFile(path, &beforeSize, &stamp);
    if (before == nullptr && !IsMissing(GetLastError())) {
        FailSave(GetLastError(), L"");
        return SwapResult::Failed;
    }
    DWORD readySize = 0;
    BYTE* ready = ProfileReadyBytes(before, beforeSize, section != nullptr ? section : FLAG_LINE, &readySize);
    SwapResult result = SwapResult::Failed;
    if (ready == nullptr) {
        FailSave(ERROR_NOT_ENOUGH_MEMORY, L"");
    } else {
        // The old bindings end the file, as the last save left them: cut off here, they leave the
        // profile functions a small file, and no [hotkeys] to delete unless another header may
        // name it.
        const SectionScan scan =
            section != nullptr ? ScanSections(ready, readySize, HOTKEYS_SECTION) : SectionScan{readySize, false};
        // A file that is not the one Tessel last read or wrote was changed by another program
        // just now, after the caller looked.
        const bool edited = before != nullptr && !IsRememberedSettingsFile(stamp, before, beforeSize);
        SafeSave save = {};
        if (!keepEdits && edited && SettingsFileRemembered()) {
            result = SwapResult::ChangedOutside;
        } else if (BeginSafeSave(&save, path, before, beforeSize, stamp, ready, scan.trailingStart)) {
            const bool cutInHalf = section != nullptr && section[0] != L'\0' && IsUnicodeCutInHalf(ready, scan.trailingStart);
            result = FinishSave(&save, section, scan.mayNameEarlier, cutInHalf, flag, keepEdits && edited);
        }
        // Whatever the road, the profile functions let go of the work copy they parsed: its name
        // never comes back, and their cache would keep the parse.
        if (save.work != nullptr) {
            ForgetParsedFile(save.work);
        }
        EndSafeSave(&save);
    }
    ReleaseBlock(ready);
    ReleaseBlock(before);
    return result;
}

// One save of the bindings and the flag. What the load could not read stays as the file has it:
// a save that may write nothing succeeds at once. A file changed by another program since the save
// read it is given way to, or, with keepEdits, kept as a dated copy and saved over.
bool SaveSettings(bool keepEdits)
{
    yieldedToOutsideChange = false;
    ForgetKeptCopy();
    const bool bindings = !bindingsIncomplete;
    const bool flag = !flagNotLoaded;
    if (!bindings && !flag) {
        return true;
    }
    wchar_t* path = NewSettingsPath();
    wchar_t* section = bindings ? FormatHotkeysSection(liveTable) : nullptr;
    SwapResult result = SwapResult::Failed;
    if (path == nullptr || (bindings && section == nullptr)) {
        FailSave(ERROR_NOT_ENOUGH_MEMORY, L"");
    } else if (IsMarkedReadOnly(path)) {
        FailSave(ERROR_ACCESS_DENIED, L"");
    } else {
        for (int attempt = 0; attempt < MAX_SAVE_ATTEMPTS; ++attempt) {
            result = SaveThroughWorkCopy(path, section, flag, keepEdits);
            if (result != SwapResult::ChangedOutside || !keepEdits) {
                break;
            }
        }
    }
    if (result == SwapResult::ChangedOutside) {
        yieldedToOutsideChange = !keepEdits;
        FailSave(ERROR_SHARING_VIOLATION, L"");
    }
    tableInFile = result == SwapResult::Saved || !bindings;
    ReleaseBlock(section);
    ReleaseBlock(path);
    return result == SwapResult::Saved;
}

}  // namespace

void LoadEnabledFlag()
{
    wchar_t* path = NewSettingsPath();
    if (path != nullptr) {
        DeleteStrayWorkFiles(path);
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
    tableInFile = true;
    CloseSettingsSource(source);
    ReleaseBlock(path);
}

bool TableIsInFile()
{
    return tableInFile;
}

bool SaveSettingsFile()
{
    return SaveSettings(false);
}

bool SaveSettingsFileKeepingEdits()
{
    return SaveSettings(true);
}

bool SaveGaveWayToOutsideChange()
{
    return yieldedToOutsideChange;
}

bool SettingsLoadedWhole()
{
    return !flagNotLoaded && !bindingsIncomplete;
}
