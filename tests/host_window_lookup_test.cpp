// The plug-in finds the host's main window of its own process, even when another instance of
// the host runs and when this process has windows of the same class with other titles.
#include <gtest/gtest.h>

#include <shlwapi.h>

#include <string>
#include <vector>

#include "host/main_window.h"
#include "plugin/host_services.h"
#include "tests/test_host.h"

namespace {

// other_host.exe, beside the test program, ended by its process handle when the test is done.
class OtherHostProcess {
public:
    OtherHostProcess()
    {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        PathRemoveFileSpecW(path);
        std::wstring program = std::wstring(path) + L"\\other_host.exe";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        if (!CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process_)) {
            ADD_FAILURE() << "cannot start other_host.exe (error " << GetLastError() << ")";
        }
    }
    ~OtherHostProcess()
    {
        if (process_.hProcess != nullptr) {
            TerminateProcess(process_.hProcess, 0);
            WaitForSingleObject(process_.hProcess, 5000);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
    }
    OtherHostProcess(const OtherHostProcess&) = delete;
    OtherHostProcess& operator=(const OtherHostProcess&) = delete;

    HWND WaitForWindow(TestHost& host) const
    {
        HWND found = nullptr;
        host.PumpUntil(
            [&] {
                for (HWND window : MainWindowsInOrder()) {
                    DWORD owner = 0;
                    GetWindowThreadProcessId(window, &owner);
                    if (owner == process_.dwProcessId) {
                        found = window;
                    }
                }
                return found != nullptr;
            },
            10000);
        return found;
    }

    // Every top-level "TTBaseMain" window in the order a search meets them.
    static std::vector<HWND> MainWindowsInOrder()
    {
        std::vector<HWND> windows;
        for (HWND window = FindWindowExW(nullptr, nullptr, L"TTBaseMain", nullptr); window != nullptr;
             window = FindWindowExW(nullptr, window, L"TTBaseMain", nullptr)) {
            windows.push_back(window);
        }
        return windows;
    }

private:
    PROCESS_INFORMATION process_ = {};
};

HWND CreateWindowWithOtherTitle()
{
    return CreateWindowExW(0, L"TTBaseMain", L"TTBase - another window", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

size_t PositionOf(const std::vector<HWND>& windows, HWND window)
{
    for (size_t i = 0; i < windows.size(); ++i) {
        if (windows[i] == window) {
            return i;
        }
    }
    return windows.size();
}

}  // namespace

TEST(HostWindowLookup, FindsTheWindowOfItsOwnProcessPastAnotherHostAndOtherTitles)
{
    OtherHostProcess other;
    TestHost host;
    const HWND otherWindow = other.WaitForWindow(host);
    ASSERT_NE(otherWindow, nullptr) << "other_host.exe showed no window";
    const HWND otherTitle = CreateWindowWithOtherTitle();
    ASSERT_NE(otherTitle, nullptr);

    // Only meaningful when the search meets the impostors before the right window.
    const std::vector<HWND> order = OtherHostProcess::MainWindowsInOrder();
    ASSERT_LT(PositionOf(order, otherWindow), PositionOf(order, host.MainWindow()));
    ASSERT_LT(PositionOf(order, otherTitle), PositionOf(order, host.MainWindow()));

    EXPECT_EQ(FindHostMainWindow(), host.MainWindow());
    DestroyWindow(otherTitle);
}

TEST(HostWindowLookup, FindsNoWindowWhenThisProcessHasNoneWithTheHostsTitle)
{
    OtherHostProcess other;
    TestHost host;
    ASSERT_NE(other.WaitForWindow(host), nullptr) << "other_host.exe showed no window";
    DestroyHostMainWindow();
    const HWND otherTitle = CreateWindowWithOtherTitle();

    EXPECT_EQ(FindHostMainWindow(), nullptr);
    DestroyWindow(otherTitle);
}
