#include "ui/plugin_list.h"

const wchar_t* TextOrEmpty(const wchar_t* text)
{
    return text != nullptr ? text : L"";
}

int32_t CommandCountOf(const PluginInfo* plugin)
{
    if (plugin == nullptr || plugin->commands == nullptr || plugin->commandCount <= 0) {
        return 0;
    }
    return plugin->commandCount;
}

const PluginInfo* PluginAt(PluginInfo** plugins, int32_t position)
{
    if (plugins == nullptr || position < 0) {
        return nullptr;
    }
    for (int32_t i = 0; i < position; ++i) {
        if (plugins[i] == nullptr) {
            return nullptr;
        }
    }
    return plugins[position];
}

const PluginCommandInfo* CommandAt(const PluginInfo* plugin, int32_t position)
{
    if (position < 0 || position >= CommandCountOf(plugin)) {
        return nullptr;
    }
    return &plugin->commands[position];
}
