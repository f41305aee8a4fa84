// A hostile or careless host: plug-in lists with impossible counts and missing or endless texts,
// file names past every buffer, and events in an order no well-behaved host uses. The plug-in
// must not crash, hang or write out of bounds, and the settings file keeps the bindings.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "plugin/host_abi.h"
#include "res/resource_ids.h"
#include "tests/dialog_driver.h"
#include "tests/heap_in_use.h"
#include "tests/test_host.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr wchar_t SETTINGS_CAPTION[] = L"Tesselの設定";
constexpr wchar_t ADD_CAPTION[] = L"アイテム追加";
constexpr wchar_t PICKER_CAPTION[] = L"プラグインコマンド選択";
constexpr int LONG_TEXT = 10000;
// Commands the item editor's picker offers: those the host shows in its menus.
constexpr uint32_t MENU_FLAGS_SHOWN = 4;

// Two bindings that name plug-ins of the careless lists: one by its file name, one by none.
const wchar_t BINDINGS[] =
    L"[setting]\r\nenable=1\r\n[hotkeys]\r\n"
    L"item0_key=1611\r\nitem0_command=Careless.dll|1\r\nitem0_param=first\r\n"
    L"item1_key=1610\r\nitem1_command=|2\r\nitem1_param=second\r\n";

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t unit : text.substr(0, 200)) {
        out += unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?';
    }
    return text.size() > 200 ? out + "... (" + std::to_string(text.size()) + " units)" : out;
}

std::wstring LongText(wchar_t first)
{
    std::wstring text(LONG_TEXT, first);
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<wchar_t>(first + i % 26);
    }
    return text;
}

// A plug-in list as a careless host might hand it out; it owns every record and text.
class CarelessList {
public:
    wchar_t* Text(const std::wstring& text)
    {
        texts_.push_back(text);
        return texts_.back().data();
    }

    // Two commands shown in menus, ids 1 and 2, with the texts given (null allowed).
    PluginCommandInfo* Commands(wchar_t* firstName, wchar_t* firstCaption, wchar_t* secondName, wchar_t* secondCaption)
    {
        commands_.push_back({{firstName, firstCaption, 1, 0, 0, MENU_FLAGS_SHOWN, 0, 0},
                             {secondName, secondCaption, 2, 0, 0, MENU_FLAGS_SHOWN, 0, 0}});
        return commands_.back().data();
    }

    PluginCommandInfo* UsualCommands() { return Commands(Text(L"c1"), Text(L"first"), Text(L"c2"), Text(L"second")); }

    CarelessList& Add(wchar_t* name, wchar_t* fileName, int32_t count, PluginCommandInfo* commands)
    {
        plugins_.push_back({0, name, fileName, 0, 0, 0, count, commands, 0});
        return *this;
    }

    // The null-terminated array; none at all when asked for.
    PluginInfo** Array(bool none = false)
    {
        array_.clear();
        for (PluginInfo& plugin : plugins_) {
            array_.push_back(&plugin);
        }
        array_.push_back(nullptr);
        return none ? nullptr : array_.data();
    }

private:
    std::deque<std::wstring> texts_;
    std::deque<std::vector<PluginCommandInfo>> commands_;
    std::deque<PluginInfo> plugins_;
    std::vector<PluginInfo*> array_;
};

struct ListCase {
    const char* name;
    std::function<void(CarelessList&)> build;
    bool noArray;
    std::wstring info0;  // what the settings list says of binding 0 ("Careless.dll|1")
    std::wstring info1;  // and of binding 1 ("|2")
    int shownCommands;   // the picker's rows under "all"
};

