// Bindings limited to, or kept out of, named programs, and the pause while another program fills
// its monitor. Rows may share a combination, each for its own programs: the combination is
// registered once, under its first row's id, while some row of it fires for the program in front,
// and a press fires the first row, in table order, that does. Where none does the combination is
// not registered, so that program receives the key itself; a press that still arrives there is
// handed on to it.
#pragma once

#include <windows.h>

#include "hotkeys/hotkey_table.h"
// What the lists name, which the editor and the settings list read as well.
#include "hotkeys/program_names.h"

// [setting] pause_fullscreen: nonzero while no binding fires for a full-screen program.
extern int pauseFullscreen;

// Follows foreground changes from here on, where the platform reports them; for the hotkey
// window, whose destruction must call StopProgramScope.
void StartProgramScope(HWND window);
void StopProgramScope();

// Told by the hotkey window when it registers the live table's bindings (true) or unregisters
// them all (false); only registered bindings follow the foreground. The rows that share a
// combination are linked here, for as long as the table stays registered.
void FollowRegistration(bool registered);

// Whether the hotkey window registers the combination of the row under the row's id now: only for
// the first row of a combination, and only while one of its rows fires for the program in front,
// as FollowRegistration(true) found it; otherwise its registration waits for the foreground to
// change.
bool RegistersInForeground(int row);

// The row that a press of the combination registered under id fires: the first of its rows, in
// table order, whose programs admit the program in front. -1 when none does, or id is no row: the
// key went to that program, and the combination is registered again once the key is up.
int ChoosePressedRow(int id);
