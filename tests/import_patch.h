// Stand-ins for platform functions in a loaded module's imports, for faults the platform here
// never makes by itself (no memory, no window handles, a capped profile section).
#pragma once

#include <windows.h>

// Points the module's import of a function at a stand-in; false when it has no such import.
bool ReplaceImport(HMODULE module, const char* library, const char* function, const void* replacement);
// Points it back at the library's own export.
bool RestoreImport(HMODULE module, const char* library, const char* function);