std::vector<ListCase> ListCases()
{
    const std::wstring error0 = L"[error] Careless.dll|1";
    const std::wstring error1 = L"[error] |2";
    return {
        {"negative command count",
         [](CarelessList& l) { l.Add(l.Text(L"Careless"), l.Text(L"Careless.dll"), -1, l.UsualCommands()); }, false,
         error0, error1, 0},
        {"most negative command count",
         [](CarelessList& l) { l.Add(l.Text(L"Careless"), l.Text(L"Careless.dll"), INT_MIN, l.UsualCommands()); },
         false, error0, error1, 0},
        {"zero commands with an array",
         [](CarelessList& l) { l.Add(l.Text(L"Careless"), l.Text(L"Careless.dll"), 0, l.UsualCommands()); }, false,
         error0, error1, 0},
        {"two commands without an array",
         [](CarelessList& l) { l.Add(l.Text(L"Careless"), l.Text(L"Careless.dll"), 2, nullptr); }, false, error0,
         error1, 0},
        {"largest count without an array",
         [](CarelessList& l) { l.Add(l.Text(L"Careless"), l.Text(L"Careless.dll"), INT_MAX, nullptr); }, false,
         error0, error1, 0},
        {"null plug-in name",
         [](CarelessList& l) { l.Add(nullptr, l.Text(L"Careless.dll"), 2, l.UsualCommands()); }, false, L" - first",
         error1, 2},
        {"null file name",
         [](CarelessList& l) { l.Add(l.Text(L"Careless"), nullptr, 2, l.UsualCommands()); }, false, error0,
         L"Careless - second", 2},
        {"null command texts",
         [](CarelessList& l) {
             l.Add(l.Text(L"Careless"), l.Text(L"Careless.dll"), 2, l.Commands(nullptr, nullptr, nullptr, nullptr));
         },
         false, L"Careless - ", error1, 2},
        {"every text null",
         [](CarelessList& l) { l.Add(nullptr, nullptr, 2, l.Commands(nullptr, nullptr, nullptr, nullptr)); }, false,
         error0, L" - ", 2},
        {"10,000-unit plug-in name",
         [](CarelessList& l) { l.Add(l.Text(LongText(L'a')), l.Text(L"Careless.dll"), 2, l.UsualCommands()); }, false,
         LongText(L'a') + L" - first", error1, 2},
        {"10,000-unit file name",
         [](CarelessList& l) { l.Add(l.Text(L"Careless"), l.Text(LongText(L'a')), 2, l.UsualCommands()); }, false,
         error0, error1, 2},
        {"10,000-unit command texts",
         [](CarelessList& l) {
             l.Add(l.Text(L"Careless"), l.Text(L"Careless.dll"), 2,
                   l.Commands(l.Text(LongText(L'n')), l.Text(LongText(L'A')), l.Text(LongText(L'N')), l.Text(L"")));
         },
         false, L"Careless - " + LongText(L'A'), error1, 2},
        {"empty list", [](CarelessList&) {}, false, error0, error1, 0},
        {"no list at all", [](CarelessList&) {}, true, error0, error1, 0},
        {"all of them at once",
         [](CarelessList& l) {
             l.Add(l.Text(L"Careless"), l.Text(L"Careless.dll"), -1, l.UsualCommands());
             l.Add(nullptr, nullptr, INT_MAX, nullptr);
             l.Add(l.Text(LongText(L'a')), l.Text(LongText(L'b')), 2, l.Commands(nullptr, l.Text(LongText(L'c')), nullptr, nullptr));
             l.Add(l.Text(L"Second"), l.Text(L"careless.DLL"), 2, l.UsualCommands());
             l.Add(nullptr, l.Text(L""), 2, l.UsualCommands());
         },
         false, error0, error1, 6},
    };
}

std::wstring CellText(HWND list, int row, int column)
{
    std::wstring text(4 * LONG_TEXT, L'\0');
    LVITEMW cell = {};
    cell.iSubItem = column;
    cell.pszText = text.data();
    cell.cchTextMax = static_cast<int>(text.size());
    const auto length = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
    text.resize(static_cast<size_t>(length > 0 ? length : 0));
    return text;
}

// What the dialogs showed for one careless list.
struct SessionView {
    std::wstring info0 = L"(settings not reached)";
    std::wstring info1;
    int treeEntries = -1;
    int shownCommands = -1;
    size_t longestReference = 0;
    std::wstring chosen = L"(picker not reached)";
};

