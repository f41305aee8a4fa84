// The command picker: a dialog built in memory that lists the commands of every loaded plug-in
// and returns the chosen one.
#pragma once

#include <windows.h>

#include <cstdint>

#include "plugin/host_abi.h"
#include "ui/picker_template.h"

constexpr uint32_t PICK_FILENAME = 1;
constexpr uint32_t PICK_CAPTION = 2;
constexpr uint32_t PICK_REFERENCE = 4;

struct PickerRequest {
    uint32_t flags;             // which buffers to fill on OK
    PluginInfo** plugins;       // may be null: the picker then offers no plug-in
    int32_t pluginIndex;        // out
    int32_t commandIndex;       // out: position in the plug-in's commands, not the id
    int32_t commandId;          // out
    wchar_t* fileNameBuffer;
    int32_t fileNameCapacity;
    wchar_t* captionBuffer;
    int32_t captionCapacity;
    wchar_t* referenceBuffer;
    int32_t referenceCapacity;
    uint32_t menuFilter;        // a command is offered when its menuFlags share a bit with this
    // May be null: the command the picker opens on. One it does not list is shown, with no row
    // selected, and OK then ends the picker as Cancel does.
    const wchar_t* current;
};

// Runs the picker modally. The block belongs to the picker from here on; it is freed whatever
// the dialog returns. 1 after OK on a row, 2 after Cancel or OK on a command the picker does not
// list, -1 when the dialog cannot be created.
INT_PTR ShowCommandPicker(HWND owner, PickerRequest* request, HGLOBAL block);

INT_PTR CALLBACK CommandPickerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
