// The lookup that names a command reference ("fileName|id") for display, as the settings list
// shows it in its info column.
#pragma once

#include <cstdint>

#include "plugin/host_abi.h"

// "name - caption" for a "fileName|id" text. With a null buffer: the length of that text
// (terminator not counted). With a buffer: writes it cut to capacity - 1 units and returns the
// same length. -1, the buffer untouched, when the reference names no known plug-in or command or
// the text cannot be made whole; 0 without a bar.
int32_t DescribeCommandReference(PluginInfo** plugins, const wchar_t* text, wchar_t* buffer, int32_t capacity);
