// Whether a save has anything to write. Writing what the file already holds is not harmless: the
// sections move, the profile functions respace the user's own lines on some platforms, the backup
// is replaced by a copy of the same settings, and a read-only file refuses. The measure is the
// platform's reading of the file, the one the load and the next start make.
#pragma once

#include <windows.h>

#include "settings/file_bytes.h"
#include "settings/settings.h"

// The file at path, as the profile functions read it, holds the values' enabled flag and full-screen
// pause. An absent enable key differs: every save writes it.
bool FlagsReadAs(const wchar_t* path, const SettingsValues& values);

// True when the file at path, as found, is the one Tessel last read or wrote and a save would
// change nothing in its reading: the flags (when flags) and, unless section is null, the bindings,
// [hotkeys] holding the entries of section (FormatHotkeysSection) in their order and nothing else,
// once.
bool NothingToSave(const wchar_t* path, const FoundFile& found, const SettingsValues& values, const wchar_t* section,
                   bool flags);
