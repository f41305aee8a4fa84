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

// A binding without lists holds its record alone; one with lists holds them whole, at any
// length, through the clone, a delete before it and new lists.
TEST_F(HotkeyTableTest, ProgramListsCostOnlyWhereTheyAreAndKeepEveryUnit)
{
    const std::wstring longList = std::wstring(870, L'x') + L";target.exe";
    const HotkeyItem plain = MakeItem(0x0241, L"plain");
    const HotkeyItem limited = MakeItem(0x0242, L"limited");
    AppendHotkeyItem(liveTable, &plain);
    AppendHotkeyItem(liveTable, &plain);
    AppendHotkeyItem(liveTable, &limited, {longList.c_str(), L"b.exe"});
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, GetHotkeyItem(liveTable, 0)), sizeof(HotkeyItem));
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, GetHotkeyItem(liveTable, 2)),
              sizeof(HotkeyItem) + (longList.size() + 1 + 6) * sizeof(wchar_t));

    const HotkeyTable work = CloneHotkeyTable();
    DeleteHotkeyItem(work, 0);
    ASSERT_EQ(GetHotkeyCount(work), 2);
    EXPECT_STREQ(GetHotkeyPrograms(work, 0).only, L"");
    EXPECT_EQ(GetHotkeyPrograms(work, 1).only, longList);
    EXPECT_STREQ(GetHotkeyPrograms(work, 1).except, L"b.exe");
    EXPECT_EQ(CommandAt(work, 1), L"limited");

    ASSERT_TRUE(SetHotkeyPrograms(work, 1, {L"", L"c.exe"}));
    ASSERT_TRUE(SetHotkeyPrograms(work, 0, {L"d.exe", L""}));
    EXPECT_STREQ(GetHotkeyPrograms(work, 1).except, L"c.exe");
    EXPECT_STREQ(GetHotkeyPrograms(work, 0).only, L"d.exe");
    EXPECT_EQ(CommandAt(work, 1), L"limited");
    EXPECT_EQ(GetHotkeyPrograms(liveTable, 2).only, longList);
    EXPECT_FALSE(SetHotkeyPrograms(work, 2, {L"e.exe", L""}));
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
