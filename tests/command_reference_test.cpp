// In-process: the picker's dialog template byte for byte, the naming of a command reference,
// and the key texts of the settings list.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hotkeys/hotkey_table.h"
#include "plugin/host_abi.h"
#include "ui/command_reference.h"
#include "base/key_text.h"
#include "ui/picker_template.h"
#include "ui/settings_dialog.h"

extern "C" PluginInfo* WINAPI TTBEvent_InitPluginInfo(const wchar_t* fileName);

namespace {

class PickerTemplate : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Filled with a marker, so the test sees every byte the writer leaves alone.
        block.assign(PICKER_TEMPLATE_BLOCK_SIZE, 0xCC);
        WriteCommandPickerTemplate(block.data());
    }

    uint16_t Word(size_t offset) const
    {
        uint16_t value;
        std::memcpy(&value, &block[offset], sizeof(value));
        return value;
    }
    uint32_t Dword(size_t offset) const
    {
        uint32_t value;
        std::memcpy(&value, &block[offset], sizeof(value));
        return value;
    }
    std::wstring Text(size_t offset) const
    {
        std::wstring text;
        for (uint16_t unit; (unit = Word(offset)) != 0; offset += 2) {
            text += static_cast<wchar_t>(unit);
        }
        return text;
    }
    void ExpectZero(size_t offset, size_t count) const
    {
        for (size_t i = offset; i < offset + count; ++i) {
            EXPECT_EQ(block[i], 0) << "at offset " << i;
        }
    }

    struct Item {
        size_t offset;
        uint32_t style;
        uint32_t extendedStyle;
        uint16_t x, y, width, height, id;
        const wchar_t* className;
        const wchar_t* title;
        size_t length;
    };
    void ExpectItem(const Item& item) const
    {
        SCOPED_TRACE(testing::Message() << "item at " << item.offset);
        EXPECT_EQ(Dword(item.offset), item.style);
        EXPECT_EQ(Dword(item.offset + 4), item.extendedStyle);
        EXPECT_EQ(Word(item.offset + 8), item.x);
        EXPECT_EQ(Word(item.offset + 10), item.y);
        EXPECT_EQ(Word(item.offset + 12), item.width);
        EXPECT_EQ(Word(item.offset + 14), item.height);
        EXPECT_EQ(Word(item.offset + 16), item.id);
        EXPECT_EQ(Text(item.offset + 18), item.className);
        const size_t titleOffset = item.offset + 18 + (std::wcslen(item.className) + 1) * 2;
        EXPECT_EQ(Text(titleOffset), item.title);
        EXPECT_EQ(Word(item.offset + item.length - 2), 0) << "creation data size";
    }

    std::vector<unsigned char> block;
};

TEST_F(PickerTemplate, HeaderNamesTheCaptionFontAndFiveItems)
{
    EXPECT_EQ(Dword(0), 0x90C800CCu);
    EXPECT_EQ(Dword(4), 0u);
    EXPECT_EQ(Word(8), 5);
    EXPECT_EQ(Word(10), 0);
    EXPECT_EQ(Word(12), 0);
    EXPECT_EQ(Word(14), 320);
    EXPECT_EQ(Word(16), 212);
    EXPECT_EQ(Word(18), 0);
    EXPECT_EQ(Word(20), 0);
    EXPECT_EQ(Text(22), L"プラグインコマンド選択");
    EXPECT_EQ(Word(46), 9);
    EXPECT_EQ(Text(48), L"Ms Shell Dlg");
}

TEST_F(PickerTemplate, ItemsSitAtTheirOffsetsWithZeroedGapsAndTheBlockEndsAt300)
{
    ExpectItem({76, 0x50010000, 0, 212, 188, 48, 16, 1, L"button", L"OK", 40});
    ExpectItem({116, 0x50010000, 0, 264, 188, 48, 16, 2, L"button", L"キャンセル", 46});
    ExpectItem({164, 0x50011020, 0x200, 8, 8, 96, 148, 1000, L"SysTreeView32", L"", 50});
    ExpectItem({216, 0x5001080D, 0x200, 112, 8, 200, 148, 1001, L"SysListView32", L"", 50});
    ExpectItem({268, 0x50000880, 0x200, 8, 164, 304, 16, 1002, L"edit", L"", 32});
    ExpectZero(74, 2);
    ExpectZero(162, 2);
    ExpectZero(214, 2);
    ExpectZero(266, 2);
    for (size_t i = PICKER_TEMPLATE_SIZE; i < block.size(); ++i) {
        ASSERT_EQ(block[i], 0xCC) << "written past the template at offset " << i;
    }
}

