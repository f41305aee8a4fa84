// The table's own contract, in-process: copies, order, deletion and lookup.
#include <gtest/gtest.h>

#include <string>

#include "hotkeys/hotkey_table.h"

namespace {

HotkeyItem MakeItem(KeyCode key, const wchar_t* command, const wchar_t* param = L"")
{
    HotkeyItem item = {};
    item.key = key;
    CopyText(item.command, TEXT_CAPACITY, command);
    CopyText(item.param, TEXT_CAPACITY, param);
    return item;
}

std::wstring CommandAt(HotkeyTable table, int index)
{
    return GetHotkeyItem(table, index)->command;
}

class HotkeyTableTest : public ::testing::Test {
protected:
    void SetUp() override { liveTable = CreateHotkeyTable(); }
    void TearDown() override
    {
        DestroyHotkeyTable(liveTable);
        liveTable = nullptr;
    }
};

TEST_F(HotkeyTableTest, DeletingShiftsLaterEntriesDownByOne)
{
    for (const wchar_t* command : {L"first", L"second", L"third"}) {
        const HotkeyItem item = MakeItem(0x0241, command);
        AppendHotkeyItem(liveTable, &item);
    }
    DeleteHotkeyItem(liveTable, 0);
    ASSERT_EQ(GetHotkeyCount(liveTable), 2);
    EXPECT_EQ(CommandAt(liveTable, 0), L"second");
    EXPECT_EQ(CommandAt(liveTable, 1), L"third");
    EXPECT_EQ(GetHotkeyItem(liveTable, 2), nullptr);
}

TEST_F(HotkeyTableTest, StoredCopyIgnoresLaterChangesToTheSource)
{
    HotkeyItem item = MakeItem(0x0241, L"notepad.exe", L"memo.txt");
    AppendHotkeyItem(liveTable, &item);
    CopyText(item.command, TEXT_CAPACITY, L"changed");
    item.key = 0x0242;
    EXPECT_EQ(CommandAt(liveTable, 0), L"notepad.exe");
    EXPECT_EQ(GetHotkeyItem(liveTable, 0)->key, 0x0241);
}

TEST_F(HotkeyTableTest, CopiesTheWholeRecordIncludingUnitsBehindTheTerminator)
{
    HotkeyItem item = MakeItem(0x0241, L"a");
    item.command[5] = L'x';
    item.param[TEXT_CAPACITY - 1] = L'y';
    AppendHotkeyItem(liveTable, &item);
    const HotkeyTable work = CloneHotkeyTable();
    EXPECT_EQ(GetHotkeyItem(work, 0)->command[5], L'x');
    EXPECT_EQ(GetHotkeyItem(work, 0)->param[TEXT_CAPACITY - 1], L'y');
    DestroyHotkeyTable(work);
}

TEST_F(HotkeyTableTest, WorkCopySharesNothingWithTheLiveTable)
{
    for (KeyCode key : {KeyCode{0x0241}, KeyCode{0x0242}}) {
        const HotkeyItem item = MakeItem(key, L"live");
        AppendHotkeyItem(liveTable, &item);
    }
    const HotkeyTable work = CloneHotkeyTable();
    ASSERT_NE(work, liveTable);
    ASSERT_EQ(GetHotkeyCount(work), 2);
    EXPECT_NE(GetHotkeyItem(work, 0), GetHotkeyItem(liveTable, 0));

    *GetHotkeyItem(work, 0) = MakeItem(0x0643, L"edited");
    DeleteHotkeyItem(work, 1);
    const HotkeyItem added = MakeItem(0x0644, L"added");
    AppendHotkeyItem(work, &added);

    ASSERT_EQ(GetHotkeyCount(liveTable), 2);
    EXPECT_EQ(CommandAt(liveTable, 0), L"live");
    EXPECT_EQ(GetHotkeyItem(liveTable, 0)->key, 0x0241);
    EXPECT_EQ(GetHotkeyItem(liveTable, 1)->key, 0x0242);
    DestroyHotkeyTable(work);
}

TEST_F(HotkeyTableTest, EveryCloneIsANewTableEvenWhenEmpty)
{
    const HotkeyTable first = CloneHotkeyTable();
    const HotkeyTable second = CloneHotkeyTable();
    EXPECT_NE(first, second);
    EXPECT_EQ(GetHotkeyCount(first), 0);
    DestroyHotkeyTable(first);
    DestroyHotkeyTable(second);
}

TEST_F(HotkeyTableTest, FindYieldsTheLowerIndexOfDuplicatesAndComparesAllSixteenBits)
{
    EXPECT_EQ(FindHotkeyItem(liveTable, 0x0241), -1);
    for (KeyCode key : {KeyCode{0x0341}, KeyCode{0x0241}, KeyCode{0x0241}, KeyCode{0x1241}}) {
        const HotkeyItem item = MakeItem(key, L"x");
        AppendHotkeyItem(liveTable, &item);
    }
    EXPECT_EQ(FindHotkeyItem(liveTable, 0x0241), 1);
    EXPECT_EQ(FindHotkeyItem(liveTable, 0x1241), 3);
    EXPECT_EQ(FindHotkeyItem(liveTable, 0x0641), -1);
}

TEST_F(HotkeyTableTest, ClearLeavesAUsableEmptyTable)
{
    ClearHotkeyTable(liveTable);
    const HotkeyItem item = MakeItem(0x0241, L"x");
    AppendHotkeyItem(liveTable, &item);
    AppendHotkeyItem(liveTable, &item);
    ClearHotkeyTable(liveTable);
    EXPECT_EQ(GetHotkeyCount(liveTable), 0);
    AppendHotkeyItem(liveTable, &item);
    EXPECT_EQ(GetHotkeyCount(liveTable), 1);
}

TEST_F(HotkeyTableTest, IndicesOutsideTheTableAreRefusedQuietly)
{
    const HotkeyItem item = MakeItem(0x0241, L"x");
    AppendHotkeyItem(liveTable, &item);
    DeleteHotkeyItem(liveTable, 1);
    DeleteHotkeyItem(liveTable, -1);
    EXPECT_EQ(GetHotkeyCount(liveTable), 1);
    EXPECT_EQ(GetHotkeyItem(liveTable, -1), nullptr);
}

}  // namespace
