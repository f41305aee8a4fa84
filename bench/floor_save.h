// The floors' save: a file saved whole the least way, as Tessel saves its settings.
#pragma once

#include <windows.h>

// Writes the bytes to "<path>.tmp" in one call, flushes it and moves it over the file in one
// step. False when a step failed; the file is then as it was.
bool SaveFileWhole(const wchar_t* path, const void* bytes, DWORD size);
