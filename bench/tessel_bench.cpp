// tessel_bench: what Tessel costs the host's user-interface thread for 10 to 5,000 bindings,
// each figure beside a floor measured in the same run: the same platform calls done the least
// way. Prints Markdown (tools/bench.sh puts it into docs/performance.md); progress goes to stderr.
// Exits with 1 when a figure did not time what it should (a press lost, rows missing).
//
//     tessel_bench.exe [--dll <Tessel.dll>] [--floor-dll <Bare.dll>] [--counts 10,100,1000,5000]
//                      [--repeat K] [--presses N]
//
// --repeat K measures every count K times over, Tessel and its floor taking turns throughout,
// and reports the medians of all rounds, so that one noisy stretch does not decide a ratio.
// --presses N times N presses of each kind instead of 1,000 (and at most 20 in an excluded
// program): a few are enough to show that every part still measures what it should.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bench_bindings.h"
#include "bench/bench_report.h"
#include "bench/first_paint.h"
#include "bench/floor_save.h"
#include "bench/measuring.h"
#include "bench/scope_timing.h"
#include "host/host_driving.h"
#include "host/host_record.h"
#include "host/main_window.h"
#include "host/plugin_host.h"

namespace {

constexpr int DEFAULT_PRESSES = 1000;
constexpr int MAX_SCOPE_PRESSES = 20;
constexpr int WARM_UP_PRESSES = 20;
constexpr DWORD PRESS_LIMIT_MS = 2000;
constexpr DWORD DIALOG_LIMIT_MS = 60000;

int presses = DEFAULT_PRESSES;
// OK is timed up to this many bindings: each timing is a whole settings session, and a save of
// 5,000 through the profile functions takes about a second.
constexpr int MAX_SAVED_AT_OK = 1000;

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    PathRemoveFileSpecW(path);
    return path;
}

