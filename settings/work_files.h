// Files of Tessel's own: each kind under a name of its own form, claimed fresh so that no other
// save, in this process or another, takes it, written whole; and the clearing of those a crashed
// or earlier run left behind. Here too the kind a save works in: "<file>.<16 hex digits>.tmp"
// beside the file, a name that the process and a count of its own make.
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
inline bool SameIdentity(const FileIdentity& left, const FileIdentity& right)
{
    return left.volume == right.volume && left.indexHigh == right.indexHigh && left.indexLow == right.indexLow &&
           (left.indexHigh | left.indexLow) != 0;
}

// Writes the attempt-th name (from 0) that a kind of file is tried under into name (capacity
// units); false when there is none left to try. scheme is the kind's own.
using NameOwnFile = bool (*)(const void* scheme, int attempt, wchar_t* name, int capacity);
struct NewOwnFile {
    NameOwnFile nameAt;
    const void* scheme;
    wchar_t* name;  // the name claimed, or the last one tried
    int capacity;
    DWORD access;  // as CreateFileW takes them
    DWORD share;
    bool flush;  // to the disk before it is handed over
};
// The first of the kind's names that no file has yet, claimed with the bytes written whole into
// it: open, for the caller to close or hold. An invalid handle, with the reason in GetLastError
// (ERROR_FILE_EXISTS when every name was taken), when none could be written; nothing is left
// behind then.
HANDLE CreateOwnFile(const NewOwnFile& file, const BYTE* bytes, DWORD size);
inline bool IsNameTaken(DWORD error)
{
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// Whether a file found is one of the kind's left over, to be deleted; kind is the kind's own.
using IsLeftover = bool (*)(void* kind, const WIN32_FIND_DATAW& found);
// Asks isLeftover of every file (never a folder) in prefix's folder whose name matches prefix
// followed by wildcard, and deletes those it names: a read-only mark that a copying or syncing
// tool set is cleared first. One another program holds open stays for a later run; the others go
// all the same.
void DeleteLeftovers(const wchar_t* prefix, const wchar_t* wildcard, IsLeftover isLeftover, void* kind);

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
