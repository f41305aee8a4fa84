// Reading the host's plug-in list, which may be null, hold records with null texts or command
// arrays, or end earlier than a position asked for.
#pragma once

#include <cstdint>

#include "plugin/host_abi.h"

// The text, or the empty text for null.
const wchar_t* TextOrEmpty(const wchar_t* text);

// A null command array offers no commands, whatever the count says.
int32_t CommandCountOf(const PluginInfo* plugin);

// The plug-in at a position of the null-terminated array, or null past its end.
const PluginInfo* PluginAt(PluginInfo** plugins, int32_t position);

// The command at a position of the plug-in's array, or null outside it.
const PluginCommandInfo* CommandAt(const PluginInfo* plugin, int32_t position);