std::string Narrow(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

struct Run {
    std::wstring dllSource;
    std::wstring floorSource;  // the floor plug-in, bench/bare_plugin.cpp
    std::wstring sampleSource;
    HWND floorWindow;
    HFONT dialogFont;
};

int Repetitions(int count)
{
    return count <= 100 ? 9 : count <= 1000 ? 5 : 3;
}

std::wstring PrepareFolder(const Run& run, const std::wstring& name)
{
    const std::wstring runs = ProgramFolder() + L"\\benchruns";
    CreateDirectoryW(runs.c_str(), nullptr);
    const std::wstring folder = runs + L"\\" + name;
    DeleteTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    CopyFileW(run.dllSource.c_str(), (folder + L"\\Tessel.dll").c_str(), FALSE);
    CopyFileW(run.sampleSource.c_str(), (folder + L"\\Sample.dll").c_str(), FALSE);
    CopyFileW(run.floorSource.c_str(), (folder + L"\\Bare.dll").c_str(), FALSE);
    return folder;
}

LoadedPlugin* LoadOrReport(const std::wstring& path)
{
    std::wstring error;
    LoadedPlugin* plugin = LoadPlugin(path, &error);
    if (plugin == nullptr) {
        std::fprintf(stderr, "tessel_bench: %s\n", Narrow(error).c_str());
    }
    return plugin;
}

// One plug-in loaded and unloaded through the host's loader, both timed.
bool TimeLoadAndUnload(const std::wstring& dll, std::vector<double>& load, std::vector<double>& unload)
{
    double start = Milliseconds();
    if (LoadOrReport(dll) == nullptr) {
        return false;
    }
    load.push_back(Milliseconds() - start);
    start = Milliseconds();
    UnloadAllPlugins();
    unload.push_back(Milliseconds() - start);
    return true;
}

// Init and Unload of Tessel against the floor plug-in's, which reads the flag and the section,
// registers N combinations, and at unload releases them and saves the file whole. The two take
// turns at going first.
bool MeasureInitAndUnload(const std::wstring& folder, const std::vector<Binding>& bindings, Figures& figures)
{
    const std::wstring settings = folder + L"\\Tessel.ini";
    const std::wstring floorSettings = folder + L"\\Bare.ini";
    const std::wstring text = SettingsText(bindings);
    const size_t capacity = SectionStrings(bindings).size() + 64;
    Figures kept;  // the first round loads the libraries from disk and is not counted
    for (int repetition = -1; repetition < Repetitions(figures.count); ++repetition) {
        Figures& into = repetition < 0 ? kept : figures;
        if (!WriteSettingsFile(settings, text) || !WriteSettingsFile(floorSettings, text)) {
            std::fprintf(stderr, "tessel_bench: cannot write the settings files in %s\n", Narrow(folder).c_str());
            return false;
        }
        for (int turn = 0; turn < 2; ++turn) {
            const bool tessel = (turn + repetition) % 2 == 0;
            if (!(tessel ? TimeLoadAndUnload(folder + L"\\Tessel.dll", into.init, into.unload)
                         : TimeLoadAndUnload(folder + L"\\Bare.dll", into.initFloor, into.unloadFloor))) {
                return false;
            }
        }
    }
    const bool same = ReadHotkeySection(settings, capacity) == ReadHotkeySection(floorSettings, capacity);
    figures.savedAsFloor = (figures.passes == 1 || figures.savedAsFloor) && same;
    return true;
}

double TimeSettingsDialog(LoadedPlugin& tessel)
{
    WatchNextDialogList(DIALOG_LIMIT_MS, IDCANCEL);
    const double start = Milliseconds();
    RunPluginCommand(tessel, 1);
    PumpUntil([] { return WatchedList().destroyed; }, DIALOG_LIMIT_MS + 5000);
    StopWatchingDialogs();
    return WatchedList().painted ? WatchedList().paintedAt - start : NAN;
}

// From OK in the settings dialog to the session over: the dialog gone, the bindings and the flag
// saved, the hotkeys registered again. The pump returns only once the session's request is done.
double TimeSaveAtOk(LoadedPlugin& tessel)
{
    WatchNextDialogList(DIALOG_LIMIT_MS, IDOK);
    RunPluginCommand(tessel, 1);
    PumpUntil([] { return WatchedList().destroyed; }, DIALOG_LIMIT_MS + 5000);
    StopWatchingDialogs();
    return WatchedList().painted ? Milliseconds() - WatchedList().closedAt : NAN;
}

void AddColumn(HWND list, int index, const wchar_t* header, int width)
{
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(header);
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

void SetCell(HWND list, int row, int column, const wchar_t* text)
{
    LVITEMW cell = {};
    cell.iSubItem = column;
    cell.pszText = const_cast<wchar_t*>(text);
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
}

// A window with a list view of the same columns and N rows of fixed text in its four cells, not
// yet shown.
HWND CreateListFloor(const Run& run, int count)
{
    const HWND frame = CreateFloorWindow(WS_OVERLAPPEDWINDOW);
    const HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                      WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 12,
                                      12, 496, 300, frame, nullptr, GetModuleHandleW(nullptr), nullptr);
    WatchList(list);
    SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(run.dialogFont), FALSE);
    AddColumn(list, 0, L"hotkey", 150);
    AddColumn(list, 1, L"info", 250);
    AddColumn(list, 2, L"command", 0);
    AddColumn(list, 3, L"param", 0);
    wchar_t keyText[] = L"Ctrl + Alt + K";
    for (int row = 0; row < count; ++row) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = keyText;
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        SetCell(list, row, 1, L"C:\\Tools\\editor.exe /open \"C:\\Notes\\note.txt\"");
        SetCell(list, row, 2, L"C:\\Tools\\editor.exe");
        SetCell(list, row, 3, L"/open \"C:\\Notes\\note.txt\"");
    }
    return frame;
}

// The list floor shown, up to the list view's first paint.
double TimeListFloor(const Run& run, int count)
{
    const double start = Milliseconds();
    const HWND frame = CreateListFloor(run, count);
    ShowWindow(frame, SW_SHOW);
    PumpUntil([] { return WatchedList().painted; }, DIALOG_LIMIT_MS);
    const double elapsed = WatchedList().painted ? WatchedList().paintedAt - start : NAN;
    DestroyWindow(frame);
    DispatchPending();
    return elapsed;
}

// The platform's part of OK in the settings: the list floor closed, the file saved whole, every
// combination registered again (the settings dialog let go of them when it opened).
double TimeSaveFloor(const Run& run, const std::wstring& folder, const std::vector<Binding>& bindings)
{
    const std::wstring floorSettings = folder + L"\\floor.ini";
    const std::wstring text = L"\xFEFF" + SettingsText(bindings);
    const HWND frame = CreateListFloor(run, static_cast<int>(bindings.size()));
    ShowWindow(frame, SW_SHOW);
    PumpUntil([] { return WatchedList().painted; }, DIALOG_LIMIT_MS);
    const double start = Milliseconds();
    DestroyWindow(frame);
    SaveFileWhole(floorSettings.c_str(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)));
    RegisterAll(run.floorWindow, bindings);
    const double elapsed = Milliseconds() - start;
    UnregisterAll(run.floorWindow, bindings);
    DispatchPending();
    return elapsed;
}

