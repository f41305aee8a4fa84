#include "settings/settings.h"

#include <windows.h>

#include <cstring>

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "settings/kept_copies.h"
#include "settings/load_state.h"
#include "settings/safe_save.h"
#include "settings/settings_source.h"
#include "settings/settings_watch.h"

namespace {

// On a file system whose times have whole seconds (or two), an edit within the tick of Tessel's
// own write, or a copy that keeps an old time, shows no new stamp: the watch then looks at the
// content, but only every few polls, so that an idle watch stays at an attribute query.
constexpr int COARSE_LOOK_POLLS = 4;
constexpr ULONGLONG TICKS_PER_SECOND = 10000000;

bool rememberedKnown;
FileStamp remembered;
// The bytes Tessel last read or wrote, when it knows them: what a same-stamp file is compared
// with, and what is kept before a hand edit replaces the table.
BYTE* rememberedBytes;
DWORD rememberedSize;
// What the last save that succeeded put in the file's place, until it is remembered.
BYTE* savedBytes;
DWORD savedSize;
FileStamp savedStamp;
// Set when the last save that succeeded wrote nothing: the file is still the one noted.
bool savedNothing;
// Set once a file of the remembered stamp was found to hold other bytes.
bool contentChanged;
int pollsSinceLook;
// The silent copy kept before the last reload, and the told copy of a reload that left no binding,
// until told.
wchar_t keptBeforeReload[SUFFIX_CAPACITY];
wchar_t keptBeforeEmptying[SUFFIX_CAPACITY];
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

// The file opened for reading as any other program may still write or delete it; an invalid
// handle when it cannot be opened now.
HANDLE OpenForReading()
{
    wchar_t* path = NewSettingsPath();
    const HANDLE file = path == nullptr ? INVALID_HANDLE_VALUE : OpenSharedForReading(path);
    ReleaseBlock(path);
    return file;
}

// A file another program still holds without sharing, or a folder in its place, waits for the
// next poll rather than being taken for an empty file.
bool ReadableNow()
{
    const HANDLE file = OpenForReading();
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information;
    const bool isFile = GetFileInformationByHandle(file, &information) &&
                        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    CloseHandle(file);
    return isFile;
}

void ForgetContent()
{
    ReleaseBlock(rememberedBytes);
    rememberedBytes = nullptr;
    rememberedSize = 0;
    contentChanged = false;
    pollsSinceLook = 0;
}

// False only when the file is readable at once and holds other bytes than the remembered ones;
// a file held by another program, or bytes Tessel does not know, tell nothing.
bool HoldsRememberedBytes()
{
    if (rememberedBytes == nullptr) {
        return true;
    }
    const HANDLE file = OpenForReading();
    if (file == INVALID_HANDLE_VALUE) {
        return true;
    }
    DWORD error = ERROR_SUCCESS;
    const bool same = CompareFileBytes(file, rememberedBytes, rememberedSize, &error) != HeldBytes::Different;
    CloseHandle(file);
    return same;
}

// A time without a part below the second comes from a file system (or a copy) whose times cannot
// tell two writes within a second apart.
bool IsCoarse(const FILETIME& written)
{
    const ULONGLONG ticks = (static_cast<ULONGLONG>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    return ticks % TICKS_PER_SECOND == 0;
}

// A file that went away is no change to take in: the bindings in memory are what the next save
// puts back, rather than an empty table. The content is compared when the stamps agree and
// lookAtContent asks for it.
bool DiffersFromRemembered(const FileStamp& now, bool lookAtContent)
{
    if (!now.exists) {
        return false;
    }
    if (!rememberedKnown || !SameStamp(now, remembered)) {
        return true;
    }
    if (!contentChanged && lookAtContent) {
        contentChanged = !HoldsRememberedBytes();
    }
    return contentChanged;
}

// At a poll the content is looked at only for coarse times, every few polls.
bool PollLooksAtContent(const FileStamp& now)
{
    if (!IsCoarse(now.written) || ++pollsSinceLook < COARSE_LOOK_POLLS) {
        return false;
    }
    pollsSinceLook = 0;
    return true;
}

}  // namespace

void RememberFoundFile(FoundFile* found)
{
    ForgetContent();
    remembered = found->bytes != nullptr ? found->stamp : CurrentStamp();
    rememberedBytes = found->bytes;
    rememberedSize = found->size;
    found->bytes = nullptr;
    rememberedKnown = true;
    pendingKnown = false;
}

void NoteSavedBytes(const BYTE* bytes, DWORD size, const FileStamp& stamp)
{
    savedNothing = false;
    savedStamp = stamp;
    ReleaseBlock(savedBytes);
    savedBytes = static_cast<BYTE*>(AllocateBlock(static_cast<SIZE_T>(size) + 1));
    savedSize = size;
    if (savedBytes != nullptr) {
        CopyMemory(savedBytes, bytes, size);
    }
}

void NoteNothingSaved()
{
    ReleaseBlock(savedBytes);
    savedBytes = nullptr;
    savedNothing = true;
}

// Taken from the save rather than read again: an editor that writes the file without sharing
// just after a save finds it free.
void RememberSavedSettingsFile()
{
    // A file not read whole stays counted as changed: the watch reads it again once it can.
    if (bindingsIncomplete || flagNotLoaded) {
        return;
    }
    if (savedNothing) {
        savedNothing = false;
        return;
    }
    ForgetContent();
    remembered = savedStamp;
    rememberedBytes = savedBytes;
    rememberedSize = savedSize;
    savedBytes = nullptr;
    rememberedKnown = true;
    pendingKnown = false;
}

bool SettingsFileRemembered()
{
    return rememberedKnown;
}

bool IsRememberedSettingsFile(const FileStamp& stamp, const BYTE* bytes, DWORD size)
{
    if (!rememberedKnown || !SameStamp(stamp, remembered) || contentChanged) {
        return false;
    }
    return rememberedBytes == nullptr || (size == rememberedSize && std::memcmp(bytes, rememberedBytes, size) == 0);
}

void ForgetSettingsFile()
{
    ForgetContent();
    ReleaseBlock(savedBytes);
    savedBytes = nullptr;
    savedNothing = false;
    rememberedKnown = false;
    pendingKnown = false;
}

bool SettingsFileChangedOutside()
{
    return DiffersFromRemembered(CurrentStamp(), true);
}

bool SettingsChangeReadable()
{
    return SettingsFileChangedOutside() && ReadableNow();
}

bool PollSettingsFile()
{
    const FileStamp now = CurrentStamp();
    if (!DiffersFromRemembered(now, PollLooksAtContent(now))) {
        pendingKnown = false;
        return false;
    }
    const bool settled = pendingKnown && SameStamp(now, pending);
    pending = now;
    pendingKnown = true;
    return settled && ReadableNow();
}

void KeepSettingsBeforeReload()
{
    keptBeforeReload[0] = L'\0';
    // A file whose time alone changed holds nothing to go back to.
    wchar_t* path = rememberedBytes != nullptr && !HoldsRememberedBytes() ? NewSettingsPath() : nullptr;
    if (path != nullptr) {
        KeepReloadCopy(path, rememberedBytes, rememberedSize, keptBeforeReload);
    }
    ReleaseBlock(path);
}

// The copy is to be named in a message: it leaves the rotation before anything can delete it.
void NoteReloadLeftNoBinding()
{
    wchar_t* path = keptBeforeReload[0] != L'\0' ? NewSettingsPath() : nullptr;
    if (path != nullptr) {
        MakeReloadCopyTold(path, keptBeforeReload);
    }
    CopyText(keptBeforeEmptying, SUFFIX_CAPACITY, path != nullptr ? keptBeforeReload : L"");
    ReleaseBlock(path);
}

const wchar_t* CopyKeptBeforeEmptying()
{
    return keptBeforeEmptying;
}

void ForgetCopyKeptBeforeEmptying()
{
    keptBeforeEmptying[0] = L'\0';
}
