#include "tests/test_host.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <list>
#include <map>

#include "host/host_driving.h"
#include "host/main_window.h"
#include "host/plugin_host.h"
#include "host/service_exports.h"

namespace {

constexpr UINT WATCH_INTERVAL_MS = 50;
// How long a modal loop may outlive the pump that started it before its dialogs are closed.
constexpr ULONGLONG MODAL_GRACE_MS = 5000;
constexpr int MESSAGE_BOX_TEXT_ID = 0xFFFF;

enum class WatchState { Waiting, Found, GaveUp };

struct Watcher {
    UINT_PTR timer;
    std::wstring description;
    std::function<HWND()> find;
    std::function<void(HWND)> action;
    ULONGLONG deadline;
    WatchState state;
};

std::list<Watcher> watchers;
std::map<UINT_PTR, ULONGLONG> pumpDeadlines;
int liveHosts;

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    PathRemoveFileSpecW(path);
    return path;
}

std::wstring TestName()
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test != nullptr ? std::string(test->test_suite_name()) + "." + test->name() : "outside_a_test";
    for (char& c : name) {
        if (!isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-') {
            c = '_';
        }
    }
    return std::wstring(name.begin(), name.end());
}

std::wstring ClassName(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::vector<HWND> ThreadWindows()
{
    std::vector<HWND> windows;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

bool IsVisibleDialog(HWND window)
{
    return IsWindowVisible(window) && ClassName(window) == L"#32770";
}

std::string SeenDialogs()
{
    std::string seen;
    for (const std::wstring& caption : TestHost::DialogCaptions()) {
        seen += (seen.empty() ? "\"" : ", \"") + ToUtf8(caption) + "\"";
    }
    return seen.empty() ? "none" : seen;
}

// Ends every dialog and menu of this thread, so a test that lost its way does not hang in them.
void CloseThreadDialogs()
{
    EndMenu();
    std::vector<HWND> windows = ThreadWindows();
    for (HWND window : windows) {
        if (IsVisibleDialog(window)) {
            EndDialog(window, IDCANCEL);
        }
    }
}

void CALLBACK WatchTimer(HWND, UINT, UINT_PTR timer, DWORD)
{
    const auto watcher = std::find_if(watchers.begin(), watchers.end(),
                                      [timer](const Watcher& w) { return w.timer == timer; });
    if (watcher == watchers.end() || watcher->state != WatchState::Waiting) {
        KillTimer(nullptr, timer);
        return;
    }
    const HWND found = watcher->find();
    if (found != nullptr) {
        KillTimer(nullptr, timer);
        watcher->state = WatchState::Found;
        // The action may open further dialogs and run their loops; this entry stays put meanwhile.
        const std::function<void(HWND)> action = std::move(watcher->action);
        action(found);
        return;
    }
    if (GetTickCount64() >= watcher->deadline) {
        KillTimer(nullptr, timer);
        watcher->state = WatchState::GaveUp;
        ADD_FAILURE() << "no " << ToUtf8(watcher->description) << " appeared in time; dialogs seen: "
                      << SeenDialogs();
        CloseThreadDialogs();
    }
}

void CALLBACK GuardTimer(HWND, UINT, UINT_PTR timer, DWORD)
{
    const auto deadline = pumpDeadlines.find(timer);
    if (deadline == pumpDeadlines.end()) {
        KillTimer(nullptr, timer);
        return;
    }
    if (GetTickCount64() < deadline->second + MODAL_GRACE_MS) {
        return;
    }
    pumpDeadlines.erase(deadline);
    KillTimer(nullptr, timer);
    ADD_FAILURE() << "a modal loop was still running long after the test stopped waiting; dialogs seen: "
                  << SeenDialogs();
    CloseThreadDialogs();
}

ULONGLONG lastDispatch;

void DispatchPending()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
        lastDispatch = GetTickCount64();
    }
}