std::wstring Describe(PluginInfo** plugins, const wchar_t* text, int32_t capacity, int32_t* result)
{
    std::vector<wchar_t> buffer(capacity > 0 ? capacity : 1, L'#');
    *result = DescribeCommandReference(plugins, text, buffer.data(), capacity);
    return std::wstring(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
}

struct FakePlugin {
    std::wstring name;
    std::wstring fileName;
    std::vector<std::wstring> captions;
    std::vector<int32_t> ids;
    std::vector<PluginCommandInfo> commands;
    PluginInfo info = {};

    FakePlugin(std::wstring pluginName, std::wstring pluginFile, std::vector<std::wstring> commandCaptions,
               std::vector<int32_t> commandIds)
        : name(std::move(pluginName)), fileName(std::move(pluginFile)), captions(std::move(commandCaptions)),
          ids(std::move(commandIds))
    {
        for (size_t i = 0; i < ids.size(); ++i) {
            commands.push_back({nullptr, captions[i].data(), ids[i], 0, 0, 4, 0, 0});
        }
        info.name = name.data();
        info.fileName = fileName.data();
        info.commandCount = static_cast<int32_t>(commands.size());
        info.commands = commands.data();
    }
};

TEST(DescribeCommandReference, NamesThisPluginsSettingsCommandWhateverTheLetterCase)
{
    PluginInfo* plugins[] = {TTBEvent_InitPluginInfo(L"Tessel.dll"), nullptr};
    EXPECT_EQ(DescribeCommandReference(plugins, L"tessel.DLL|1", nullptr, 0), 21);
    int32_t result = 0;
    EXPECT_EQ(Describe(plugins, L"tessel.DLL|1", 22, &result), L"Tessel - Tessel 設定...");
    EXPECT_EQ(result, 21);
}

TEST(DescribeCommandReference, CutsToASmallCapacityAndStillAnswersTheFullLength)
{
    PluginInfo* plugins[] = {TTBEvent_InitPluginInfo(L"Tessel.dll"), nullptr};
    int32_t result = 0;
    EXPECT_EQ(Describe(plugins, L"Tessel.dll|1", 5, &result), L"Tess");
    EXPECT_EQ(result, 21);
}

TEST(DescribeCommandReference, AnswersMinusOneForWhatItCannotResolveAndZeroWithoutABar)
{
    FakePlugin sample(L"Sample", L"Sample.dll", {L"beep"}, {7});
    FakePlugin empty(L"Empty", L"Empty.dll", {}, {});
    PluginInfo* plugins[] = {&sample.info, &empty.info, nullptr};
    EXPECT_EQ(DescribeCommandReference(plugins, L"Other.dll|7", nullptr, 0), -1);
    EXPECT_EQ(DescribeCommandReference(plugins, L"Sample.dll|8", nullptr, 0), -1);
    EXPECT_EQ(DescribeCommandReference(plugins, L"Empty.dll|0", nullptr, 0), -1);
    EXPECT_EQ(DescribeCommandReference(plugins, L"notepad.exe", nullptr, 0), 0);
    PluginInfo* none[] = {nullptr};
    EXPECT_EQ(DescribeCommandReference(none, L"Sample.dll|7", nullptr, 0), -1);
}

TEST(DescribeCommandReference, ReadsTheIdAsTheLeadingSignedNumber)
{
    FakePlugin sample(L"Sample", L"Sample.dll", {L"zero", L"minus three", L"twelve"}, {0, -3, 12});
    PluginInfo* plugins[] = {&sample.info, nullptr};
    int32_t result = 0;
    EXPECT_EQ(Describe(plugins, L"Sample.dll|abc", 64, &result), L"Sample - zero");
    EXPECT_EQ(Describe(plugins, L"Sample.dll|-3", 64, &result), L"Sample - minus three");
    EXPECT_EQ(Describe(plugins, L"Sample.dll|12xyz", 64, &result), L"Sample - twelve");
}

TEST(DescribeCommandReference, SearchesOnlyTheFirstPluginWhoseFileNameMatches)
{
    FakePlugin first(L"First", L"twin.dll", {L"one"}, {1});
    FakePlugin second(L"Second", L"TWIN.dll", {L"one", L"two"}, {1, 2});
    PluginInfo* plugins[] = {&first.info, &second.info, nullptr};
    int32_t result = 0;
    EXPECT_EQ(Describe(plugins, L"Twin.dll|1", 64, &result), L"First - one");
    EXPECT_EQ(DescribeCommandReference(plugins, L"Twin.dll|2", nullptr, 0), -1);
}

TEST(DescribeCommandReference, TreatsAHostWithoutAPluginListAsKnowingNoPlugin)
{
    EXPECT_EQ(DescribeCommandReference(nullptr, L"Tessel.dll|1", nullptr, 0), -1);
    EXPECT_EQ(DescribeCommandReference(nullptr, L"notepad.exe", nullptr, 0), 0);
}

TEST(DescribeCommandReference, ReadsMissingTextsAsEmptyAndMissingCommandsAsNone)
{
    PluginCommandInfo command = {nullptr, nullptr, 3, 0, 0, 4, 0, 0};
    PluginInfo unnamed = {};
    unnamed.fileName = const_cast<wchar_t*>(L"Unnamed.dll");
    unnamed.commandCount = 1;
    unnamed.commands = &command;
    PluginInfo noFile = {};
    PluginInfo countWithoutCommands = {};
    countWithoutCommands.fileName = const_cast<wchar_t*>(L"Broken.dll");
    countWithoutCommands.commandCount = 4;
    PluginInfo* plugins[] = {&noFile, &countWithoutCommands, &unnamed, nullptr};

    int32_t result = 0;
    EXPECT_EQ(Describe(plugins, L"Unnamed.dll|3", 8, &result), L" - ");
    EXPECT_EQ(result, 3);
    EXPECT_EQ(DescribeCommandReference(plugins, L"Broken.dll|0", nullptr, 0), -1);
    EXPECT_EQ(DescribeCommandReference(plugins, L"|3", nullptr, 0), -1);
}

TEST(DescribeCommandReference, FormatsNamesLongerThanAThousandCharactersInFull)
{
    const std::wstring longName(900, L'N');
    const std::wstring longCaption(700, L'C');
    FakePlugin plugin(longName, L"Long.dll", {longCaption}, {1});
    PluginInfo* plugins[] = {&plugin.info, nullptr};
    const int32_t length = DescribeCommandReference(plugins, L"Long.dll|1", nullptr, 0);
    ASSERT_EQ(length, 900 + 3 + 700);
    int32_t result = 0;
    EXPECT_EQ(Describe(plugins, L"Long.dll|1", length + 1, &result), longName + L" - " + longCaption);
    EXPECT_EQ(result, length);
}

std::wstring KeyText(KeyCode key)
{
    wchar_t text[KEY_TEXT_CAPACITY];
    EXPECT_EQ(FormatKeyCode(key, text), 1);
    return text;
}

TEST(FormatKeyCode, NamesTheModifiersInTheOrderCtrlShiftAltWin)
{
    EXPECT_EQ(KeyText(0x0654), L"Ctrl + Alt + T");
    EXPECT_EQ(KeyText(0x1754), L"Ctrl + Shift + Alt + Win + T");
    EXPECT_EQ(KeyText(0x1141), L"Shift + Win + A");
}

TEST(FormatKeyCode, AddsNoTextForTheExtendedKeyFlag)
{
    EXPECT_EQ(KeyText(0x0A41), KeyText(0x0241));
}

TEST(FormatKeyCode, ShowsOnlyTheModifiersForAKeyTheLayoutCannotName)
{
    EXPECT_EQ(KeyText(0x0200), L"Ctrl + ");
}

}  // namespace
