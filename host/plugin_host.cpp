#include "host/plugin_host.h"

#include <shlwapi.h>

#include <algorithm>

#include "host/main_window.h"

namespace {

struct Plugins {
    std::vector<std::unique_ptr<LoadedPlugin>> loaded;
    std::map<PluginInfo**, std::vector<std::unique_ptr<OwnedPluginInfo>>> handedOutArrays;
};

// Made at the first use and never destroyed: a plug-in's thread may still call a service while
// the process exits, after the C runtime has destroyed the static objects.
Plugins& ThePlugins()
{
    static Plugins* const plugins = new Plugins();
    return *plugins;
}

DWORD_PTR nextHandle = 1;

std::wstring TextOrEmpty(const wchar_t* text)
{
    return text != nullptr ? std::wstring(text) : std::wstring();
}

template <typename Event>
Event FindEvent(HMODULE module, const char* name)
{
    return reinterpret_cast<Event>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

OwnedPluginInfo::OwnedPluginInfo(const PluginInfo& source)
    : name_(TextOrEmpty(source.name)), fileName_(TextOrEmpty(source.fileName)), record_(source)
{
    const int count = source.commands != nullptr && source.commandCount > 0 ? source.commandCount : 0;
    commandNames_.reserve(count);
    commandCaptions_.reserve(count);
    commands_.reserve(count);
    for (int i = 0; i < count; ++i) {
        commands_.push_back(source.commands[i]);
        commandNames_.push_back(TextOrEmpty(source.commands[i].name));
        commandCaptions_.push_back(TextOrEmpty(source.commands[i].caption));
    }
    for (int i = 0; i < count; ++i) {
        commands_[i].name = commandNames_[i].data();
        commands_[i].caption = commandCaptions_[i].data();
    }
    record_.name = name_.data();
    record_.fileName = fileName_.data();
    record_.commandCount = count;
    record_.commands = count > 0 ? commands_.data() : nullptr;
}

LoadedPlugin* LoadPlugin(const std::wstring& path, std::wstring* error)
{
    auto plugin = std::make_unique<LoadedPlugin>();
    plugin->path = path;
    plugin->fileName = PathFindFileNameW(path.c_str());
    plugin->module = LoadLibraryW(path.c_str());
    if (plugin->module == nullptr) {
        *error = L"cannot load " + path + L" (error " + std::to_wstring(GetLastError()) + L")";
        return nullptr;
    }
    const auto initPluginInfo = FindEvent<InitPluginInfoEvent>(plugin->module, "TTBEvent_InitPluginInfo");
    const auto freePluginInfo = FindEvent<FreePluginInfoEvent>(plugin->module, "TTBEvent_FreePluginInfo");
    const auto init = FindEvent<InitEvent>(plugin->module, "TTBEvent_Init");
    plugin->execute = FindEvent<ExecuteEvent>(plugin->module, "TTBEvent_Execute");
    plugin->unload = FindEvent<UnloadEvent>(plugin->module, "TTBEvent_Unload");
    if (initPluginInfo == nullptr || init == nullptr) {
        *error = path + L" is not a plug-in";
        FreeLibrary(plugin->module);
        return nullptr;
    }
    PluginInfo* info = initPluginInfo(plugin->fileName.c_str());
    if (info == nullptr) {
        *error = path + L" gave no plug-in information";
        FreeLibrary(plugin->module);
        return nullptr;
    }
    plugin->info = std::make_unique<OwnedPluginInfo>(*info);
    if (plugin->info->Record()->fileName[0] == L'\0') {
        // A plug-in that does not echo its name is still known by the name the host loaded it as.
        PluginInfo copy = *plugin->info->Record();
        copy.fileName = plugin->fileName.data();
        plugin->info = std::make_unique<OwnedPluginInfo>(copy);
    }
    if (freePluginInfo != nullptr) {
        freePluginInfo(info);
    }
    plugin->handle = nextHandle++;
    // Registered before Init, so the services the plug-in calls from Init find it.
    LoadedPlugin* loaded = ThePlugins().loaded.emplace_back(std::move(plugin)).get();
    init(loaded->fileName.c_str(), loaded->handle);
    return loaded;
}

std::vector<BOOL> UnloadAllPlugins()
{
    // Taken out of the list first: a plug-in's Unload may call back into the host.
    std::vector<std::unique_ptr<LoadedPlugin>> unloading;
    unloading.swap(ThePlugins().loaded);
    std::vector<BOOL> results;
    for (auto& plugin : unloading) {
        results.push_back(plugin->unload != nullptr ? plugin->unload() : FALSE);
        FreeLibrary(plugin->module);
    }
    nextHandle = 1;
    return results;
}

const std::vector<std::unique_ptr<LoadedPlugin>>& LoadedPlugins()
{
    return ThePlugins().loaded;
}

LoadedPlugin* FindPluginByFileName(const wchar_t* fileName)
{
    if (fileName == nullptr) {
        return nullptr;
    }
    const auto& loaded = ThePlugins().loaded;
    const auto found = std::find_if(loaded.begin(), loaded.end(), [fileName](const auto& plugin) {
        return lstrcmpiW(plugin->fileName.c_str(), fileName) == 0;
    });
    return found != loaded.end() ? found->get() : nullptr;
}

LoadedPlugin* FindPluginByHandle(DWORD_PTR handle)
{
    const auto& loaded = ThePlugins().loaded;
    const auto found = std::find_if(loaded.begin(), loaded.end(), [handle](const auto& plugin) {
        return plugin->handle == handle;
    });
    return found != loaded.end() ? found->get() : nullptr;
}

BOOL RunPluginCommand(LoadedPlugin& plugin, int32_t commandId)
{
    if (plugin.execute == nullptr) {
        return FALSE;
    }
    ShowPluginActivity(plugin, commandId, L"ran");
    return plugin.execute(commandId, HostMainWindow());
}

std::wstring CommandCaption(const LoadedPlugin& plugin, int32_t commandId)
{
    const PluginInfo* info = plugin.info->Record();
    for (int i = 0; i < info->commandCount; ++i) {
        if (info->commands[i].commandId == commandId) {
            return info->commands[i].caption;
        }
    }
    return std::wstring();
}

PluginInfo** NewPluginInfoArray()
{
    const auto& loaded = ThePlugins().loaded;
    std::vector<std::unique_ptr<OwnedPluginInfo>> copies(loaded.size());
    std::transform(loaded.begin(), loaded.end(), copies.begin(),
                   [](const auto& plugin) { return std::make_unique<OwnedPluginInfo>(*plugin->info->Record()); });
    auto* array = new PluginInfo*[copies.size() + 1];
    for (size_t i = 0; i < copies.size(); ++i) {
        array[i] = copies[i]->Record();
    }
    array[copies.size()] = nullptr;
    ThePlugins().handedOutArrays[array] = std::move(copies);
    return array;
}

bool FreePluginInfoArray(PluginInfo** array)
{
    auto& arrays = ThePlugins().handedOutArrays;
    const auto found = arrays.find(array);
    if (found == arrays.end()) {
        return false;
    }
    arrays.erase(found);
    delete[] array;
    return true;
}

int OutstandingPluginInfoArrays()
{
    return static_cast<int>(ThePlugins().handedOutArrays.size());
}
