// Where the settings file is, and where the profile functions read it: the file itself, or a
// private copy when they cannot be trusted with it. Windows' profile functions read a UTF-8 file
// in the ANSI code page (one with a byte-order mark too, the mark joining the first line) and
// take no path of MAX_PATH units or more; such a file is read through a UTF-16LE copy of its
// own in the temporary folder, which no later start takes for the settings.
#pragma once

#include <windows.h>

#include "base/heap_block.h"
#include "settings/file_bytes.h"

// The library's own path with ".ini" for its extension, derived afresh on every use, in a block
// of the process heap of LONG_PATH_CAPACITY units (ReleaseBlock frees it). A path longer than the
// profile functions take is given in the extended-length form ("\\?\"), which the file functions
// take at any length. Null, with the reason in GetLastError, when it cannot be derived.
wchar_t* NewSettingsPath();

bool IsMissing(DWORD error);
// Lets the profile functions forget what they parsed of a file: a later file of the same name
// written within the same tick of the clock would otherwise be read from that copy.
void ForgetParsedFile(const wchar_t* path);

struct SettingsSource {
    wchar_t path[MAX_PATH];  // what the profile functions read
    bool found;              // there is a file to read
    bool privateCopy;
    DWORD failure;  // why the file could not be read; 0 when it could, or there is none
};
// What the profile functions read the file at path (from NewSettingsPath) from, as found (its
// error the path's when path is null). False when it exists but could not be read, or path is
// null: source->failure then tells why. A missing file is no failure; found is then false.
bool OpenSettingsSource(const wchar_t* path, const FoundFile& found, SettingsSource* source);
// What the profile functions read bytes from as the load reads a file that holds them: the file
// at path itself (null for none) when they take it as it is, else a private copy, UTF-16LE for
// UTF-8 text. False, with the reason in GetLastError, when the copy could not be written.
bool OpenBytesSource(const BYTE* bytes, DWORD size, const wchar_t* path, SettingsSource* source);
// Deletes the private copy, if one was made.
void CloseSettingsSource(const SettingsSource& source);
