// The command picker as the item editor's "cmd..." button opens it, under the stand-in host with
// Tessel and Sample loaded, or with a plug-in list the test makes up.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "res/resource_ids.h"
#include "tests/dialog_driver.h"
#include "tests/test_host.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

constexpr wchar_t PICKER_CAPTION[] = L"プラグインコマンド選択";

// What the picker showed, read inside it.
struct PickerView {
    std::vector<std::wstring> tree;
    std::wstring treeSelection;
    std::vector<std::wstring> commands;
    int selectedRow = -2;
    std::wstring reference;
};

PickerView ReadPicker(HWND picker)
{
    PickerView view;
    view.tree = TreeEntries(GetDlgItem(picker, IDC_PICKER_TREE));
    view.treeSelection = SelectedTreeEntry(GetDlgItem(picker, IDC_PICKER_TREE));
    view.commands = ListColumn(GetDlgItem(picker, IDC_PICKER_LIST), 0);
    view.selectedRow = SelectedListRow(GetDlgItem(picker, IDC_PICKER_LIST));
    view.reference = TestHost::ItemText(picker, IDC_PICKER_REFERENCE);
    return view;
}

class CommandPicker : public ::testing::Test {
protected:
    // Opens settings, then Add, and runs the action inside the editor, which it leaves open.
    void RunEditor(std::function<void(HWND)> action)
    {
        host.OnWindow(L"#32770", L"Tesselの設定", [&](HWND settings) {
            host.OnWindow(L"#32770", L"アイテム追加", [&](HWND editor) {
                action(editor);
                TestHost::Click(editor, IDCANCEL);
            });
            TestHost::Click(settings, IDC_ADD_ITEM);
            TestHost::Click(settings, IDCANCEL);
        });
        EXPECT_TRUE(host.Load({L"Tessel.dll", L"Sample.dll"}));
        host.Execute(L"Tessel.dll", 1);
        EXPECT_TRUE(host.WaitForWindows());
    }

    // Types the command text into the editor, then "cmd..." and runs the action inside the
    // picker, which must end it. Returns the command field as the picker left it.
    std::wstring Pick(HWND editor, const wchar_t* commandBefore, std::function<void(HWND)> action)
    {
        SetDlgItemTextW(editor, IDC_COMMAND, commandBefore);
        SetDlgItemTextW(editor, IDC_PARAM, L"param stays");
        host.OnWindow(L"#32770", PICKER_CAPTION, std::move(action));
        TestHost::Click(editor, IDC_CHOOSE_COMMAND);
        EXPECT_EQ(TestHost::ItemText(editor, IDC_PARAM), L"param stays");
        return TestHost::ItemText(editor, IDC_COMMAND);
    }

    std::wstring RunPicker(std::function<void(HWND)> action, const wchar_t* commandBefore = L"typed.exe")
    {
        std::wstring command = L"(editor not reached)";
        RunEditor([&](HWND editor) { command = Pick(editor, commandBefore, action); });
        return command;
    }

    static bool PickerIsOpen()
    {
        const std::vector<std::wstring> open = TestHost::DialogCaptions();
        return std::find(open.begin(), open.end(), PICKER_CAPTION) != open.end();
    }

    TestHost host;
};

TEST_F(CommandPicker, OpensOnAllWithTheCommandsOfEveryPluginThatPassTheFilter)
{
    PickerView view;
    RunPicker([&](HWND picker) {
        view = ReadPicker(picker);
        TestHost::Click(picker, IDCANCEL);
    });
    EXPECT_THAT(view.tree, ElementsAre(L"すべて", L"Tessel", L"Sample"));
    EXPECT_EQ(view.treeSelection, L"すべて");
    // Sample's "open" and "hidden" have no menu flag 4.
    EXPECT_THAT(view.commands, ElementsAre(L"Tessel 有効", L"Tessel 設定...", L"Sample beep", L"Sample メモ"));
}

