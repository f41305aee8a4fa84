#include "ui/command_reference.h"

#include <windows.h>

#include <shlwapi.h>

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "ui/plugin_list.h"

namespace {

struct ReferencedCommand {
    const PluginInfo* plugin;
    const PluginCommandInfo* command;
};

// Only the first plug-in with the file name is searched; the result's command is null when
// the reference names no known plug-in or command.
ReferencedCommand FindReferencedCommand(PluginInfo** plugins, const wchar_t* fileName, int32_t commandId)
{
    for (int32_t i = 0; plugins != nullptr && plugins[i] != nullptr; ++i) {
        const PluginInfo* plugin = plugins[i];
        if (lstrcmpiW(TextOrEmpty(plugin->fileName), fileName) != 0) {
            continue;
        }
        const int32_t count = CommandCountOf(plugin);
        for (int32_t j = 0; j < count; ++j) {
            if (plugin->commands[j].commandId == commandId) {
                return {plugin, &plugin->commands[j]};
            }
        }
        return {plugin, nullptr};
    }
    return {nullptr, nullptr};
}

}  // namespace

int32_t DescribeCommandReference(PluginInfo** plugins, const wchar_t* text, wchar_t* buffer, int32_t capacity)
{
    wchar_t work[TEXT_CAPACITY];
    CopyText(work, TEXT_CAPACITY, text);
    wchar_t* bar = StrChrW(work, L'|');
    if (bar == nullptr) {
        return 0;
    }
    *bar = L'\0';
    const ReferencedCommand found = FindReferencedCommand(plugins, work, StrToIntW(bar + 1));
    if (found.command == nullptr) {
        return -1;
    }
    const wchar_t* name = TextOrEmpty(found.plugin->name);
    const wchar_t* caption = TextOrEmpty(found.command->caption);
    const int64_t length = static_cast<int64_t>(TextLength(name)) + 3 + TextLength(caption);
    if (length >= INT32_MAX) {
        return -1;
    }
    if (buffer == nullptr) {
        return static_cast<int32_t>(length);
    }

    auto* described = static_cast<wchar_t*>(AllocateBlock(static_cast<SIZE_T>(length + 1) * sizeof(wchar_t)));
    if (described == nullptr) {
        return -1;
    }
    // The block holds the answered length; a text that came out otherwise is refused rather than
    // handed on cut. The caller's buffer gets what its capacity holds, and the length says whether
    // that is all of it.
    const bool whole = FormatText(described, static_cast<int>(length + 1), L"%ls - %ls", name, caption) &&
                       TextLength(described) == length;
    if (whole) {
        CopyText(buffer, capacity, described);
    }
    ReleaseBlock(described);
    return whole ? static_cast<int32_t>(length) : -1;
}
