#include "settings/flag_save.h"

#include <windows.h>

#include "base/heap_block.h"
#include "settings/flag_line.h"
#include "settings/load_state.h"
#include "settings/nothing_to_save.h"
#include "settings/safe_save.h"
#include "settings/setting_keys.h"
#include "settings/settings_source.h"
#include "settings/settings_watch.h"

// A switch of the hotkeys changes the enable value's number alone, through the whole save's steps
// (a work file of its own, the check, the swap only over the file read). Wherever that cannot be
// done for sure, the whole save does it.

namespace {

// The finished file, as the load will read it, holds both flags saved: UTF-8 from a Unicode copy of
// its own.
bool ReadsFlags(const SafeSave& save, const SettingsValues& values, const BYTE* bytes, DWORD size)
{
    if (save.unchanged) {
        return true;
    }
    SettingsSource source = {};
    bool holds = false;
    if (OpenBytesSource(bytes, size, save.readable, &source)) {
        holds = FlagsReadAs(source.path, values);
        ForgetParsedFile(source.path);
        CloseSettingsSource(source);
    }
    ForgetParsedFile(save.readable);
    return holds;
}

// A file another program holds is left to the whole save, which waits for it and tells.
bool ReadableAtOnce(const wchar_t* path)
{
    const HANDLE file = OpenSharedForReading(path);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

// The file, when it is the one Tessel last read or wrote, with its enable value switched in place.
SwapResult SwitchInPlace(const wchar_t* path, const SettingsValues& values, SaveOutcome* outcome)
{
    DWORD beforeSize = 0;
    FileStamp stamp = {};
    BYTE* before = ReadableAtOnce(path) ? ReadWholeFile(path, &beforeSize, &stamp) : nullptr;
    DWORD size = 0;
    BYTE* changed = before != nullptr && IsRememberedSettingsFile(stamp, before, beforeSize) &&
                            !IsMarkedReadOnly(path)
                        ? WithFlagInPlace(before, beforeSize, ENABLE_KEY, values.enabled, &size)
                        : nullptr;
    SwapResult result = SwapResult::Failed;
    if (changed != nullptr) {
        SafeSave save = {};
        if (BeginSafeSave(&save, outcome, path, before, beforeSize, stamp, changed, size) &&
            WriteSwapFile(&save, changed, size) && ReadsFlags(save, values, changed, size)) {
            result = SwapIn(&save, false);
        }
        if (result == SwapResult::Saved) {
            NoteSavedBytes(changed, size, save.savedStamp);
        }
        EndSafeSave(&save);
    }
    ReleaseBlock(changed);
    ReleaseBlock(before);
    return result;
}

}  // namespace

bool SaveSwitchInPlace(const SettingsValues& values, SaveOutcome* outcome)
{
    wchar_t* path = tableInFile ? NewSettingsPath() : nullptr;
    outcome->saved = path != nullptr && SwitchInPlace(path, values, outcome) == SwapResult::Saved;
    ReleaseBlock(path);
    return outcome->saved;
}