// Settings, Add, then the picker: every tree entry and every row of "all" are selected in turn,
// the first row is chosen, the editor is cancelled and the settings end with OK.
SessionView RunCarelessSession(TestHost& host)
{
    SessionView view;
    host.OnWindow(L"#32770", SETTINGS_CAPTION, [&](HWND settings) {
        const HWND list = GetDlgItem(settings, IDC_HOTKEY_LIST);
        view.info0 = CellText(list, 0, 1);
        view.info1 = CellText(list, 1, 1);
        host.OnWindow(L"#32770", ADD_CAPTION, [&](HWND editor) {
            SetDlgItemTextW(editor, IDC_COMMAND, L"typed.exe");
            host.OnWindow(L"#32770", PICKER_CAPTION, [&](HWND picker) {
                const HWND tree = GetDlgItem(picker, IDC_PICKER_TREE);
                const HWND commands = GetDlgItem(picker, IDC_PICKER_LIST);
                view.treeEntries = static_cast<int>(TreeEntries(tree).size());
                for (int entry = view.treeEntries - 1; entry >= 0; --entry) {
                    SelectTreeEntry(tree, entry);
                }
                view.shownCommands = static_cast<int>(SendMessageW(commands, LVM_GETITEMCOUNT, 0, 0));
                for (int row = view.shownCommands - 1; row >= 0; --row) {
                    SelectListRow(commands, row);
                    view.longestReference =
                        std::max(view.longestReference, TestHost::ItemText(picker, IDC_PICKER_REFERENCE).size());
                }
                TestHost::Click(picker, view.shownCommands > 0 ? IDOK : IDCANCEL);
            });
            TestHost::Click(editor, IDC_CHOOSE_COMMAND);
            view.chosen = TestHost::ItemText(editor, IDC_COMMAND);
            TestHost::Click(editor, IDCANCEL);
        });
        TestHost::Click(settings, IDC_ADD_ITEM);
        TestHost::Click(settings, IDOK);
    });
    host.Execute(L"Tessel.dll", 1);
    EXPECT_TRUE(host.WaitForWindows());
    return view;
}

void ExpectBindingsKept(const TestHost& host)
{
    const std::wstring saved = host.ReadSettings();
    EXPECT_NE(saved.find(L"item0_key=1611\r\nitem0_command=Careless.dll|1\r\nitem0_param=first"), std::wstring::npos)
        << Narrow(saved);
    EXPECT_NE(saved.find(L"item1_key=1610\r\nitem1_command=|2\r\nitem1_param=second"), std::wstring::npos)
        << Narrow(saved);
}

TEST(CarelessHost, PluginListsWithImpossibleCountsAndMissingOrEndlessTextsBreakNoDialog)
{
    TestHost host;
    host.WriteSettings(BINDINGS);
    ASSERT_TRUE(host.Load());
    int tried = 0;
    for (const ListCase& listCase : ListCases()) {
        SCOPED_TRACE(listCase.name);
        CarelessList list;
        listCase.build(list);
        host.SetPluginArray(list.Array(listCase.noArray));
        const SessionView view = RunCarelessSession(host);
        ++tried;

        EXPECT_EQ(view.info0, listCase.info0) << Narrow(view.info0);
        EXPECT_EQ(view.info1, listCase.info1) << Narrow(view.info1);
        EXPECT_EQ(view.shownCommands, listCase.shownCommands);
        EXPECT_GE(view.treeEntries, 1);
        // "fileName|id" holds at most a 259-unit name, the bar and an id.
        EXPECT_LE(view.longestReference, 259u + 12u);
        EXPECT_LE(view.chosen.size(), 259u);
        if (listCase.shownCommands == 0) {
            EXPECT_EQ(view.chosen, L"typed.exe");
        }
        EXPECT_THAT(TestHost::DialogCaptions(), IsEmpty());
    }
    host.Unload();
    ExpectBindingsKept(host);
    std::printf("careless plug-in lists tried: %d\n", tried);
}

