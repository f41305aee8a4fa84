#include "settings/settings.h"

#include <windows.h>

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "hotkeys/hotkey_table.h"
#include "settings/flag_save.h"
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
// functions delete whatever [hotkeys] is left and set the flags; the new bindings are appended as
// text to what they leave, and the whole is written, read back, parsed by the platform's reader
// and swapped in if the file is still what the save read (safe_save.h, saved_check.h). What the
// last load could not take in stays as the file has it (load_state.h). SaveOnce reads as the
// steps go.

namespace {

constexpr int NUMBER_CAPACITY = 16;
// The "name=value" line whose code page the flags' writing needs.
constexpr wchar_t FLAG_LINE[] = L"enable=0";

// The most [hotkeys] sections one save deletes; a file edited by hand holds one, rarely two.
constexpr int MAX_SECTION_DELETIONS = 1000;
// Saves over a file that keeps changing under them give up after this many tries.
constexpr int MAX_SAVE_ATTEMPTS = 4;

// What a save writes, decided once before its tries.
struct SavePlan {
    const wchar_t* path;
    const SettingsValues* values;
    const wchar_t* section;  // the bindings as text; null when [hotkeys] stays as the file has it
    bool flags;              // false when [setting] stays as the file has it
    bool keepEdits;          // a file changed outside is kept as a dated copy and saved over
};

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
// the next would come back as the bindings of the next start. A key written and deleted first
// makes the profile functions write a copy cut in half anew, in whole units: one cut in half takes
// no text after it. A file that cannot be written ends the passes, and so does their bound,
// whatever the platform does.
void DeleteHotkeysSections(SafeSave* save, bool cutInHalf)
{
    if (cutInHalf) {
        WriteWorkCopy(save, HOTKEYS_SECTION, L"item0_key", L"0");
    }
    for (int pass = 0; pass < MAX_SECTION_DELETIONS; ++pass) {
        if (!WriteWorkCopy(save, HOTKEYS_SECTION, nullptr, nullptr) || !HasHotkeysSection(save->work)) {
            break;
        }
    }
    ForgetParsedFile(save->work);
}

// A flag of [setting] as the work copy reads, an absent key reading as absent. The platform's parse
// of the copy is forgotten after every change, so this reads the disk: a disk that fills up cuts a
// file without every platform saying so.
bool FlagReads(const wchar_t* work, const wchar_t* key, int flag, int absent)
{
    return static_cast<int>(GetPrivateProfileIntW(SETTING_SECTION, key, absent, work)) == flag;
}

// The flag written into the work copy and read back from the disk; false, the reason told, when
// the copy did not take it.
bool WriteFlag(SafeSave* save, const wchar_t* key, int flag)
{
    wchar_t value[NUMBER_CAPACITY];
    FormatText(value, NUMBER_CAPACITY, L"%d", flag);
    const bool written = WriteWorkCopy(save, SETTING_SECTION, key, value);
    const DWORD reason = GetLastError();
    ForgetParsedFile(save->work);
    if (!written || !FlagReads(save->work, key, flag, flag == 0 ? 1 : 0)) {
        FailSave(save->outcome, written ? ERROR_WRITE_FAULT : reason, L"");
        return false;
    }
    return true;
}

// Each flag set in the work copy when it reads otherwise. A missing enable key is always written;
// a missing pause_fullscreen reads as its default 0 and stays missing while the pause is off.
bool SetFlags(SafeSave* save, const SettingsValues& values)
{
    const int enabled = values.enabled;
    const bool enableSet =
        FlagReads(save->work, ENABLE_KEY, enabled, enabled == 0 ? 1 : 0) || WriteFlag(save, ENABLE_KEY, enabled);
    const bool set = enableSet && (FlagReads(save->work, PAUSE_KEY, values.pauseFullscreen, 0) ||
                                   WriteFlag(save, PAUSE_KEY, values.pauseFullscreen));
    ForgetParsedFile(save->work);
    return set;
}

// A work copy that another program deleted comes back from the profile functions holding their
// change alone: the save then fails, telling so.
bool StillOwnWorkCopy(const SafeSave& save)
{
    if (IsSaveOwnWorkCopy(save)) {
        return true;
    }
    FailSave(save.outcome, ERROR_FILE_NOT_FOUND, L"");
    return false;
}

// The work copy, once the profile functions have changed it, followed by the bindings (when the
// plan writes any) as text, in the file's own encoding: a UTF-8 file, changed in UTF-16 by the
// profile functions, is written in UTF-8 again. Null, the reason told, when it cannot be made.
BYTE* FinishedFile(const SafeSave& save, const SavePlan& plan, DWORD* size)
{
    DWORD changedSize = 0;
    BYTE* changed = ReadWholeFile(save.work, &changedSize);
    BYTE* whole = changed;
    *size = changedSize;
    if (changed != nullptr && plan.section != nullptr && plan.section[0] != L'\0') {
        whole = WithSectionAppended(changed, changedSize, plan.section, size);
    }
    if (whole == nullptr) {
        FailSave(save.outcome, GetLastError(), L"");
    }
    if (whole != changed) {
        ReleaseBlock(changed);
    }
    BYTE* utf8 = whole != nullptr ? BackToUtf8(save.before, save.beforeSize, whole, *size, size) : nullptr;
    if (utf8 == nullptr) {
        return whole;
    }
    ReleaseBlock(whole);
    return utf8;
}

// The finished file as the platform's reader parses it gives the bindings saved, and the rest was
// checked in the work copy. UTF-8 is read as the load reads it, from a Unicode copy of its own.
// Every parse is forgotten: it is no file's for long.
bool ReadsAsSaved(const SafeSave& save, const SavePlan& plan, const BYTE* bytes, DWORD size)
{
    if (save.unchanged) {
        return true;
    }
    SettingsSource source = {};
    bool holds = plan.section == nullptr;
    if (!holds && OpenBytesSource(bytes, size, save.readable, &source)) {
        holds = HotkeysSectionHolds(source.path, plan.values->table);
        ForgetParsedFile(source.path);
        CloseSettingsSource(source);
    }
    ForgetParsedFile(save.readable);
    if (!holds) {
        FailSave(save.outcome, ERROR_INVALID_DATA, L"");
    }
    return holds;
}

// One try at the save over the file as found, given way to when another program changed it since
// Tessel last read or wrote it: a work copy of it, the old bindings cut off where they end it,
// claimed beside it; the profile functions' changes made in the copy; the bindings appended; the
// finished file written, read back and parsed by the platform's reader; and swapped in, the old
// file kept as the backup, provided the file is still what was found.
SwapResult SaveOnce(const SavePlan& plan, const FoundFile& found, SaveOutcome* outcome)
{
    const BYTE* before = found.bytes;
    const DWORD beforeSize = found.size;
    if (before == nullptr && !IsMissing(found.error)) {
        FailSave(outcome, found.error, L"");
        return SwapResult::Failed;
    }
    // A file that is not the one Tessel last read or wrote was changed by another program just
    // now, after the caller looked.
    const bool edited = before != nullptr && !IsRememberedSettingsFile(found.stamp, before, beforeSize);
    if (edited && !plan.keepEdits && SettingsFileRemembered()) {
        return SwapResult::ChangedOutside;
    }
    // A form of the file that keeps every text through the profile functions.
    DWORD readySize = 0;
    BYTE* ready = ProfileReadyBytes(before, beforeSize, plan.section != nullptr ? plan.section : FLAG_LINE, &readySize);
    if (ready == nullptr) {
        FailSave(outcome, GetLastError(), L"");
        return SwapResult::Failed;
    }
    // The old bindings end the file, as the last save left them: cut off here, they leave the
    // profile functions a small file, and no [hotkeys] to delete unless another header may name it.
    const SectionScan scan =
        plan.section != nullptr ? ScanSections(ready, readySize, HOTKEYS_SECTION) : SectionScan{readySize, false};
    const bool cutInHalf =
        plan.section != nullptr && plan.section[0] != L'\0' && IsUnicodeCutInHalf(ready, scan.trailingStart);
    SafeSave save = {};
    BYTE* finished = nullptr;
    DWORD finishedSize = 0;
    SwapResult result = SwapResult::Failed;
    if (BeginSafeSave(&save, outcome, plan.path, before, beforeSize, found.stamp, ready, scan.trailingStart)) {
        if (scan.mayNameEarlier) {
            DeleteHotkeysSections(&save, cutInHalf);
        }
        if ((!plan.flags || SetFlags(&save, *plan.values)) && StillOwnWorkCopy(save) &&
            (finished = FinishedFile(save, plan, &finishedSize)) != nullptr &&
            WriteSwapFile(&save, finished, finishedSize) && ReadsAsSaved(save, plan, finished, finishedSize)) {
            result = SwapIn(&save, edited && plan.keepEdits);
        }
    }
    if (result == SwapResult::Saved) {
        NoteSavedBytes(finished, finishedSize, save.savedStamp);
    }
    // Whatever the road, the profile functions let go of the work copy they parsed: its name never
    // comes back, and their cache would keep the parse.
    if (save.work != nullptr) {
        ForgetParsedFile(save.work);
    }
    EndSafeSave(&save);
    ReleaseBlock(finished);
    ReleaseBlock(ready);
    return result;
}

// The whole save, tried again while another program changes the file under it when edits are
// kept, else given way to at once.
SaveOutcome SaveWhole(const SettingsValues& values, bool keepEdits)
{
    SaveOutcome outcome = {};
    const bool bindings = !bindingsIncomplete;
    const bool flags = !flagNotLoaded;
    if (!bindings && !flags) {
        outcome.saved = true;  // nothing may be written
        return outcome;
    }
    wchar_t* path = NewSettingsPath();
    const DWORD pathError = GetLastError();
    wchar_t* section = bindings ? FormatHotkeysSection(values.table) : nullptr;
    // The first try saves over the file as this reading found it.
    FoundFile found = path != nullptr ? ReadFoundFile(path) : FoundFile{};
    SwapResult result = SwapResult::Failed;
    if (path == nullptr || (bindings && section == nullptr)) {
        FailSave(&outcome, path == nullptr ? pathError : ERROR_NOT_ENOUGH_MEMORY, L"");
    } else if (NothingToSave(path, found, values, section, flags)) {
        NoteNothingSaved();
        result = SwapResult::Saved;
    } else if (bindings && !TableHasStoredForm(values.table)) {
        FailSave(&outcome, SAVE_TEXT_NOT_STORABLE, L"");
    } else if (IsMarkedReadOnly(path)) {
        FailSave(&outcome, ERROR_ACCESS_DENIED, L"");
        outcome.readOnlyMark = true;
    } else {
        const SavePlan plan = {path, &values, section, flags, keepEdits};
        for (int attempt = 1;; ++attempt) {
            result = SaveOnce(plan, found, &outcome);
            if (result != SwapResult::ChangedOutside || !keepEdits || attempt == MAX_SAVE_ATTEMPTS) {
                break;
            }
            ReleaseBlock(found.bytes);
            found = ReadFoundFile(path);
        }
    }
    if (result == SwapResult::ChangedOutside) {
        outcome.gaveWay = !keepEdits;
        FailSave(&outcome, SAVE_KEPT_CHANGING, L"");
    }
    outcome.saved = result == SwapResult::Saved;
    tableInFile = outcome.saved || !bindings;
    ReleaseBlock(found.bytes);
    ReleaseBlock(section);
    ReleaseBlock(path);
    return outcome;
}

}  // namespace

SaveOutcome SaveSettingsFile(const SettingsValues& values, SaveKind kind)
{
    if (kind == SaveKind::Switch) {
        SaveOutcome outcome = {};
        if (SaveSwitchInPlace(values, &outcome)) {
            return outcome;
        }
    }
    return SaveWhole(values, kind == SaveKind::KeepEdits);
}
