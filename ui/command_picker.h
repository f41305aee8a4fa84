// The command picker: a dialog built in memory that lists the commands of every loaded plug-in
// and returns the chosen one; and the lookup that names a command reference for display.
#pragma once

#include <windows.h>

#include <cstdint>

#include "plugin/host_abi.h"

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
};

// The block the caller allocates for the picker's template: fixed, zero-filled global memory.
constexpr SIZE_T PICKER_TEMPLATE_BLOCK_SIZE = 1024;
constexpr SIZE_T PICKER_TEMPLATE_SIZE = 300;

// Writes the picker's dialog template into the first PICKER_TEMPLATE_SIZE bytes of block.
void WriteCommandPickerTemplate(void* block);

// Runs the picker modally. The block belongs to the picker from here on; it is freed whatever
// the dialog returns. 1 after OK, 2 after Cancel, -1 when the dialog cannot be created.
INT_PTR ShowCommandPicker(HWND owner, PickerRequest* request, HGLOBAL block);

INT_PTR CALLBACK CommandPickerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// "name - caption" for a "fileName|id" text. With a null buffer: the length of that text
// (terminator not counted). With a buffer: writes it cut to capacity - 1 units and returns the
// same length. -1 when the reference names no known plug-in or command, 0 without a bar.
int32_t DescribeCommandReference(PluginInfo** plugins, const wchar_t* text, wchar_t* buffer, int32_t capacity);
