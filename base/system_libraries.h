// System libraries that only some actions need: the shell for a binding that opens a program,
// the common dialogs for the item editor's "file..." button. They are loaded on first use rather
// than with the plug-in, since loading them (and what they load in turn) at every start of the
// host cost more than the rest of the plug-in's start-up.
#pragma once

#include <windows.h>
#include <commdlg.h>

using ShellExecuteFunction = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);

// ShellExecuteW of shell32.dll, or null when the library cannot be loaded.
ShellExecuteFunction LoadShellExecute();
// GetOpenFileNameW of comdlg32.dll; when the library cannot be loaded, a beep and FALSE, as for
// a dialog the user cancelled.
BOOL ShowOpenFileDialog(OPENFILENAMEW* dialog);