// A program, a host command, a plug-in not loaded, a command the filter leaves out, and none.
TEST_F(CommandPicker, OnACommandItDoesNotListNoRowIsChosenAndEnterKeepsTheCommand)
{
    std::vector<std::wstring> seen;
    RunEditor([&](HWND editor) {
        for (const wchar_t* before : {L"notepad.exe", L":exit", L"NoSuch.dll|1", L"Sample.dll|5", L""}) {
            PickerView view;
            const std::wstring after = Pick(editor, before, [&](HWND picker) {
                view = ReadPicker(picker);
                PostKey(GetFocus(), VK_RETURN);
            });
            seen.push_back(std::to_wstring(view.selectedRow) + L" [" + view.reference + L"] " + after);
        }
    });
    EXPECT_THAT(seen, ElementsAre(L"-1 [notepad.exe] notepad.exe", L"-1 [:exit] :exit",
                                  L"-1 [NoSuch.dll|1] NoSuch.dll|1", L"-1 [Sample.dll|5] Sample.dll|5", L"-1 [] "));
}

TEST_F(CommandPicker, APluginsEntryListsOnlyItsCommandsInOrderAndTheBoxFollowsTheRow)
{
    PickerView sample;
    std::wstring secondReference;
    const std::wstring command = RunPicker([&](HWND picker) {
        SelectTreeEntry(GetDlgItem(picker, IDC_PICKER_TREE), 2);
        sample = ReadPicker(picker);
        SelectListRow(GetDlgItem(picker, IDC_PICKER_LIST), 1);
        secondReference = TestHost::ItemText(picker, IDC_PICKER_REFERENCE);
        TestHost::Click(picker, IDOK);
    });
    EXPECT_THAT(sample.commands, ElementsAre(L"Sample beep", L"Sample メモ"));
    EXPECT_EQ(sample.selectedRow, 0);
    EXPECT_EQ(sample.reference, L"Sample.dll|7");
    EXPECT_EQ(secondReference, L"Sample.dll|2");
    EXPECT_EQ(command, L"Sample.dll|2");
}

TEST_F(CommandPicker, DoubleClickingARowChoosesIt)
{
    const std::wstring command = RunPicker([&](HWND picker) {
        DoubleClickListRow(GetDlgItem(picker, IDC_PICKER_LIST), 2);
    });
    EXPECT_EQ(command, L"Sample.dll|7");
}

TEST_F(CommandPicker, WithNoRowSelectedOkAndADoubleClickLeaveThePickerOpen)
{
    std::vector<bool> open;
    std::wstring reference = L"(not read)";
    const std::wstring command = RunPicker([&](HWND picker) {
        const HWND list = GetDlgItem(picker, IDC_PICKER_LIST);
        SelectListRow(list, 1);
        ClearListSelection(list);
        reference = TestHost::ItemText(picker, IDC_PICKER_REFERENCE);
        TestHost::Click(picker, IDOK);
        open.push_back(PickerIsOpen());
        DoubleClickListBlank(list);
        open.push_back(PickerIsOpen());
        TestHost::Click(picker, IDCANCEL);
    });
    EXPECT_THAT(open, ElementsAre(true, true));
    EXPECT_EQ(reference, L"");
    EXPECT_EQ(command, L"typed.exe");
}

TEST_F(CommandPicker, EscapeLeavesTheCommandFieldAsItWas)
{
    const std::wstring command = RunPicker([&](HWND picker) {
        SelectTreeEntry(GetDlgItem(picker, IDC_PICKER_TREE), 2);
        PostKey(GetDlgItem(picker, IDC_PICKER_LIST), VK_ESCAPE);
    });
    EXPECT_EQ(command, L"typed.exe");
}

TEST_F(CommandPicker, AHostWithoutAPluginListLeavesOnlyAllAndNothingToChoose)
{
    host.SetPluginArray(nullptr);
    PickerView view;
    const std::wstring command = RunPicker([&](HWND picker) {
        view = ReadPicker(picker);
        TestHost::Click(picker, IDOK);
    });
    EXPECT_THAT(view.tree, ElementsAre(L"すべて"));
    EXPECT_THAT(view.commands, IsEmpty());
    EXPECT_EQ(view.reference, L"typed.exe");
    EXPECT_EQ(command, L"typed.exe");
}

