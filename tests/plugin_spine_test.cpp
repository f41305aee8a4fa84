// The plug-in's face to the host: the descriptor it hands out, and what its events do.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "plugin/host_abi.h"
#include "tests/test_host.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// The host reads the record byte by byte, so the tests read it the same way.
template <typename Value>
Value At(const void* record, size_t offset)
{
    Value value;
    std::memcpy(&value, static_cast<const char*>(record) + offset, sizeof(value));
    return value;
}

std::wstring TextAt(const void* record, size_t offset)
{
    const auto* text = At<const wchar_t*>(record, offset);
    return text != nullptr ? std::wstring(text) : std::wstring(L"(null)");
}

constexpr size_t COMMAND_STRIDE = 40;

// Tessel.dll from the test's folder, loaded but not started: the descriptor is there before Init.
class TesselLibrary {
public:
    explicit TesselLibrary(const TestHost& host)
        : module_(LoadLibraryW((host.Folder() + L"\\Tessel.dll").c_str()))
    {
    }
    ~TesselLibrary()
    {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    TesselLibrary(const TesselLibrary&) = delete;
    TesselLibrary& operator=(const TesselLibrary&) = delete;

    template <typename Event>
    Event Find(const char* name) const
    {
        return reinterpret_cast<Event>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

private:
    HMODULE module_;
};

}  // namespace

TEST(PluginDescriptor, RecordCarriesNameVersionAndBothCommandsAtTheHostsOffsets)
{
    TestHost host;
    TesselLibrary tessel(host);
    const auto initPluginInfo = tessel.Find<InitPluginInfoEvent>("TTBEvent_InitPluginInfo");
    ASSERT_NE(initPluginInfo, nullptr);

    const void* info = initPluginInfo(L"Tessel.dll");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(At<uint16_t>(info, 0), 0);
    EXPECT_EQ(TextAt(info, 2), L"Tessel");
    EXPECT_EQ(TextAt(info, 10), L"Tessel.dll");
    EXPECT_EQ(At<uint16_t>(info, 18), 0);
    EXPECT_EQ(At<uint32_t>(info, 20), 0x00010005u);
    EXPECT_EQ(At<uint32_t>(info, 24), 0u);
    EXPECT_EQ(At<int32_t>(info, 28), 2);
    EXPECT_EQ(At<uint32_t>(info, 40), 0u);

    const auto* commands = At<const char*>(info, 32);
    ASSERT_NE(commands, nullptr);
    const struct {
        const wchar_t* name;
        const wchar_t* caption;
        int32_t id;
    } expected[] = {{L"Tessel enable", L"Tessel 有効", 0}, {L"Tessel setting", L"Tessel 設定...", 1}};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE("command " + std::to_string(i));
        const char* command = commands + i * COMMAND_STRIDE;
        EXPECT_EQ(TextAt(command, 0), expected[i].name);
        EXPECT_EQ(TextAt(command, 8), expected[i].caption);
        EXPECT_EQ(At<int32_t>(command, 16), expected[i].id);
        EXPECT_EQ(At<uint32_t>(command, 20), 0u);
        EXPECT_EQ(At<uint32_t>(command, 24), 0u);
        EXPECT_EQ(At<uint32_t>(command, 28), 5u);
        EXPECT_EQ(At<uint32_t>(command, 32), 0u);
        EXPECT_EQ(At<uint32_t>(command, 36), 0u);
    }
}

TEST(PluginDescriptor, AskedAgainItIsTheSameRecordWithTheLaterFileName)
{
    TestHost host;
    TesselLibrary tessel(host);
    const auto initPluginInfo = tessel.Find<InitPluginInfoEvent>("TTBEvent_InitPluginInfo");
    ASSERT_NE(initPluginInfo, nullptr);

    PluginInfo* first = initPluginInfo(L"Tessel.dll");
    PluginInfo* second = initPluginInfo(L"Renamed.dll");

    EXPECT_EQ(first, second);
    EXPECT_EQ(TextAt(second, 10), L"Renamed.dll");
}

TEST(PluginDescriptor, AFileNameLongerThanItsBufferIsCutAndHarmsNothing)
{
    TestHost host;
    TesselLibrary tessel(host);
    const auto initPluginInfo = tessel.Find<InitPluginInfoEvent>("TTBEvent_InitPluginInfo");
    const auto init = tessel.Find<InitEvent>("TTBEvent_Init");
    const auto execute = tessel.Find<ExecuteEvent>("TTBEvent_Execute");
    const auto unload = tessel.Find<UnloadEvent>("TTBEvent_Unload");
    ASSERT_TRUE(initPluginInfo != nullptr && init != nullptr && execute != nullptr && unload != nullptr);
    const std::wstring longName(300, L'x');

    PluginInfo* info = initPluginInfo(longName.c_str());
    EXPECT_EQ(TextAt(info, 10), longName.substr(0, 259));
    EXPECT_EQ(TextAt(info, 2), L"Tessel");

    // The state stored next to the name (the hotkey window, the handle) must survive a long
    // name in Init too: the toggle still reaches the window and the host hears about it.
    EXPECT_TRUE(init(longName.c_str(), 1));
    EXPECT_TRUE(execute(0, nullptr));
    EXPECT_THAT(host.Calls(), ElementsAre(L"SetMenuProperty(1,0,8,8)", L"SetMenuProperty(1,0,8,0)"));
    EXPECT_TRUE(unload()) << "the hotkey window's class was not unregistered";
}