void WaitForMessage(ULONGLONG milliseconds)
{
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(milliseconds), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

// Runs the loop until the deadline or the predicate, with a guard that ends modal loops the
// dispatch may enter and that outlive the deadline.
bool PumpWithGuard(const std::function<bool()>& predicate, ULONGLONG milliseconds)
{
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    const UINT_PTR guard = SetTimer(nullptr, 0, 250, GuardTimer);
    pumpDeadlines[guard] = deadline;
    bool satisfied = predicate();
    while (!satisfied) {
        DispatchPending();
        satisfied = predicate();
        const ULONGLONG now = GetTickCount64();
        if (satisfied || now >= deadline) {
            break;
        }
        WaitForMessage(std::min<ULONGLONG>(deadline - now, 20));
    }
    pumpDeadlines.erase(guard);
    KillTimer(nullptr, guard);
    return satisfied;
}

// Idle: nothing arrived for quietMs; bounded in case something keeps posting.
void PumpUntilIdle(ULONGLONG quietMs, ULONGLONG limitMs)
{
    const ULONGLONG start = GetTickCount64();
    PumpWithGuard([&] { return GetTickCount64() - std::max(start, lastDispatch) >= quietMs; }, limitMs);
}

LoadedPlugin* PluginOrFail(const std::wstring& fileName)
{
    LoadedPlugin* plugin = FindPluginByFileName(fileName.c_str());
    if (plugin == nullptr) {
        ADD_FAILURE() << ToUtf8(fileName) << " is not loaded";
    }
    return plugin;
}

// A value of [hotkeys] of any length: the buffer grows until the reading no longer fills it. A
// quoted text that fills all but the terminator comes back a unit short, its closing quote cut off.
std::wstring ReadWholeValue(const std::wstring& path, const std::wstring& name)
{
    for (DWORD capacity = 512;; capacity *= 2) {
        std::wstring value(capacity, L'\0');
        const DWORD length =
            GetPrivateProfileStringW(L"hotkeys", name.c_str(), L"", value.data(), capacity, path.c_str());
        if (length < capacity - 2) {
            value.resize(length);
            return value;
        }
    }
}

}  // namespace

TestHost::TestHost()
{
    if (++liveHosts != 1) {
        ADD_FAILURE() << "only one TestHost may exist at a time";
    }
    DispatchPending();
    ClearRecords();
    UseLoadedPluginInfo();

    const std::wstring programFolder = ProgramFolder();
    const std::wstring runs = programFolder + L"\\testruns";
    CreateDirectoryW(runs.c_str(), nullptr);
    folder_ = runs + L"\\" + TestName();
    DeleteTree(folder_);
    if (!CreateDirectoryW(folder_.c_str(), nullptr)) {
        ADD_FAILURE() << "cannot create the test folder " << ToUtf8(folder_);
    }
    for (const wchar_t* dll : {L"Tessel.dll", L"Sample.dll"}) {
        const std::wstring source = programFolder + L"\\" + dll;
        if (!CopyFileW(source.c_str(), (folder_ + L"\\" + dll).c_str(), FALSE)) {
            ADD_FAILURE() << "cannot copy " << ToUtf8(source) << " into the test folder";
        }
    }
    if (CreateHostMainWindow(false) == nullptr) {
        ADD_FAILURE() << "cannot create the host's main window";
    }
}

TestHost::~TestHost()
{
    for (Watcher& watcher : watchers) {
        if (watcher.state == WatchState::Waiting) {
            KillTimer(nullptr, watcher.timer);
            ADD_FAILURE() << "the test awaited " << ToUtf8(watcher.description)
                          << " but never pumped messages until it appeared";
        }
    }
    watchers.clear();
    UnloadAllPlugins();
    DestroyHostMainWindow();
    UseLoadedPluginInfo();
    DispatchPending();
    std::string leftovers;
    for (HWND window : ThreadWindows()) {
        const std::wstring name = ClassName(window);
        // Wine gives each thread with windows an input-method window of its own.
        if (name != L"IME" && name != L"MSCTFIME UI") {
            leftovers += " " + ToUtf8(name);
        }
    }
    if (!leftovers.empty()) {
        ADD_FAILURE() << "windows left behind after every plug-in unloaded:" << leftovers;
    }
    ClearRecords();
    --liveHosts;
}

std::wstring TestHost::SettingsPath() const
{
    return folder_ + L"\\Tessel.ini";
}

void TestHost::WriteSettings(const std::wstring& text) const
{
    WriteSettingsBytes(UTF16LE_MARK + Utf16Le(text));
}

void TestHost::WriteSettingsBytes(const std::string& bytes) const
{
    // The private-profile functions keep the file they read last parsed for as long as its time
    // of writing looks unchanged; a file rewritten within one tick of the clock would be read from
    // that copy. Letting it go first makes the plug-in read what is written here.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, nullptr);
    WriteFileBytes(SettingsPath(), bytes);
}

