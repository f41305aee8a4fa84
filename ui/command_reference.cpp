#include "ui/command_reference.h"

#include <windows.h>

#include <shlwapi.h>

#include "base/bounded_text.h"
#include "base/heap_block.h"
#include "ui/plugin_list.h"

namespace {

// Only the first plug-in with the file name is searched.
CommandPlace FindPlace(PluginInfo** plugins, const wchar_t* fileName, int32_t commandId)
{
    for (int32_t i = 0; plugins != nullptr && plugins[i] != nullptr; ++i) {
        if (lstrcmpiW(TextOrEmpty(plugins[i]->fileName), fileName) != 0) {
            continue;
        }
        const int32_t count = CommandCountOf(plugins[i]);
        for (int32_t j = 0; j < count; ++j) {
            if (plugins[i]->commands[j].commandId == commandId) {
                return {i, j};
            }
        }
        return {i, -1};
    }
    return {-1, -1};
}

}  // namespace

bool SplitCommandReference(const wchar_t* text, wchar_t* fileName, int32_t* commandId)
{
    CopyText(fileName, TEXT_CAPACITY, text);
    wchar_t* bar = StrChrW(fileName, L'|');
    if (bar == nullptr) {
        return false;
    }
    *bar = L'\0';
    *commandId = StrToIntW(bar + 1);
    return true;
}

CommandPlace FindCommandReference(PluginInfo** plugins, const wchar_t* text)
{
    wchar_t fileName[TEXT_CAPACITY];
    int32_t commandId = 0;
    if (!SplitCommandReference(text, fileName, &commandId)) {
        return {-1, -1};
    }
    return FindPlace(plugins, fileName, commandId);
}

int32_t DescribeCommandReference(PluginInfo** plugins, const wchar_t* text, wchar_t* buffer, int32_t capacity)
{
    wchar_t fileName[TEXT_CAPACITY];
    int32_t commandId = 0;
    if (!SplitCommandReference(text, fileName, &commandId)) {
        return 0;
    }
    const CommandPlace place = FindPlace(plugins, fileName, commandId);
    if (place.command == -1) {
        return -1;
    }
    const PluginInfo* plugin = plugins[place.plugin];
    const PluginCommandInfo& command = plugin->commands[place.command];
    const wchar_t* name = TextOrEmpty(plugin->name);
    const wchar_t* caption = TextOrEmpty(command.caption);
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
