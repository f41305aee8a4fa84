// A fixture for tests that run the settings file's code linked into the test program: the
// library's module is then this program, so the file is the program's name with ".ini". Each test
// starts without a file, its backup or a work copy, and with an empty live table.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "hotkeys/hotkey_table.h"
#include "hotkeys/hotkey_window.h"
#include "hotkeys/program_scope.h"
#include "settings/settings.h"
#include "tests/test_host.h"

// The file loaded into an emptied live table, and the flags taken, as the hotkey window loads it.
inline LoadOutcome LoadLive()
{
    ClearHotkeyTable(liveTable);
    const LoadOutcome loaded = LoadSettingsFile(liveTable);
    enabledFlag = loaded.enabled;
    pauseFullscreen = loaded.pauseFullscreen;
    return loaded;
}

// The live table and flags saved, as the hotkey window saves them at its end.
inline SaveOutcome SaveLive(SaveKind kind = SaveKind::GiveWay)
{
    return SaveSettingsFile({liveTable, enabledFlag, pauseFullscreen}, kind);
}

// The binding appended to the table, its lists included.
inline void AppendStoredBinding(HotkeyTable table, const StoredBinding& binding)
{
    HotkeyItem item = {};
    item.key = static_cast<KeyCode>(binding.key);
    CopyText(item.command, TEXT_CAPACITY, binding.command.c_str());
    CopyText(item.param, TEXT_CAPACITY, binding.param.c_str());
    AppendHotkeyItem(table, &item, {binding.only.c_str(), binding.except.c_str()});
}

// The table's bindings, their lists included.
inline std::vector<StoredBinding> TableBindings(HotkeyTable table)
{
    std::vector<StoredBinding> bindings;
    for (int i = 0; i < GetHotkeyCount(table); ++i) {
        const HotkeyItem* item = GetHotkeyItem(table, i);
        const ProgramLists programs = GetHotkeyPrograms(table, i);
        bindings.push_back({item->key, item->command, item->param, programs.only, programs.except});
    }
    return bindings;
}

class InProcessSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = ProgramSettingsPath();
        DeleteFiles();
        ForgetSettingsFile();  // as at a start: no file read or written yet
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
