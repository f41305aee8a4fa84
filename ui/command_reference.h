// The lookup of a command reference ("fileName|id") in the host's plug-in list: where its command
// is, and its name for display as the settings list shows it in its info column.
#pragma once

#include <cstdint>

#include "plugin/host_abi.h"

// "name - caption" for a "fileName|id" text. With a null buffer: the length of that text
// (terminator not counted). With a buffer: writes it cut to capacity - 1 units and returns the
// same length. -1, the buffer untouched, when the reference names no known plug-in or command or
// the text cannot be made whole; 0 without a bar.
int32_t DescribeCommandReference(PluginInfo** plugins, const wchar_t* text, wchar_t* buffer, int32_t capacity);

// The file name before the text's first bar, cut to TEXT_CAPACITY units, and the id after it as
// StrToIntW reads it; false for a text without a bar.
bool SplitCommandReference(const wchar_t* text, wchar_t* fileName, int32_t* commandId);

// Positions in the list: the first plug-in with the reference's file name (in any letter case)
// and its first command with the id; -1 for either that is not there, or for a text without a bar.
struct CommandPlace {
    int32_t plugin;
    int32_t command;
};
CommandPlace FindCommandReference(PluginInfo** plugins, const wchar_t* text);
