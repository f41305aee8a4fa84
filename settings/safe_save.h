// Saving a file whole: the new file is built complete beside the old one under a name no other
// save can take, flushed, checked, and swapped in with one rename, but only while the old file is
// still what the save started from. A crash at any instant leaves the old file or the new one; a
// save that fails leaves the old one byte for byte, and its "<file>.bak" as it was. Knows nothing
// of what the file holds.
#pragma once

#include <windows.h>

#include "settings/file_bytes.h"
#include "settings/settings.h"
#include "settings/work_files.h"

// True when the profile functions can take the path and a work file beside it: shorter than
// MAX_PATH with room for a work file's suffix, and not in the extended-length form.
bool ProfileFunctionsTake(const wchar_t* path);

// One save of the file at path, from Begin to End.
struct SafeSave {
    const wchar_t* path;
    const BYTE* before;  // the file as the save found it; null when there was none
    DWORD beforeSize;
    FileStamp beforeStamp;
    SaveOutcome* outcome;  // where a failure is told
    wchar_t* work;      // the work copy the caller changes with the profile functions (MAX_PATH units)
    wchar_t* swapFile;  // this save's own file beside path, renamed into its place
    wchar_t* readable;  // where the profile functions read the finished file (MAX_PATH units)
    // The swap file as the save created it (the work copy too, when that is beside the file), and
    // held from its final writing to the swap: shared for reading only, so that nothing else can
    // change or delete it.
    FileIdentity swapIdentity;
    HANDLE swapHeld;
    // The work copy beside the file, held from its creation while the profile functions change
    // it: shared for reading and writing, never for deleting.
    HANDLE workHeld;
    bool privateWork;
    bool privateReadable;
    bool unchanged;  // the new content is the old: nothing is written
    FileStamp savedStamp;  // what the swap put in the file's place
};

enum class SwapResult { Saved, Failed, ChangedOutside };

// Starts saving path from before (its stamp taken as it was read): writes bytes complete into a
// work copy of this save's own, beside the file or, when the profile functions cannot take that
// path, in the temporary folder. Every step that fails tells outcome why. False when it could not
// be written. EndSafeSave follows in every case.
bool BeginSafeSave(SafeSave* save, SaveOutcome* outcome, const wchar_t* path, const BYTE* before, DWORD beforeSize,
                   const FileStamp& stamp, const BYTE* bytes, DWORD size);
// True while the work copy is still the file the save made, not one another program deleted and
// the profile functions made anew under its name.
bool IsSaveOwnWorkCopy(const SafeSave& save);
// Lets go of the work copy for a platform whose profile functions refuse a file held open; true
// when it was held.
bool ReleaseWorkCopy(SafeSave* save);
// Writes the new content complete into the swap file, provided it is still the one the save made,
// flushed and read back, and holds it; then save->readable names what the profile functions read
// it from. Content that is the old file's writes nothing; content larger than MAX_SETTINGS_BYTES
// is refused, since no load would read it.
bool WriteSwapFile(SafeSave* save, const BYTE* bytes, DWORD size);
// Puts the swap file in the file's place, provided the file is still what the save started from;
// another program holding the file is waited for, about a second in all, and looked at again
// before every try. With keepReplaced the file it replaces is first kept as a dated copy
// (kept_copies.h), which save->outcome names. Once the new file is in place the old content becomes "<file>.bak"; a backup
// that cannot be written does not stop the save.
SwapResult SwapIn(SafeSave* save, bool keepReplaced);
// Deletes what the save leaves behind: its work copy, its private copies, a swap file not put in
// place.
void EndSafeSave(SafeSave* save);

// Tells outcome that the save failed: the system's reason and the suffix of the file that refused
// ("" for the file itself).
void FailSave(SaveOutcome* outcome, DWORD reason, const wchar_t* suffix);
