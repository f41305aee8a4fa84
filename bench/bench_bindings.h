// The bindings the benchmark stores: distinct key combinations as far as its key space goes, then
// the same ones again (their registration fails, as a user's duplicates do), with a mix of
// commands; and the settings file that holds them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "hotkeys/hotkey_table.h"

struct Binding {
    KeyCode key;
    std::wstring command;
    std::wstring param;
};

// The pressed binding runs this command of Sample.dll.
constexpr int PRESSED_COMMAND_ID = 7;

// Every distinct combination the benchmark uses, in the order bindings take them.
const std::vector<KeyCode>& KeySpace();
// The binding that is pressed: the last one with a combination of its own, so it is registered.
int PressedIndex(int count);
std::vector<Binding> MakeBindings(int count);
// The keys whose SendInput and hot-key control entries carry the extended flag.
bool IsExtendedKey(UINT virtualKey);

// The programs a limited binding of the benchmark fires in.
constexpr wchar_t BENCH_ONLY_PROGRAMS[] = L"editor.exe;notes.exe";

// The whole file: [setting] enable=1, then [hotkeys] as the plug-in writes it; with limited, every
// binding fires only in BENCH_ONLY_PROGRAMS.
std::wstring SettingsText(const std::vector<Binding>& bindings, bool limited = false);
// [hotkeys] as WritePrivateProfileSectionW takes it: terminated strings, then one more.
std::vector<wchar_t> SectionStrings(const std::vector<Binding>& bindings);
// UTF-16LE with a byte order mark, as a file holding Japanese texts is kept.
bool WriteSettingsFile(const std::wstring& path, const std::wstring& text);
std::wstring ReadHotkeySection(const std::wstring& path, size_t capacity);
