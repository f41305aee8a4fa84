// The settings file beside the library: [setting] enable and pause_fullscreen, and the bindings in
// [hotkeys]. What the other rooms may call; the rest of settings/ is its own.
//
// Read when the hotkey window is created; written when the user confirms the settings, at a
// toggle, when the Windows session ends and when the window is destroyed. Every save is whole:
// the file holds the old settings or the new ones, and the one before is kept as "<file>.bak". A
// file that exists but could not be read, or bindings that could not all be loaded, are never
// written over in that run.
#pragma once

#include <windows.h>

#include "hotkeys/hotkey_table.h"

// The most bytes a settings file may hold, counted as a save writes it (a UTF-8 file as the
// UTF-16 it is saved in), so that every file that is read can be saved: far more than any table
// of bindings needs, and a larger one is never read whole, nor saved, on the host's thread.
constexpr DWORD MAX_SETTINGS_BYTES = 32UL * 1024 * 1024;

// Units, terminator included, of the longest suffix a save puts after the file's name.
constexpr int SUFFIX_CAPACITY = 32;

// What the settings file holds for Tessel: the bindings in [hotkeys], and [setting] enable and
// pause_fullscreen.
struct SettingsValues {
    HotkeyTable table;
    int enabled;
    int pauseFullscreen;
};

// What a load took in besides the bindings it appended.
struct LoadOutcome {
    int enabled;          // [setting] enable, 1 when absent
    int pauseFullscreen;  // [setting] pause_fullscreen, 0 when absent
    // False when not everything stored could be taken in: the file could not be read, or memory
    // ran short. What was not taken in is never written over in this run.
    bool whole;
    DWORD failure;  // why the file could not be opened for reading; 0 when it could
};
// Appends the stored bindings to table, item0 onward, up to the first key reading 0, and reads the
// flags. The watch notes the file as read, or, when not all of it could be taken in, counts it as
// changed until it can.
LoadOutcome LoadSettingsFile(HotkeyTable table);
// Deletes what saves and loads of earlier runs that were cut short left behind: work files beside
// the file, private copies in the temporary folder. Once a run, after the start: the host's start
// waits for none of it, and nothing a running save owns is taken.
void DeleteSettingsLeftovers();

// How a save meets a file that another program changed after Tessel last read or wrote it.
enum class SaveKind {
    // Leaves it as it is (outcome.gaveWay): the caller takes the change in.
    GiveWay,
    // Keeps it as a dated copy ("<file>.<yyyy-mm-dd_hhmmss>.kept", outcome.keptCopy) and saves
    // over it, as the settings the user just confirmed must be.
    KeepEdits,
    // A switch of the hotkeys: where the file's layout leaves no doubt and the file is the one
    // Tessel last read or wrote, only the enable value's number changes, every other byte
    // (comments and line breaks included) staying; else as GiveWay.
    Switch,
};

// What a save did.
struct SaveOutcome {
    bool saved;    // the new file is in place, or nothing needed writing
    bool gaveWay;  // another program changed the file meanwhile, and it was left as it is
    // Why it was not saved: a system error code, or ERROR_FILE_TOO_LARGE (the new file would be
    // larger than a settings file may be), SAVE_KEPT_CHANGING (another program changed the file
    // under every try), SAVE_TEXT_NOT_STORABLE (a command or parameter of 259 units with a blank
    // at an end, or in a pair of quotes, which no stored form gives back).
    DWORD reason;
    // The user marked the file read-only (the reason is then ERROR_ACCESS_DENIED): every save
    // fails so until the mark is taken off.
    bool readOnlyMark;
    wchar_t refused[SUFFIX_CAPACITY];   // the suffix after the path of the file that refused ("" for the file)
    wchar_t keptCopy[SUFFIX_CAPACITY];  // the suffix of the dated copy kept, or that could not be written
};
// Codes of Tessel's own (bit 29 marks an application's codes), never one of the system's.
constexpr DWORD SAVE_KEPT_CHANGING = 0x20000001;
constexpr DWORD SAVE_TEXT_NOT_STORABLE = 0x20000002;

// Writes the values (the whole [hotkeys] section, an empty table leaving none; the flags, the other
// keys of [setting] staying) in one swap, once the platform's reader finds them and every other
// setting in the new file, in the file's encoding (an ANSI file becomes UTF-16LE only for a text
// its code page lacks). What the last load could not take in stays as the file has it. Writes
// nothing, and succeeds, when the file is the one Tessel last read or wrote and its reading already
// gives all of it. A save that fails leaves the file as it was.
SaveOutcome SaveSettingsFile(const SettingsValues& values, SaveKind kind);

// The settings file's path as the user knows it, in a block of the process heap (ReleaseBlock
// frees it); null when it cannot be derived.
wchar_t* NewSettingsFileName();

// Noticing when another program (an editor, a second launcher in the same folder) changes the
// file: its size and write time are compared with those the plug-in last read or wrote, and, where
// they agree, its bytes: before every save, and at a poll when the file's times are whole seconds
// (every few polls). Polled from the hotkey window's timer, a cheap attribute query each time.
//
// Notes what the last save that succeeded put in the file's place, not whatever is there by now;
// nothing once the last load could not take in everything stored.
void RememberSavedSettingsFile();
// Forgets it and the bytes kept of it: the next poll counts any file, or none, as changed.
void ForgetSettingsFile();
// True when the file differs from what was noted: changed, or there when it was not. A file that
// went away is not a change: the next save writes it again.
bool SettingsFileChangedOutside();
// Before a change from outside replaces the live table: the file as Tessel last read or wrote it
// is kept as a silent copy (kept_copies), a way back from an edit that went wrong.
void KeepSettingsBeforeReload();
// Notes that the reload left no binding where there were some, for the settings to tell when they
// open next: the copy kept before it becomes a told copy, which nothing deletes, and this is its
// suffix ("" when there is none, or once forgotten).
void NoteReloadLeftNoBinding();
const wchar_t* CopyKeptBeforeEmptying();
void ForgetCopyKeptBeforeEmptying();
// True when the file changed outside and can be opened for reading now.
bool SettingsChangeReadable();
// True when a change from outside has held still since the last poll and the file can be opened
// for reading now: an editor that writes in steps is not read halfway.
bool PollSettingsFile();