std::wstring TestHost::ReadSettings() const
{
    const std::string bytes = FileBytes(SettingsPath());
    if (bytes.compare(0, 2, UTF16LE_MARK) == 0) {
        return FromUtf16Le(bytes.substr(2));
    }
    const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), length);
    return text;
}

bool TestHost::SettingsExist() const
{
    return GetFileAttributesW(SettingsPath().c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool TestHost::Load(std::vector<std::wstring> fileNames)
{
    bool loaded = true;
    for (const std::wstring& fileName : fileNames) {
        std::wstring error;
        if (LoadPlugin(folder_ + L"\\" + fileName, &error) == nullptr) {
            ADD_FAILURE() << ToUtf8(error);
            loaded = false;
        }
    }
    return loaded;
}

std::vector<BOOL> TestHost::Unload()
{
    return UnloadAllPlugins();
}

HMODULE TestHost::Module(const std::wstring& fileName) const
{
    const LoadedPlugin* plugin = PluginOrFail(fileName);
    return plugin != nullptr ? plugin->module : nullptr;
}

FARPROC TestHost::Export(const std::wstring& fileName, const char* name) const
{
    const HMODULE module = Module(fileName);
    return module != nullptr ? GetProcAddress(module, name) : nullptr;
}

BOOL TestHost::Execute(const std::wstring& fileName, int32_t commandId)
{
    LoadedPlugin* plugin = PluginOrFail(fileName);
    return plugin != nullptr ? RunPluginCommand(*plugin, commandId) : FALSE;
}

HWND TestHost::MainWindow() const
{
    return HostMainWindow();
}

void TestHost::SetCloseUnloads(bool unload)
{
    SetCloseUnloadsPlugins(unload);
}

std::vector<std::wstring> TestHost::Calls() const
{
    return RecordedCalls();
}

std::vector<HostMessage> TestHost::Messages() const
{
    return RecordedMessages();
}

std::vector<std::wstring> TestHost::Logs() const
{
    return RecordedLogs();
}

void TestHost::ClearRecords()
{
    ::ClearRecords();
}

bool TestHost::MenuCheckState(const std::wstring& fileName, int32_t commandId) const
{
    const LoadedPlugin* plugin = PluginOrFail(fileName);
    if (plugin == nullptr) {
        return false;
    }
    const auto check = plugin->checked.find(commandId);
    return check != plugin->checked.end() && check->second;
}

void TestHost::SetPluginArray(PluginInfo** array)
{
    OverridePluginInfoArray(array);
}

int TestHost::OutstandingPluginArrays() const
{
    return OutstandingPluginInfoArrays();
}

void TestHost::Press(std::initializer_list<WORD> keys)
{
    std::vector<INPUT> inputs = KeyPressInputs(keys);
    const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    EXPECT_EQ(sent, inputs.size()) << "SendInput refused the keys";
    PumpUntilIdle(150, 2000);
}

void TestHost::Pump(int milliseconds)
{
    PumpWithGuard([] { return false; }, static_cast<ULONGLONG>(std::max(milliseconds, 0)));
}

bool TestHost::PumpUntil(const std::function<bool()>& predicate, int timeoutMs)
{
    return PumpWithGuard(predicate, static_cast<ULONGLONG>(std::max(timeoutMs, 0)));
}

void TestHost::OnWindow(const wchar_t* className, const wchar_t* caption, std::function<void(HWND)> action,
                        int timeoutMs)
{
    const std::wstring wantedClass = className != nullptr ? className : L"";
    const bool anyCaption = caption == nullptr;
    const std::wstring wantedCaption = anyCaption ? L"" : caption;
    Watcher watcher;
    watcher.description = L"window \"" + wantedCaption + L"\" of class " + wantedClass;
    watcher.find = [=]() -> HWND {
        for (HWND window : ThreadWindows()) {
            if (IsWindowVisible(window) && (wantedClass.empty() || ClassName(window) == wantedClass) &&
                (anyCaption || WindowText(window) == wantedCaption)) {
                return window;
            }
        }
        return nullptr;
    };
    watcher.action = std::move(action);
    watcher.deadline = GetTickCount64() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
    watcher.state = WatchState::Waiting;
    watcher.timer = SetTimer(nullptr, 0, WATCH_INTERVAL_MS, WatchTimer);
    watchers.push_back(std::move(watcher));
}

void TestHost::OnMessageBox(std::function<void(HWND)> action, int timeoutMs)
{
    Watcher watcher;
    watcher.description = L"message box";
    watcher.find = []() -> HWND {
        for (HWND window : ThreadWindows()) {
            // The innermost modal window is the one its owners' disabling leaves enabled.
            if (IsVisibleDialog(window) && IsWindowEnabled(window) &&
                GetDlgItem(window, MESSAGE_BOX_TEXT_ID) != nullptr) {
                return window;
            }
        }
        return nullptr;
    };
    watcher.action = std::move(action);
    watcher.deadline = GetTickCount64() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
    watcher.state = WatchState::Waiting;
    watcher.timer = SetTimer(nullptr, 0, WATCH_INTERVAL_MS, WatchTimer);
    watchers.push_back(std::move(watcher));
}

bool TestHost::WaitForWindows(int timeoutMs)
{
    const auto settled = [] {
        return std::none_of(watchers.begin(), watchers.end(),
                            [](const Watcher& w) { return w.state == WatchState::Waiting; });
    };
    PumpWithGuard(settled, static_cast<ULONGLONG>(std::max(timeoutMs, 0)));
    const bool allFound = settled() && std::all_of(watchers.begin(), watchers.end(), [](const Watcher& w) {
                              return w.state == WatchState::Found;
                          });
    return allFound;
}

std::wstring TestHost::WindowText(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(copied, 0)));
    return text;
}

