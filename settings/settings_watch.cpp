#include "settings/settings.h"

#include <windows.h>

#include "base/heap_block.h"
#include "settings/safe_save.h"
#include "settings/settings_source.h"
#include "settings/settings_watch.h"

namespace {

bool rememberedKnown;
FileStamp remembered;
// The differing stamp the previous poll saw, if any.
bool pendingKnown;
FileStamp pending;

FileStamp CurrentStamp()
{
    FileStamp stamp = {};
    wchar_t* path = NewSettingsPath();
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path != nullptr && GetFileAttributesExW(path, GetFileExInfoStandard, &data)) {
        stamp.exists = true;
        stamp.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        stamp.written = data.ftLastWriteTime;
    }
    ReleaseBlock(path);
    return stamp;
}

// A file another program still holds without sharing, or a folder in its place, waits for the
// next poll rather than being taken for an empty file.
bool ReadableNow()
{
    wchar_t* path = NewSettingsPath();
    const HANDLE file = path == nullptr ? INVALID_HANDLE_VALUE
                                        : CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ReleaseBlock(path);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information;
    const bool isFile = GetFileInformationByHandle(file, &information) &&
                        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    CloseHandle(file);
    return isFile;
}

// A file that went away is no change to take in: the bindings in memory are what the next save
// puts back, rather than an empty table.
bool DiffersFromRemembered(const FileStamp& now)
{
    return now.exists && (!rememberedKnown || !SameStamp(now, remembered));
}

}  // namespace

void RememberSettingsFile()
{
    remembered = CurrentStamp();
    rememberedKnown = true;
    pendingKnown = false;
}

void RememberSavedSettingsFile()
{
    remembered = SavedFileStamp();
    rememberedKnown = true;
    pendingKnown = false;
}

bool SettingsFileRemembered()
{
    return rememberedKnown;
}

bool IsRememberedSettingsFile(const FileStamp& stamp)
{
    return rememberedKnown && SameStamp(stamp, remembered);
}

void ForgetSettingsFile()
{
    rememberedKnown = false;
    pendingKnown = false;
}

bool SettingsFileChangedOutside()
{
    return DiffersFromRemembered(CurrentStamp());
}

bool SettingsChangeReadable()
{
    return SettingsFileChangedOutside() && ReadableNow();
}

bool PollSettingsFile()
{
    const FileStamp now = CurrentStamp();
    if (!DiffersFromRemembered(now)) {
        pendingKnown = false;
        return false;
    }
    const bool settled = pendingKnown && SameStamp(now, pending);
    pending = now;
    pendingKnown = true;
    return settled && ReadableNow();
}
