// A fixture for tests that run the settings file's code linked into the test program: the
// library's module is then this program, so the file is the program's name with ".ini". Each test
// starts without a file and with an empty live table.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "hotkeys/hotkey_table.h"
#include "tests/test_host.h"

class InProcessSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = ProgramSettingsPath();
        DeleteFileW(path_.c_str());
        liveTable = CreateHotkeyTable();
    }
    void TearDown() override
    {
        DestroyHotkeyTable(liveTable);
        liveTable = nullptr;
        SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path_.c_str());
    }

    std::wstring path_;
};
