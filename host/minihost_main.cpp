// minihost.exe: the stand-in launcher. Loads the plug-ins named on its command line (Tessel.dll
// beside it when none is named), shows its main window and runs until the window closes.
// "minihost.exe --tour [plug-ins]" plays the demo's scripted tour on top of that; the demo's
// questions about its Wine are answered without a window (host/demo_checks.h).
#include <windows.h>

#include <shellapi.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "host/demo_checks.h"
#include "host/demo_tour.h"
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

constexpr wchar_t TOUR_OPTION[] = L"--tour";

std::vector<std::wstring> Arguments()
{
    std::vector<std::wstring> arguments;
    int count = 0;
    wchar_t** list = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; list != nullptr && i < count; ++i) {
        arguments.push_back(list[i]);
    }
    LocalFree(list);
    return arguments;
}

std::vector<std::wstring> PluginPaths(const std::wstring& folder, const std::vector<std::wstring>& arguments)
{
    std::vector<std::wstring> paths;
    for (const std::wstring& argument : arguments) {
        if (argument == TOUR_OPTION) {
            continue;
        }
        // A bare name means the DLL beside the program, as the launcher keeps its plug-ins.
        const bool bare = PathIsRelativeW(argument.c_str()) && PathFindFileNameW(argument.c_str()) == argument.c_str();
        paths.push_back(bare ? folder + L"\\" + argument : argument);
    }
    if (paths.empty()) {
        paths.push_back(folder + L"\\Tessel.dll");
    }
    return paths;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand)
{
    const std::wstring folder = ProgramFolder();
    const std::vector<std::wstring> arguments = Arguments();
    int status = 0;
    if (AnswerDemoCheck(arguments, &status)) {
        return status;
    }
    const bool tour = !arguments.empty() && arguments.front() == TOUR_OPTION;
    SetHostLogFile(folder + L"\\minihost.log");
    WriteHostLog(L"minihost started");

    const HWND window = CreateHostMainWindow(true);
    if (window == nullptr) {
        WriteHostLog(L"cannot create the main window");
        return 1;
    }
    // Plug-ins look for the main window while they start, so it exists before the first loads.
    for (const std::wstring& path : PluginPaths(folder, arguments)) {
        std::wstring error;
        const LoadedPlugin* plugin = LoadPlugin(path, &error);
        WriteHostLog(plugin != nullptr
                         ? L"loaded " + plugin->fileName + L" as plug-in " + std::to_wstring(plugin->handle)
                         : error);
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    if (tour && !StartDemoTour(folder, window)) {
        WriteHostLog(L"cannot start the tour");
        return 1;
    }

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    WriteHostLog(L"minihost ended");
    return tour ? FinishDemoTour() : 0;
}
