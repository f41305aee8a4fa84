// minihost.exe: the stand-in launcher. Loads the plug-ins named on its command line (Tessel.dll
// beside it when none is named), shows its main window and runs until the window closes.
#include <windows.h>

#include <shellapi.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "host/host_record.h"
#include "host/main_window.h"
#include "host/plugin_host.h"

namespace {

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    PathRemoveFileSpecW(path);
    return path;
}

std::vector<std::wstring> PluginPaths(const std::wstring& folder)
{
    std::vector<std::wstring> paths;
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; arguments != nullptr && i < count; ++i) {
        // A bare name means the DLL beside the program, as the launcher keeps its plug-ins.
        const bool bare = PathIsRelativeW(arguments[i]) && PathFindFileNameW(arguments[i]) == arguments[i];
        paths.push_back(bare ? folder + L"\\" + arguments[i] : std::wstring(arguments[i]));
    }
    LocalFree(arguments);
    if (paths.empty()) {
        paths.push_back(folder + L"\\Tessel.dll");
    }
    return paths;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand)
{
    const std::wstring folder = ProgramFolder();
    SetHostLogFile(folder + L"\\minihost.log");
    WriteHostLog(L"minihost started");

    const HWND window = CreateHostMainWindow(true);
    if (window == nullptr) {
        WriteHostLog(L"cannot create the main window");
        return 1;
    }
    // Plug-ins look for the main window while they start, so it exists before the first loads.
    for (const std::wstring& path : PluginPaths(folder)) {
        std::wstring error;
        const LoadedPlugin* plugin = LoadPlugin(path, &error);
        WriteHostLog(plugin != nullptr
                         ? L"loaded " + plugin->fileName + L" as plug-in " + std::to_wstring(plugin->handle)
                         : error);
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    WriteHostLog(L"minihost ended");
    return 0;
}
