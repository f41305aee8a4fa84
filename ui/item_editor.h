// The item editor (resource 102): one binding's key, command and parameter.
#pragma once

#include <windows.h>

#include "hotkeys/hotkey_table.h"
#include "plugin/host_abi.h"

struct EditorContext {
    PluginInfo** plugins;
    HotkeyTable workTable;  // searched for keys already in use, never changed here
    HotkeyItem item;        // in: the binding (key 0 for a new one); out on 1: the accepted one
    // in: the binding's program lists; out on 1: the accepted ones, in listsBlock, a block the
    // editor allocated and the caller frees (ReleaseBlock) once it has copied them.
    ProgramLists programs;
    wchar_t* listsBlock;
    int row;  // the binding's row in workTable; the table's count for a new one
};

// Run with DialogBoxParamW and an EditorContext* as the initialisation parameter.
INT_PTR CALLBACK ItemEditorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The open-file dialog for a program: 1 with the full path in path (TEXT_CAPACITY units), or 0
// with path untouched.
int ChooseExecutableFile(HWND owner, wchar_t* path);