std::wstring TestHost::ItemText(HWND dialog, int id)
{
    const HWND item = GetDlgItem(dialog, id);
    return item != nullptr ? WindowText(item) : std::wstring();
}

std::wstring TestHost::MessageBoxText(HWND messageBox)
{
    return ItemText(messageBox, MESSAGE_BOX_TEXT_ID);
}

void TestHost::Click(HWND dialog, int id)
{
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::vector<std::wstring> TestHost::DialogCaptions()
{
    std::vector<std::wstring> captions;
    for (HWND window : ThreadWindows()) {
        if (IsVisibleDialog(window)) {
            captions.push_back(WindowText(window));
        }
    }
    // EnumThreadWindows goes from the top of the z-order; the innermost dialog is on top.
    std::reverse(captions.begin(), captions.end());
    return captions;
}

bool operator==(const HostMessage& left, const HostMessage& right)
{
    return left.message == right.message && left.wParam == right.wParam && left.lParam == right.lParam;
}

void PrintTo(const HostMessage& message, std::ostream* out)
{
    switch (message.message) {
    case WM_CLOSE:
        *out << "WM_CLOSE";
        break;
    case WM_CONTEXTMENU:
        *out << "WM_CONTEXTMENU";
        break;
    default:
        *out << "message 0x" << std::hex << message.message << std::dec;
        break;
    }
    *out << "(wParam " << message.wParam << ", lParam 0x" << std::hex << message.lParam << std::dec << ")";
}

void PrintTo(const StoredBinding& binding, std::ostream* out)
{
    *out << "{" << binding.key << ", \"" << ToUtf8(binding.command) << "\", \"" << ToUtf8(binding.param) << "\"";
    if (!binding.only.empty() || !binding.except.empty()) {
        *out << ", only \"" << ToUtf8(binding.only) << "\", except \"" << ToUtf8(binding.except) << "\"";
    }
    *out << "}";
}

std::vector<StoredBinding> ReadKeyByKey(const std::wstring& path)
{
    constexpr DWORD TEXT_UNITS = 260;
    std::vector<StoredBinding> bindings;
    for (int i = 0;; ++i) {
        const std::wstring prefix = L"item" + std::to_wstring(i);
        const unsigned key = GetPrivateProfileIntW(L"hotkeys", (prefix + L"_key").c_str(), 0, path.c_str()) & 0xFFFF;
        if (key == 0) {
            return bindings;
        }
        wchar_t command[TEXT_UNITS];
        wchar_t param[TEXT_UNITS];
        GetPrivateProfileStringW(L"hotkeys", (prefix + L"_command").c_str(), L"", command, TEXT_UNITS, path.c_str());
        GetPrivateProfileStringW(L"hotkeys", (prefix + L"_param").c_str(), L"", param, TEXT_UNITS, path.c_str());
        bindings.push_back(
            {key, command, param, ReadWholeValue(path, prefix + L"_only"), ReadWholeValue(path, prefix + L"_except")});
    }
}

std::wstring ProgramSettingsPath()
{
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const std::wstring path = program;
    return path.substr(0, path.rfind(L'.')) + L".ini";
}

int CountWindows(const wchar_t* className)
{
    int count = 0;
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, className, nullptr)) != nullptr) {
        ++count;
    }
    return count;
}