struct PressTimes {
    std::vector<double> total;     // SendInput to the WM_HOTKEY handled
    std::vector<double> sending;   // the SendInput call itself
    std::vector<double> arrival;   // SendInput to the WM_HOTKEY taken from the queue
    std::vector<double> handling;  // its dispatch
    int lost = 0;
};

// Presses the combination `presses` times (after a few unmeasured ones); a press counts when its
// WM_HOTKEY arrived within the limit and the check holds after its dispatch.
PressTimes TimePresses(KeyCode key, const std::function<bool()>& reached)
{
    std::vector<INPUT> inputs = PressInputs(key);
    PressTimes times;
    for (int press = 0; press < WARM_UP_PRESSES + presses; ++press) {
        DispatchPending();
        ClearRecords();
        const double start = Milliseconds();
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
        const double sent = Milliseconds();
        double arrived = NAN;
        double handled = NAN;
        while (Milliseconds() - start < PRESS_LIMIT_MS) {
            MSG message;
            if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                MsgWaitForMultipleObjectsEx(0, nullptr, 20, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
                continue;
            }
            if (message.message == WM_HOTKEY) {
                arrived = Milliseconds();
                DispatchMessageW(&message);
                handled = Milliseconds();
                break;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (std::isnan(handled) || !reached()) {
            ++times.lost;
            continue;
        }
        DispatchPending();
        if (press >= WARM_UP_PRESSES) {
            times.total.push_back(handled - start);
            times.sending.push_back(sent - start);
            times.arrival.push_back(arrived - start);
            times.handling.push_back(handled - arrived);
        }
    }
    return times;
}

bool PressedCallRecorded()
{
    static const std::wstring pressedCall =
        L"ExecuteCommand(Sample.dll," + std::to_wstring(PRESSED_COMMAND_ID) + L")";
    const std::vector<std::wstring> calls = RecordedCalls();
    return std::find(calls.begin(), calls.end(), pressedCall) != calls.end();
}

// The least way to hold the bindings: each record in a block of its own, exactly as long as the
// record and the program lists behind it, and a list box whose entries carry nothing but the
// block's address (drawn by an owner and without strings, so it keeps no text of its own).
// Counted as Tessel's are.
double HeapFloorPerBinding(const std::wstring& folder, int count, bool limited)
{
    const SIZE_T listBytes = limited ? (std::size(BENCH_ONLY_PROGRAMS) + 1) * sizeof(wchar_t) : 0;
    const HWND list = CreateWindowExW(0, L"LISTBOX", nullptr, LBS_OWNERDRAWFIXED | LBS_NOINTEGRALHEIGHT, 0, 0, 0, 0,
                                      nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    std::vector<void*> records(static_cast<size_t>(count));
    ReleaseProfileCache(folder);
    const SIZE_T before = HeldHeapBytes();
    for (void*& record : records) {
        record = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(HotkeyItem) + listBytes);
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(record));
    }
    const SIZE_T after = HeldHeapBytes();
    DestroyWindow(list);
    for (void* record : records) {
        HeapFree(GetProcessHeap(), 0, record);
    }
    return (static_cast<double>(after) - static_cast<double>(before)) / count;
}

// What loading Tessel with the folder's settings file adds to the heaps of the process; Tessel
// stays loaded.
double LoadCounted(const std::wstring& folder, LoadedPlugin** tessel)
{
    ReleaseProfileCache(folder);
    const SIZE_T before = HeldHeapBytes();
    *tessel = LoadOrReport(folder + L"\\Tessel.dll");
    ReleaseProfileCache(folder);
    return *tessel != nullptr ? static_cast<double>(HeldHeapBytes()) - static_cast<double>(before) : NAN;
}

// What loading Tessel with no bindings at all holds on the heap, so the per-binding figure is
// what each binding adds. Measured afresh beside each figure: the heap that Wine sets up for the
// process changes as the run goes on.
double MeasureFixedHeap(const Run& run)
{
    const std::wstring folder = PrepareFolder(run, L"n0");
    WriteSettingsFile(folder + L"\\Tessel.ini", SettingsText({}));
    // Once unmeasured: the first load of the library also sets up what every later load reuses.
    double held = NAN;
    for (int pass = 0; pass < 2; ++pass) {
        LoadedPlugin* tessel = nullptr;
        held = LoadCounted(folder, &tessel);
        UnloadAllPlugins();
    }
    return held;
}

// The heap held per binding when every binding is limited to programs, beside its floor.
bool MeasureHeapWithLists(const std::wstring& folder, const std::vector<Binding>& bindings, double fixedHeap,
                          Figures& figures)
{
    if (!WriteSettingsFile(folder + L"\\Tessel.ini", SettingsText(bindings, true))) {
        return false;
    }
    LoadedPlugin* tessel = nullptr;
    const double held = LoadCounted(folder, &tessel);
    UnloadAllPlugins();
    figures.heapListsPerBinding.push_back((held - fixedHeap) / figures.count);
    figures.heapListsFloorPerBinding.push_back(HeapFloorPerBinding(folder, figures.count, true));
    return tessel != nullptr;
}

// Tessel and Sample loaded as the host loads them: the heap held, the settings dialog, presses.
bool MeasureLoaded(const Run& run, const std::wstring& folder, const std::vector<Binding>& bindings, Figures& figures)
{
    const double fixedHeap = MeasureFixedHeap(run);
    if (!MeasureHeapWithLists(folder, bindings, fixedHeap, figures) ||
        !WriteSettingsFile(folder + L"\\Tessel.ini", SettingsText(bindings))) {
        return false;
    }
    LoadedPlugin* tessel = nullptr;
    const double held = LoadCounted(folder, &tessel);
    if (tessel == nullptr) {
        return false;
    }
    figures.heapPerBinding.push_back((held - fixedHeap) / figures.count);
    figures.heapFloorPerBinding.push_back(HeapFloorPerBinding(folder, figures.count, false));
    if (LoadOrReport(folder + L"\\Sample.dll") == nullptr) {
        UnloadAllPlugins();
        return false;
    }
    DispatchPending();

    TimeSettingsDialog(*tessel);  // the first opening also loads the dialog's fonts and classes
    for (int repetition = 0; repetition < Repetitions(figures.count); ++repetition) {
        figures.dialog.push_back(TimeSettingsDialog(*tessel));
        figures.dialogRows = WatchedList().rows;
        figures.dialogFloor.push_back(TimeListFloor(run, figures.count));
        if (figures.count <= MAX_SAVED_AT_OK) {
            figures.saveAtOk.push_back(TimeSaveAtOk(*tessel));
            // Tessel's hotkeys switched off meanwhile: the floor registers the same combinations,
            // and a combination that another window holds is refused at once.
            RunPluginCommand(*tessel, 0);
            figures.saveAtOkFloor.push_back(TimeSaveFloor(run, folder, bindings));
            RunPluginCommand(*tessel, 0);
        }
    }

    const KeyCode pressed = bindings[static_cast<size_t>(PressedIndex(figures.count))].key;
    const PressTimes presses = TimePresses(pressed, PressedCallRecorded);
    const auto append = [](std::vector<double>& into, const std::vector<double>& times) {
        into.insert(into.end(), times.begin(), times.end());
    };
    append(figures.press, presses.total);
    append(figures.pressSending, presses.sending);
    append(figures.pressArrival, presses.arrival);
    append(figures.pressHandling, presses.handling);
    figures.lostPresses += presses.lost;
    UnloadAllPlugins();

    // The press's floor, the platform's own road from SendInput to a handled WM_HOTKEY: the same
    // combinations registered in the same order on a bare window.
    RegisterAll(run.floorWindow, bindings);
    append(figures.pressFloor, TimePresses(pressed, [] { return true; }).total);
    UnregisterAll(run.floorWindow, bindings);
    return true;
}

// Figures are only worth reading when Tessel did the work they time: every row shown, every
// press reaching the host, the saved section as the floor wrote it.
bool MeasuredWhatItMeant(const Figures& figures)
{
    bool sound = true;
    if (figures.dialogRows != figures.count) {
        std::fprintf(stderr, "tessel_bench: N=%d: the dialog showed %d rows\n", figures.count, figures.dialogRows);
        sound = false;
    }
    const auto pressCount = static_cast<size_t>(presses) * static_cast<size_t>(figures.passes);
    if (figures.lostPresses != 0 || figures.press.size() != pressCount || figures.pressFloor.size() != pressCount) {
        std::fprintf(stderr, "tessel_bench: N=%d: %d presses did not reach the host\n", figures.count,
                     figures.lostPresses);
        sound = false;
    }
    if (!figures.savedAsFloor) {
        std::fprintf(stderr, "tessel_bench: N=%d: the saved [hotkeys] differs from the floor's\n", figures.count);
        sound = false;
    }
    // Every binding holds its record at least: a count below that missed blocks, or counted some
    // that went away meanwhile.
    const auto holdsRecords = [](const std::vector<double>& bytes) { return Median(bytes) >= sizeof(HotkeyItem); };
    if (!holdsRecords(figures.heapPerBinding) || !holdsRecords(figures.heapFloorPerBinding) ||
        !holdsRecords(figures.heapListsPerBinding) || !holdsRecords(figures.heapListsFloorPerBinding)) {
        std::fprintf(stderr, "tessel_bench: N=%d: the heap held less than a record per binding\n", figures.count);
        sound = false;
    }
    const auto painted = [](const std::vector<double>& times) {
        return std::none_of(times.begin(), times.end(), [](double time) { return std::isnan(time); });
    };
    if (!painted(figures.dialog) || !painted(figures.dialogFloor)) {
        std::fprintf(stderr, "tessel_bench: N=%d: a list view was never painted\n", figures.count);
        sound = false;
    }
    return sound;
}

std::vector<int> ParseCounts(const wchar_t* text)
{
    std::vector<int> counts;
    for (const wchar_t* part = text; *part != L'\0';) {
        const int count = StrToIntW(part);
        if (count > 0) {
            counts.push_back(count);
        }
        const wchar_t* comma = StrChrW(part, L',');
        part = comma != nullptr ? comma + 1 : part + lstrlenW(part);
    }
    return counts;
}

// The settings dialog's font, so the floor's rows draw with the same glyphs.
HFONT CreateDialogFont()
{
    const HDC screen = GetDC(nullptr);
    const int height = -MulDiv(9, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"MS Shell Dlg");
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    Run run = {};
    run.dllSource = ProgramFolder() + L"\\Tessel.dll";
    run.floorSource = ProgramFolder() + L"\\Bare.dll";
    run.sampleSource = ProgramFolder() + L"\\Sample.dll";
    std::vector<int> counts = {10, 100, 1000, 5000};
    int passes = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (lstrcmpW(argv[i], L"--dll") == 0) {
            run.dllSource = argv[i + 1];
        } else if (lstrcmpW(argv[i], L"--floor-dll") == 0) {
            run.floorSource = argv[i + 1];
        } else if (lstrcmpW(argv[i], L"--counts") == 0) {
            counts = ParseCounts(argv[i + 1]);
        } else if (lstrcmpW(argv[i], L"--repeat") == 0) {
            passes = std::max(1, StrToIntW(argv[i + 1]));
        } else if (lstrcmpW(argv[i], L"--presses") == 0) {
            presses = std::max(1, StrToIntW(argv[i + 1]));
        }
    }
    for (const std::wstring& dll : {run.dllSource, run.floorSource}) {
        if (GetFileAttributesW(dll.c_str()) == INVALID_FILE_ATTRIBUTES) {
            std::fprintf(stderr, "tessel_bench: %s is missing\n", Narrow(dll).c_str());
            return 1;
        }
    }

    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    if (CreateHostMainWindow(false) == nullptr) {
        std::fprintf(stderr, "tessel_bench: cannot create the host's main window\n");
        return 1;
    }
    run.floorWindow = CreateFloorWindow(0);
    run.dialogFont = CreateDialogFont();

    std::vector<Figures> all(counts.size());
    for (int pass = 1; pass <= passes; ++pass) {
        for (size_t i = 0; i < counts.size(); ++i) {
            std::fprintf(stderr, "tessel_bench: pass %d of %d, %d bindings\n", pass, passes, counts[i]);
            Figures& figures = all[i];
            figures.count = counts[i];
            figures.passes = pass;
            const std::vector<Binding> bindings = MakeBindings(counts[i]);
            const std::wstring folder = PrepareFolder(run, L"n" + std::to_wstring(counts[i]));
            if (!MeasureInitAndUnload(folder, bindings, figures) || !MeasureLoaded(run, folder, bindings, figures)) {
                return 1;
            }
        }
    }
    const ScopeFigures scope = MeasureProgramScope(PrepareFolder(run, L"scope"), std::min(presses, MAX_SCOPE_PRESSES));
    PrintReport(all, Narrow(run.dllSource));
    PrintScopeReport(scope);
    DestroyWindow(run.floorWindow);
    DeleteObject(run.dialogFont);
    DestroyHostMainWindow();
    if (scope.lost != 0) {
        std::fprintf(stderr, "tessel_bench: %d presses in an excluded program did not reach it\n", scope.lost);
    }
    return std::all_of(all.begin(), all.end(), MeasuredWhatItMeant) && scope.lost == 0 ? 0 : 1;
}