TEST(PluginEvents, InitWithoutSettingsShowsCommandZeroCheckedAndCallsNothingElse)
{
    TestHost host;
    ASSERT_TRUE(host.Load());

    EXPECT_THAT(host.Calls(), ElementsAre(L"SetMenuProperty(1,0,8,8)"));
    EXPECT_TRUE(host.MenuCheckState(L"Tessel.dll", 0));
    EXPECT_FALSE(host.SettingsExist()) << "Init wrote the settings file";
}

TEST(PluginEvents, InitWithHotkeysSwitchedOffShowsCommandZeroUnchecked)
{
    TestHost host;
    host.WriteSettings(L"[setting]\r\nenable=0\r\n");
    ASSERT_TRUE(host.Load({L"Sample.dll", L"Tessel.dll"}));

    EXPECT_THAT(host.Calls(), ElementsAre(L"SetMenuProperty(2,0,8,0)"));
    EXPECT_FALSE(host.MenuCheckState(L"Tessel.dll", 0));
}

TEST(PluginEvents, CommandZeroTogglesTheHotkeysAndTheirCheckMark)
{
    TestHost host;
    ASSERT_TRUE(host.Load());
    host.ClearRecords();

    EXPECT_EQ(host.Execute(L"Tessel.dll", 0), 1);
    EXPECT_THAT(host.Calls(), ElementsAre(L"SetMenuProperty(1,0,8,0)"));
    EXPECT_FALSE(host.MenuCheckState(L"Tessel.dll", 0));

    EXPECT_EQ(host.Execute(L"Tessel.dll", 0), 1);
    EXPECT_TRUE(host.MenuCheckState(L"Tessel.dll", 0));
}

TEST(PluginEvents, CommandOneReturnsBeforeTheSettingsDialogOpens)
{
    TestHost host;
    ASSERT_TRUE(host.Load());
    host.ClearRecords();
    bool returned = false;
    bool openedAfterReturn = false;
    host.OnWindow(L"#32770", L"Tesselの設定", [&](HWND settings) {
        openedAfterReturn = returned;
        TestHost::Click(settings, IDCANCEL);
    });

    EXPECT_EQ(host.Execute(L"Tessel.dll", 1), 1);
    returned = true;
    EXPECT_THAT(TestHost::DialogCaptions(), IsEmpty());

    EXPECT_TRUE(host.WaitForWindows());
    EXPECT_TRUE(openedAfterReturn);
    EXPECT_EQ(host.OutstandingPluginArrays(), 0);
}

TEST(PluginEvents, OtherCommandIdsReturnOneAndDoNothing)
{
    TestHost host;
    ASSERT_TRUE(host.Load({L"Tessel.dll", L"Sample.dll"}));
    host.ClearRecords();

    for (int32_t id : {7, 2, -1, 0x7FFFFFFF}) {
        EXPECT_EQ(host.Execute(L"Tessel.dll", id), 1) << "command " << id;
    }
    host.Pump(200);

    EXPECT_THAT(host.Calls(), IsEmpty());
    EXPECT_THAT(TestHost::DialogCaptions(), IsEmpty());
    EXPECT_TRUE(host.MenuCheckState(L"Tessel.dll", 0));
}

TEST(PluginEvents, FreePluginInfoAndWindowsHookIgnoreWhateverTheyAreGiven)
{
    TestHost host;
    ASSERT_TRUE(host.Load());
    host.ClearRecords();
    const auto initPluginInfo = reinterpret_cast<InitPluginInfoEvent>(
        reinterpret_cast<void*>(host.Export(L"Tessel.dll", "TTBEvent_InitPluginInfo")));
    const auto freePluginInfo = reinterpret_cast<FreePluginInfoEvent>(
        reinterpret_cast<void*>(host.Export(L"Tessel.dll", "TTBEvent_FreePluginInfo")));
    const auto windowsHook = reinterpret_cast<WindowsHookEvent>(
        reinterpret_cast<void*>(host.Export(L"Tessel.dll", "TTBEvent_WindowsHook")));
    ASSERT_TRUE(initPluginInfo != nullptr && freePluginInfo != nullptr && windowsHook != nullptr);
    PluginInfo* info = initPluginInfo(L"Tessel.dll");
    char before[sizeof(PluginInfo)];
    std::memcpy(before, info, sizeof(before));

    freePluginInfo(info);
    freePluginInfo(nullptr);
    windowsHook(WM_HOTKEY, 0, 0);
    windowsHook(0xFFFFFFFFu, static_cast<WPARAM>(-1), -1);

    EXPECT_EQ(std::memcmp(before, info, sizeof(before)), 0) << "the descriptor changed";
    EXPECT_EQ(TextAt(info, 2), L"Tessel");
    EXPECT_THAT(host.Calls(), IsEmpty());
}

TEST(PluginEvents, UnloadRemovesTheHotkeyWindowAndItsClass)
{
    TestHost host;
    ASSERT_TRUE(host.Load());
    ASSERT_NE(FindWindowW(L"TesselClass", nullptr), nullptr);

    EXPECT_THAT(host.Unload(), ElementsAre(TRUE));
    EXPECT_EQ(FindWindowW(L"TesselClass", nullptr), nullptr);
}