TEST_F(CommandPicker, OpensOnTheCommandTheFieldHoldsInViewSoEnterKeepsIt)
{
    // Forty commands, more than the list shows at once, with ids 100 to 139.
    wchar_t name[] = L"Many";
    wchar_t file[] = L"Many.dll";
    std::vector<PluginCommandInfo> commands(40, {nullptr, name, 0, 0, 0, 4, 0, 0});
    for (int i = 0; i < 40; ++i) {
        commands[i].commandId = 100 + i;
    }
    PluginInfo plugin = {0, name, file, 0, 0, 0, 40, commands.data(), 0};
    PluginInfo* array[] = {&plugin, nullptr};
    host.SetPluginArray(array);
    PickerView view;
    bool inView = false;
    const std::wstring command = RunPicker(
        [&](HWND picker) {
            view = ReadPicker(picker);
            inView = IsListRowInView(GetDlgItem(picker, IDC_PICKER_LIST), view.selectedRow);
            PostKey(GetFocus(), VK_RETURN);
        },
        L"many.DLL|130");
    EXPECT_EQ(view.selectedRow, 30);
    EXPECT_TRUE(inView);
    EXPECT_EQ(view.reference, L"Many.dll|130");
    EXPECT_EQ(command, L"Many.dll|130");
}

// Records as a careless host might hand them out: texts missing, a count without commands, and
// a plug-in whose only command the filter leaves out.
struct CarelessPlugins {
    wchar_t visibleCaption[16] = L"visible";
    wchar_t hiddenCaption[16] = L"hidden";
    wchar_t bName[4] = L"B";
    wchar_t bFile[8] = L"B.dll";
    wchar_t cName[4] = L"C";
    PluginCommandInfo bCommands[2] = {
        {nullptr, nullptr, 1, 0, 0, 4, 0, 0},
        {nullptr, hiddenCaption, 2, 0, 0, 2, 0, 0},
    };
    PluginCommandInfo cCommands[1] = {{nullptr, visibleCaption, 5, 0, 0, 4, 0, 0}};
    PluginInfo unnamed = {0, nullptr, nullptr, 0, 0, 0, 3, nullptr, 0};
    PluginInfo b = {0, bName, bFile, 0, 0, 0, 2, bCommands, 0};
    PluginInfo c = {0, cName, nullptr, 0, 0, 0, 1, cCommands, 0};
    PluginInfo d = {0, cName, bFile, 0, 0, 0, 1, bCommands + 1, 0};
    PluginInfo* array[5] = {&unnamed, &b, &c, &d, nullptr};
};

TEST_F(CommandPicker, RecordsWithMissingTextsOrCommandsAreListedAsEmptyAndStillChosen)
{
    CarelessPlugins plugins;
    host.SetPluginArray(plugins.array);
    PickerView all;
    PickerView unnamed;
    PickerView filteredOut;
    bool openAfterOk = false;
    const std::wstring command = RunPicker([&](HWND picker) {
        all = ReadPicker(picker);
        const HWND tree = GetDlgItem(picker, IDC_PICKER_TREE);
        SelectTreeEntry(tree, 1);
        unnamed = ReadPicker(picker);
        SelectTreeEntry(tree, 4);
        filteredOut = ReadPicker(picker);
        TestHost::Click(picker, IDOK);
        openAfterOk = PickerIsOpen();
        SelectTreeEntry(tree, 3);
        TestHost::Click(picker, IDOK);
    }, L"B.dll|1");
    EXPECT_THAT(all.tree, ElementsAre(L"すべて", L"", L"B", L"C", L"C"));
    EXPECT_THAT(all.commands, ElementsAre(L"", L"visible"));
    EXPECT_EQ(all.reference, L"B.dll|1");
    EXPECT_THAT(unnamed.commands, IsEmpty());
    EXPECT_EQ(unnamed.reference, L"");
    EXPECT_THAT(filteredOut.commands, IsEmpty());
    EXPECT_TRUE(openAfterOk);
    EXPECT_EQ(command, L"|5");
}

}  // namespace
