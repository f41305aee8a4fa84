// Saving a file whole: the new file is built complete beside the old one, flushed, and swapped in
// with one call that keeps the old one as "<file>.bak". A crash at any instant leaves the old file
// or the new one; a save that fails leaves the old one byte for byte. Knows nothing of what the
// file holds.
#pragma once

#include <windows.h>

// Units, terminator included, of a path in the extended-length form ("\\?\") the file functions
// take for folders of any depth.
constexpr int LONG_PATH_CAPACITY = 32768;
constexpr wchar_t EXTENDED_PREFIX[] = L"\\\\?\\";

// The file's bytes followed by two zero bytes, in a block of the process heap. Another program
// holding the file is waited for, about a second in all. Null when there is no such file or it
// cannot be read, GetLastError telling which.
BYTE* ReadWholeFile(const wchar_t* path, DWORD* size);

// True when the profile functions can take the path and its "<path>.tmp": shorter than MAX_PATH
// and not in the extended-length form.
bool ProfileFunctionsTake(const wchar_t* path);

// A copy of bytes under a name of its own in the temporary folder, for the profile functions when
// the file's own path is more than they take; its path in copy (MAX_PATH units). False, with the
// reason in GetLastError, when it could not be written.
bool WritePrivateCopy(const BYTE* bytes, DWORD size, wchar_t* copy);

// Starts saving path: writes bytes complete into the work copy that the caller then changes (with
// the profile functions) and reads back: "<path>.tmp" beside the file, or a private copy when the
// profile functions cannot take that path. Its path in work (MAX_PATH units). False when it could
// not be written; the reason is then in SaveFailureReason().
bool BeginSafeSave(const wchar_t* path, const BYTE* bytes, DWORD size, wchar_t* work);
// Ends the save with bytes as the file's new content. Bytes that are what the file held when the
// save found it (before; null when there was no file) write nothing: the work copy is deleted and
// the backup of the last change stays. Otherwise they are written to "<path>.tmp", flushed and
// read back, the old bytes go to "<path>.bak", and one rename puts the new file in place. Another
// program holding the file is waited for, about a second in all. True once the file holds the
// bytes; on failure the file is as it was, the work copy is deleted and the reason is in
// SaveFailureReason().
bool CommitSafeSave(const wchar_t* path, const wchar_t* work, const BYTE* bytes, DWORD size, const BYTE* before,
                    DWORD beforeSize);
// Gives up a save for the given reason, deleting its work copy (null when none was begun).
void AbandonSafeSave(const wchar_t* work, DWORD reason);

// Deletes the "<path>.tmp" of a save that was cut short; it is never read.
void DeleteStrayWorkCopy(const wchar_t* path);
