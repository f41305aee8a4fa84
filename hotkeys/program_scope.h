// Bindings limited to, or kept out of, named programs, and the pause while another program fills
// its monitor. A binding that must not fire for the foreground program is not registered, so that
// program receives the key itself; a press that still arrives there is handed on to it.
#pragma once

#include <windows.h>

#include "hotkeys/hotkey_table.h"

// [setting] pause_fullscreen: nonzero while no binding fires for a full-screen program.
extern int pauseFullscreen;

// Follows foreground changes from here on, where the platform reports them; for the hotkey
// window, whose destruction must call StopProgramScope.
void StartProgramScope(HWND window);
void StopProgramScope();

// Told by the hotkey window when it registers the live table's bindings (true) or unregisters
// them all (false); only registered bindings follow the foreground.
void FollowRegistration(bool registered);

// False when the binding must not fire for the program in front now; its registration then waits.
// Asked for every binding that is registered, in the hotkey window's registration.
bool FiresInForeground(ProgramLists programs);

// A press of the binding registered under id. True when it must not fire for the program in
// front: the key went to that program, and the binding is registered again once the key is up.
bool PassPressToProgram(int id, const HotkeyItem& item, ProgramLists programs);

// The file name (no folder) of the program that owns the window, in MAX_PATH units; empty when
// its process cannot be asked.
void ReadProgramName(HWND window, wchar_t* program);

// The names in a ";"-separated list of program file names, compared without letter case; an entry
// that is a path names the file at its end.
bool ProgramListNames(const wchar_t* list, const wchar_t* program);

// The first entry of such a list that no program can match (a file name with a character no file
// name holds, a comma among them, or a path that ends in a folder), pointing into the list; null
// when every entry can match.
const wchar_t* UnmatchableProgramName(const wchar_t* list);
