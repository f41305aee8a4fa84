// The settings file's text encoding. The profile functions keep the encoding of the file they
// find and create a new file in the ANSI code page, where characters outside it become "?".
#pragma once

// Makes the file at path ready to store these "name=value" lines (each terminated, the last
// followed by a second terminator) without altering a character: a missing file is created as
// UTF-16LE with its byte-order mark; an ANSI file whose code page cannot hold every line is
// converted to UTF-16LE, keeping every section, key and value. False when the file could not be
// made ready; it is then as it was.
bool PrepareSettingsFile(const wchar_t* path, const wchar_t* lines);
