#include "settings/settings.h"

#include <windows.h>

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "hotkeys/hotkey_table.h"
#include "hotkeys/hotkey_window.h"
#include "hotkeys/program_scope.h"
#include "settings/hotkeys_section.h"
#include "settings/kept_copies.h"
#include "settings/load_state.h"
#include "settings/nothing_to_save.h"
#include "settings/safe_save.h"
#include "settings/saved_check.h"
#include "settings/section_append.h"
#include "settings/section_text.h"
#include "settings/setting_keys.h"
#include "settings/settings_encoding.h"
#include "settings/settings_source.h"
#include "settings/settings_watch.h"

// The [hotkeys] section is written as one piece of text: key by key, the private-profile
// functions rewrite the whole file for every key, which made saving a thousand bindings take
// seconds on the host's user-interface thread (the load reads it in one call, settings_load.cpp).
//
// Every save builds the new file from the old one: the old bindings are cut off where they end the
// file, as the last save left them, and the rest goes to a small work copy, where the profile
// functions delete whatever [hotkeys] is left and set the flag; the new bindings are appended as
// text to what they leave, and the whole is written, read back, parsed by the platform's reader
// and swapped in if the file is still what the save read (safe_save.h, saved_check.h). What the
// last load could not take in stays as the file has it (load_state.h).

namespace {

constexpr int NUMBER_CAPACITY = 16;
// The "name=value" line whose code page the flag's writing needs.
constexpr wchar_t FLAG_LINE[] = L"enable=0";

// The most [hotkeys] sections one save deletes; a file edited by hand holds one, rarely two.
constexpr int MAX_SECTION_DELETIONS = 1000;
// Saves over a file that keeps changing under them give up after this many tries.
constexpr int MAX_SAVE_ATTEMPTS = 4;

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
// and the rest was checked in the work copy. UTF-8 is read as the load reads it, from a Unicode
// copy of its own. Every parse is forgotten: it is no file's for long.
bool ReadsAsSaved(const SafeSave& save, const wchar_t* section, const BYTE* bytes, DWORD size)
{
    if (save.unchanged) {
        return true;
    }
    SettingsSource source = {};
    bool holds = section == nullptr;
    if (!holds && OpenBytesSource(bytes, size, save.readable, &source)) {
        holds = HotkeysSectionHolds(source.path, liveTable);
        ForgetParsedFile(source.path);
        CloseSettingsSource(source);
    }
    ForgetParsedFile(save.readable);
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
        ReleaseBlock(changed);
        return result;
    }
    // A UTF-8 file, changed in UTF-16 by the profile functions, is written in UTF-8 again.
    DWORD outSize = wholeSize;
    BYTE* utf8 = BackToUtf8(save->before, save->beforeSize, whole, wholeSize, &outSize);
    const BYTE* out = utf8 != nullptr ? utf8 : whole;
    if (WriteSwapFile(save, out, outSize)) {
        if (ReadsAsSaved(*save, section, out, outSize)) {
            result = SwapIn(save, keepReplaced);
            NoteSavedIfSo(result, out, outSize);
        } else {
            FailSave(ERROR_INVALID_DATA, L"");
        }
    }
    ReleaseBlock(utf8);
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
        FailSave(GetLastError(), L"");
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
// a save that may write nothing succeeds at once, and so does one whose file holds all of it
// already. A file changed by another program since the save read it is given way to, or, with
// keepEdits, kept as a dated copy and saved over.
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
    const DWORD pathError = GetLastError();
    wchar_t* section = bindings ? FormatHotkeysSection(liveTable) : nullptr;
    SwapResult result = SwapResult::Failed;
    if (path == nullptr || (bindings && section == nullptr)) {
        FailSave(path == nullptr ? pathError : ERROR_NOT_ENOUGH_MEMORY, L"");
    } else if (NothingToSave(path, section, flag)) {
        NoteNothingSaved();
        result = SwapResult::Saved;
    } else if (bindings && !TableHasStoredForm(liveTable)) {
        FailSave(SAVE_TEXT_NOT_STORABLE, L"");
    } else if (IsMarkedReadOnly(path)) {
        FailSaveOnReadOnlyMark();
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
        FailSave(SAVE_KEPT_CHANGING, L"");
    }
    tableInFile = result == SwapResult::Saved || !bindings;
    ReleaseBlock(section);
    ReleaseBlock(path);
    return result == SwapResult::Saved;
}

}  // namespace

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
