// The work files of a save: "<file>.<16 hex digits>.tmp" beside the file, a name that the process
// and a count of its own make, so that no other save, in this process or another, takes it; and
// the clearing of those a crashed save left behind.
#pragma once

#include <windows.h>

// Units of a work file's suffix after the file's path.
constexpr int WORK_SUFFIX_LENGTH = 1 + 16 + 4;

// Every byte written through the handle; the reason of a failure in GetLastError.
bool WriteAllBytes(HANDLE file, const BYTE* bytes, DWORD size);
// What tells one file from another on its volume, whatever its name.
struct FileIdentity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};
// The identity of the file the handle is open on; all zero when it cannot be asked.
FileIdentity IdentityOf(HANDLE file);
bool SameIdentity(const FileIdentity& left, const FileIdentity& right);

// A new file of this save's own beside path, claimed with the bytes written into it: its name in
// name (capacity units) and, when asked, its identity in identity. Held in held when asked, shared
// for reading and writing but never for deleting, so that the profile functions can change it and
// nothing else can take it away; closed otherwise. False, with the reason in GetLastError, when
// none could be written; nothing is left behind then.
bool WriteNewWorkFile(const wchar_t* path, const BYTE* bytes, DWORD size, wchar_t* name, int capacity,
                      FileIdentity* identity, HANDLE* held);
// Deletes the work files of saves that were cut short: only files named exactly as a save names
// them, and only once they are too old for a running save to own. They are never read.
void DeleteStrayWorkFiles(const wchar_t* path);
// Deletes a file of Tessel's own that is left over (attributes as found), a read-only mark that a
// copying or syncing tool set cleared first. One another program holds open stays for a later
// start; the caller goes on with the rest.
void DeleteLeftover(const wchar_t* path, DWORD attributes);