// Tessel.dll from the test's folder, driven through its exports as a host of its own would.
class TesselExports {
public:
    explicit TesselExports(const TestHost& host) : module_(LoadLibraryW((host.Folder() + L"\\Tessel.dll").c_str())) {}
    ~TesselExports() { Free(); }
    TesselExports(const TesselExports&) = delete;
    TesselExports& operator=(const TesselExports&) = delete;

    template <typename Event>
    Event Find(const char* name) const
    {
        return reinterpret_cast<Event>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    PluginInfo* InitPluginInfo(const wchar_t* fileName) const
    {
        return Find<InitPluginInfoEvent>("TTBEvent_InitPluginInfo")(fileName);
    }
    BOOL Init(const wchar_t* fileName, DWORD_PTR handle) const { return Find<InitEvent>("TTBEvent_Init")(fileName, handle); }
    BOOL Unload() const { return Find<UnloadEvent>("TTBEvent_Unload")(); }
    BOOL Execute(int32_t commandId) const { return Find<ExecuteEvent>("TTBEvent_Execute")(commandId, nullptr); }
    bool Loaded() const { return module_ != nullptr; }
    // FreeLibrary, as the host would, on whichever thread calls it.
    void Free()
    {
        if (module_ != nullptr) {
            FreeLibrary(module_);
            module_ = nullptr;
        }
    }
    // The addresses the image takes while it is mapped.
    std::pair<uintptr_t, uintptr_t> ImageRange() const
    {
        const auto base = reinterpret_cast<uintptr_t>(module_);
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
        return {base, base + nt->OptionalHeader.SizeOfImage};
    }

private:
    HMODULE module_;
};

std::wstring TextOf(const wchar_t* text)
{
    return text != nullptr ? std::wstring(text) : std::wstring(L"(null)");
}

TEST(CarelessHost, FileNamesOfAnyLengthOrNoneAreCutToTheBufferAndHarmNothing)
{
    TestHost host;
    host.WriteSettings(L"[hotkeys]\r\nitem0_key=1611\r\nitem0_command=Other.dll|5\r\nitem0_param=\r\n");
    struct NameCase {
        const char* name;
        std::wstring text;
        bool null;
    };
    const NameCase names[] = {
        {"259 units", std::wstring(259, L'n'), false}, {"260 units", std::wstring(260, L'n'), false},
        {"1,000 units", std::wstring(1000, L'n'), false}, {"empty", L"", false}, {"null", L"", true},
    };
    int tried = 0;
    for (const NameCase& name : names) {
        SCOPED_TRACE(name.name);
        const wchar_t* fileName = name.null ? nullptr : name.text.c_str();
        const std::wstring kept = name.text.substr(0, 259);
        TesselExports tessel(host);
        ASSERT_TRUE(tessel.Loaded());

        const PluginInfo* info = tessel.InitPluginInfo(fileName);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(TextOf(info->fileName), kept);
        EXPECT_EQ(TextOf(info->name), L"Tessel");
        ASSERT_EQ(info->commandCount, 2);
        EXPECT_EQ(TextOf(info->commands[0].name), L"Tessel enable");
        EXPECT_EQ(TextOf(info->commands[1].name), L"Tessel setting");

        host.ClearRecords();
        EXPECT_EQ(tessel.Init(fileName, 77), TRUE);
        EXPECT_EQ(TextOf(info->fileName), kept);
        EXPECT_EQ(info->commandCount, 2);
        host.Press({VK_CONTROL, VK_MENU, 'K'});
        EXPECT_EQ(tessel.Execute(0), TRUE);
        EXPECT_EQ(tessel.Execute(0), TRUE);
        EXPECT_THAT(host.Calls(), ElementsAre(L"SetMenuProperty(77,0,8,8)", L"ExecuteCommand(Other.dll,5)",
                                              L"SetMenuProperty(77,0,8,0)", L"SetMenuProperty(77,0,8,8)"));
        EXPECT_EQ(tessel.Unload(), TRUE);
        EXPECT_EQ(CountWindows(L"TesselClass"), 0);
        ++tried;
    }
    EXPECT_NE(host.ReadSettings().find(L"item0_command=Other.dll|5"), std::wstring::npos);
    std::printf("host file names tried: %d\n", tried);
}

TEST(CarelessHost, EventsBeforeInitDoNothingAndInitStillWorksAfterThem)
{
    TestHost host;
    host.WriteSettings(L"[hotkeys]\r\nitem0_key=1611\r\nitem0_command=Other.dll|5\r\nitem0_param=\r\n");
    TesselExports tessel(host);
    ASSERT_TRUE(tessel.Loaded());
    host.ClearRecords();
    for (int32_t command : {0, 1, 2, -1, INT_MAX}) {
        EXPECT_EQ(tessel.Execute(command), TRUE) << command;
    }
    EXPECT_EQ(tessel.Unload(), FALSE);  // nothing to unload: the window class was never registered
    host.Pump(100);
    EXPECT_THAT(host.Calls(), IsEmpty());
    EXPECT_THAT(TestHost::DialogCaptions(), IsEmpty());
    EXPECT_EQ(CountWindows(L"TesselClass"), 0);

    tessel.InitPluginInfo(L"Tessel.dll");
    EXPECT_EQ(tessel.Init(L"Tessel.dll", 9), TRUE);
    host.Press({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_THAT(host.Calls(), ElementsAre(L"SetMenuProperty(9,0,8,8)", L"ExecuteCommand(Other.dll,5)"));
    EXPECT_EQ(tessel.Unload(), TRUE);
    EXPECT_NE(host.ReadSettings().find(L"item0_command=Other.dll|5"), std::wstring::npos);
}

TEST(CarelessHost, EventsAfterUnloadDoNothingAndASecondUnloadIsHarmless)
{
    TestHost host;
    host.WriteSettings(L"[hotkeys]\r\nitem0_key=1611\r\nitem0_command=Other.dll|5\r\nitem0_param=\r\n");
    TesselExports tessel(host);
    tessel.InitPluginInfo(L"Tessel.dll");
    ASSERT_EQ(tessel.Init(L"Tessel.dll", 3), TRUE);
    EXPECT_EQ(tessel.Unload(), TRUE);
    const std::wstring saved = host.ReadSettings();

    host.ClearRecords();
    EXPECT_EQ(tessel.Execute(0), TRUE);
    EXPECT_EQ(tessel.Execute(1), TRUE);
    EXPECT_EQ(tessel.Unload(), FALSE);
    host.Press({VK_CONTROL, VK_MENU, 'K'});
    host.Pump(100);
    EXPECT_THAT(host.Calls(), ElementsAre(L"SetMenuProperty(3,0,8,0)"));  // the mark cleared, nothing else
    EXPECT_THAT(TestHost::DialogCaptions(), IsEmpty());
    EXPECT_EQ(host.ReadSettings(), saved);
}

TEST(CarelessHost, FreedWithoutUnloadItKeepsWorkingAndLoadedAgainItIsTheOneInstanceThatUnloads)
{
    TestHost host;
    host.WriteSettings(L"[hotkeys]\r\nitem0_key=1611\r\nitem0_command=Other.dll|5\r\nitem0_param=\r\n");
    {
        TesselExports tessel(host);
        tessel.InitPluginInfo(L"Tessel.dll");
        ASSERT_EQ(tessel.Init(L"Tessel.dll", 3), TRUE);
    }
    host.Pump(1200);  // the settings file's watch was due twice
    EXPECT_EQ(CountWindows(L"TesselClass"), 1);
    host.ClearRecords();
    host.Press({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_THAT(host.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,5)"));

    ASSERT_TRUE(host.Load());
    EXPECT_EQ(CountWindows(L"TesselClass"), 1);
    EXPECT_THAT(host.Unload(), ElementsAre(TRUE));
    EXPECT_EQ(CountWindows(L"TesselClass"), 0);
    host.ClearRecords();
    host.Press({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_THAT(host.Calls(), IsEmpty());
}

// Exceptions raised at an address of the watched range; they go on to the platform's handlers.
std::pair<uintptr_t, uintptr_t> watchedImage;
volatile LONG faultsInImage;

LONG CALLBACK CountFaultInImage(EXCEPTION_POINTERS* exception)
{
    const auto at = reinterpret_cast<uintptr_t>(exception->ExceptionRecord->ExceptionAddress);
    if (at >= watchedImage.first && at < watchedImage.second) {
        InterlockedIncrement(&faultsInImage);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

void SendForegroundEvents(TestHost& host)
{
    for (int i = 0; i < 3; ++i) {
        NotifyWinEvent(EVENT_SYSTEM_FOREGROUND, host.MainWindow(), OBJID_WINDOW, CHILDID_SELF);
    }
    host.Pump(100);
}

// A binding for one program keeps the plug-in following the foreground.
TEST(CarelessHost, FreedFromAnotherThreadWithoutUnloadNoneOfItsCodeRunsOnceItsImageIsGone)
{
    for (const bool unloadThere : {false, true}) {
        SCOPED_TRACE(unloadThere ? "unloaded and freed on another thread" : "freed on another thread");
        TestHost host;
        host.WriteSettings(L"[hotkeys]\r\nitem0_key=1611\r\nitem0_command=Other.dll|5\r\nitem0_only=notepad.exe\r\n");
        {
            TesselExports tessel(host);
            ASSERT_TRUE(tessel.Loaded());
            watchedImage = tessel.ImageRange();
            tessel.InitPluginInfo(L"Tessel.dll");
            ASSERT_EQ(tessel.Init(L"Tessel.dll", 3), TRUE);
            std::thread([&tessel, unloadThere] {
                if (unloadThere) {
                    tessel.Unload();
                }
                tessel.Free();
            }).join();
        }
        faultsInImage = 0;
        const PVOID handler = AddVectoredExceptionHandler(1, &CountFaultInImage);
        SendForegroundEvents(host);
        ASSERT_TRUE(host.Load());
        host.Unload();
        EXPECT_EQ(GetModuleHandleW((host.Folder() + L"\\Tessel.dll").c_str()), nullptr);
        SendForegroundEvents(host);
        RemoveVectoredExceptionHandler(handler);
        EXPECT_EQ(faultsInImage, 0);
        EXPECT_EQ(CountWindows(L"TesselClass"), 0);
    }
}

TEST(CarelessHost, FreedWithoutUnloadAgainAndAgainItsHeapGrowsNoFurther)
{
    TestHost host;
    // 200 KB: whatever is kept of the file per start shows at once.
    host.WriteSettings(L"[hotkeys]\r\nitem0_key=1611\r\nitem0_command=Other.dll|5\r\n[notes]\r\nnote=" +
                       std::wstring(100 * 1024, L'n') + L"\r\n");
    std::vector<SSIZE_T> inUse;
    for (int cycle = 0; cycle < 4; ++cycle) {
        {
            TesselExports tessel(host);
            tessel.InitPluginInfo(L"Tessel.dll");
            ASSERT_EQ(tessel.Init(L"Tessel.dll", 3), TRUE);
        }
        inUse.push_back(WalkProcessHeap().bytes);
    }
    EXPECT_LT(inUse.back() - inUse.front(), 32 * 1024);
    ASSERT_TRUE(host.Load());  // the host's unload at the end lets it go
}

TEST(CarelessHost, InitCalledTwiceKeepsOneHotkeyWindowAndTheUnloadLeavesNone)
{
    TestHost host;
    host.WriteSettings(L"[hotkeys]\r\nitem0_key=1611\r\nitem0_command=Other.dll|5\r\nitem0_param=\r\n");
    ASSERT_TRUE(host.Load());
    const auto init = reinterpret_cast<InitEvent>(reinterpret_cast<void*>(host.Export(L"Tessel.dll", "TTBEvent_Init")));
    ASSERT_NE(init, nullptr);
    EXPECT_EQ(init(L"Tessel.dll", 1), TRUE);
    EXPECT_EQ(CountWindows(L"TesselClass"), 1);

    host.ClearRecords();
    host.Press({VK_CONTROL, VK_MENU, 'K'});
    EXPECT_THAT(host.Calls(), ElementsAre(L"ExecuteCommand(Other.dll,5)"));
    host.Execute(L"Tessel.dll", 0);
    EXPECT_FALSE(host.MenuCheckState(L"Tessel.dll", 0));

    EXPECT_THAT(host.Unload(), ElementsAre(TRUE));
    EXPECT_EQ(CountWindows(L"TesselClass"), 0);
    const std::wstring saved = host.ReadSettings();
    EXPECT_NE(saved.find(L"item0_command=Other.dll|5"), std::wstring::npos);
    EXPECT_NE(saved.find(L"enable=0"), std::wstring::npos);
}

TEST(CarelessHost, SettingsRequestedAndUnloadedBeforeTheHostsLoopRunsOpenNothing)
{
    TestHost host;
    host.WriteSettings(BINDINGS);
    ASSERT_TRUE(host.Load());
    EXPECT_EQ(host.Execute(L"Tessel.dll", 1), TRUE);
    host.Unload();
    host.Pump(300);
    EXPECT_THAT(TestHost::DialogCaptions(), IsEmpty());
    EXPECT_EQ(host.OutstandingPluginArrays(), 0);
    ExpectBindingsKept(host);
}

// Unloads the plug-in from inside the modal loop that the steps reach, and checks that every
// dialog is gone, the plug-in list was handed back and the bindings were saved.
class UnloadFromInside : public ::testing::Test {
protected:
    void SetUp() override
    {
        host_.WriteSettings(BINDINGS);
        ASSERT_TRUE(host_.Load({L"Tessel.dll", L"Sample.dll"}));
    }

    void InEditor(std::function<void(HWND)> action)
    {
        host_.OnWindow(L"#32770", SETTINGS_CAPTION, [this, action](HWND settings) {
            host_.OnWindow(L"#32770", ADD_CAPTION, action);
            TestHost::Click(settings, IDC_ADD_ITEM);
        });
    }

    void Finish()
    {
        host_.Execute(L"Tessel.dll", 1);
        EXPECT_TRUE(host_.WaitForWindows());
        host_.Pump(100);
        EXPECT_TRUE(unloaded_);
        EXPECT_THAT(TestHost::DialogCaptions(), IsEmpty());
        EXPECT_EQ(host_.OutstandingPluginArrays(), 0);
        EXPECT_EQ(CountWindows(L"TesselClass"), 0);
        ExpectBindingsKept(host_);
    }

    void Unload()
    {
        host_.Unload();
        unloaded_ = true;
    }

    TestHost host_;
    bool unloaded_ = false;
};

TEST_F(UnloadFromInside, TheCommandPickerEndsEveryDialogAndKeepsTheBindings)
{
    InEditor([this](HWND editor) {
        host_.OnWindow(L"#32770", PICKER_CAPTION, [this](HWND picker) {
            SelectListRow(GetDlgItem(picker, IDC_PICKER_LIST), 0);
            Unload();
        });
        TestHost::Click(editor, IDC_CHOOSE_COMMAND);
    });
    Finish();
}

TEST_F(UnloadFromInside, TheOpenFileDialogEndsEveryDialogAndKeepsTheBindings)
{
    InEditor([this](HWND editor) {
        OnOpenFileDialog([this](HWND, HWND) { Unload(); });
        TestHost::Click(editor, IDC_CHOOSE_FILE);
    });
    Finish();
}

TEST_F(UnloadFromInside, TheEditorsMessageAboutAMissingKeyEndsEveryDialogAndKeepsTheBindings)
{
    InEditor([this](HWND editor) {
        host_.OnMessageBox([this](HWND) { Unload(); });
        TestHost::Click(editor, IDOK);
    });
    Finish();
}

TEST_F(UnloadFromInside, TheQuestionBeforeADeletionEndsEveryDialogAndKeepsTheBindings)
{
    host_.OnWindow(L"#32770", SETTINGS_CAPTION, [this](HWND settings) {
        SelectListRow(GetDlgItem(settings, IDC_HOTKEY_LIST), 0);
        host_.OnMessageBox([this](HWND) { Unload(); });
        TestHost::Click(settings, IDC_DELETE_ITEM);
    });
    Finish();
}

}  // namespace
