// A host that exports only TTBPlugin_WriteLog and TTBPlugin_GetPluginInfo: the plug-in starts,
// toggles and stops without the menu service it would normally call.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/test_host.h"

using testing::IsEmpty;

TEST(SparseHost, InitAndToggleSkipTheMissingMenuService)
{
    TestHost host;
    ASSERT_EQ(GetProcAddress(GetModuleHandleW(nullptr), "TTBPlugin_SetMenuProperty"), nullptr);
    ASSERT_TRUE(host.Load());

    EXPECT_EQ(host.Execute(L"Tessel.dll", 0), 1);
    EXPECT_EQ(host.Execute(L"Tessel.dll", 0), 1);

    EXPECT_THAT(host.Calls(), IsEmpty());
    EXPECT_THAT(host.Unload(), testing::ElementsAre(TRUE));
}
