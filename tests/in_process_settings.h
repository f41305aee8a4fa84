// A fixture for tests that run the settings file's code linked into the test program: the
// library's module is then this program, so the file is the program's name with ".ini". Each test
// starts without a file, its backup or a work copy, and with an empty live table.
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
        DeleteFiles();
        liveTable = CreateHotkeyTable();
    }
    void TearDown() override
    {
        DestroyHotkeyTable(liveTable);
        liveTable = nullptr;
        SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFiles();
    }
    void DeleteFiles() const
    {
        for (const wchar_t* suffix : {L"", L".bak", L".tmp"}) {
            DeleteFileW((path_ + suffix).c_str());
        }
        // Work files a killed save left, and kept copies, told and silent, read-only ones too.
        const std::wstring folder = path_.substr(0, path_.rfind(L'\\') + 1);
        for (const wchar_t* pattern : {L".*.tmp", L".*.kept", L".*.reload"}) {
            WIN32_FIND_DATAW found;
            const HANDLE search = FindFirstFileW((path_ + pattern).c_str(), &found);
            if (search != INVALID_HANDLE_VALUE) {
                do {
                    SetFileAttributesW((folder + found.cFileName).c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileW((folder + found.cFileName).c_str());
                } while (FindNextFileW(search, &found));
                FindClose(search);
            }
        }
    }

    std::wstring path_;
};
