#include "bench/bench_bindings.h"

#include <algorithm>

namespace {

// Every key with every non-empty set of modifiers: letters, digits, function keys, the keypad,
// punctuation and the navigation keys (with the extended flag, as the hot-key control sets it).
std::vector<KeyCode> DistinctKeys()
{
    std::vector<UINT> keys;
    for (UINT key = 'A'; key <= 'Z'; ++key) {
        keys.push_back(key);
    }
    for (UINT key = '0'; key <= '9'; ++key) {
        keys.push_back(key);
    }
    for (UINT key = VK_F1; key <= VK_F24; ++key) {
        keys.push_back(key);
    }
    for (UINT key = VK_NUMPAD0; key <= VK_DIVIDE; ++key) {
        if (key != VK_SEPARATOR) {
            keys.push_back(key);
        }
    }
    for (UINT key : {VK_OEM_1, VK_OEM_PLUS, VK_OEM_COMMA, VK_OEM_MINUS, VK_OEM_PERIOD, VK_OEM_2, VK_OEM_3, VK_OEM_4,
                     VK_OEM_5, VK_OEM_6, VK_OEM_7, VK_PRIOR, VK_NEXT, VK_END, VK_HOME, VK_LEFT, VK_UP, VK_RIGHT,
                     VK_DOWN, VK_INSERT, VK_DELETE}) {
        keys.push_back(key);
    }
    std::vector<KeyCode> codes;
    for (unsigned set = 1; set < 16; ++set) {
        const unsigned modifiers = ((set & 1) != 0 ? KEY_CONTROL : 0) | ((set & 2) != 0 ? KEY_ALT : 0) |
                                   ((set & 4) != 0 ? KEY_SHIFT : 0) | ((set & 8) != 0 ? KEY_WIN : 0);
        for (UINT key : keys) {
            codes.push_back(static_cast<KeyCode>(modifiers | key | (IsExtendedKey(key) ? KEY_EXTENDED : 0)));
        }
    }
    return codes;
}

// The lines of [hotkeys] as the plug-in writes them.
std::vector<std::wstring> HotkeyLines(const std::vector<Binding>& bindings, bool limited = false)
{
    std::vector<std::wstring> lines;
    for (size_t i = 0; i < bindings.size(); ++i) {
        const std::wstring prefix = L"item" + std::to_wstring(i);
        lines.push_back(prefix + L"_key=" + std::to_wstring(bindings[i].key));
        lines.push_back(prefix + L"_command=" + bindings[i].command);
        lines.push_back(prefix + L"_param=" + bindings[i].param);
        if (limited) {
            lines.push_back(prefix + L"_only=" + BENCH_ONLY_PROGRAMS);
        }
    }
    return lines;
}

}  // namespace

bool IsExtendedKey(UINT virtualKey)
{
    return (virtualKey >= VK_PRIOR && virtualKey <= VK_DOWN) || virtualKey == VK_INSERT || virtualKey == VK_DELETE ||
           virtualKey == VK_DIVIDE;
}

const std::vector<KeyCode>& KeySpace()
{
    static const std::vector<KeyCode> space = DistinctKeys();
    return space;
}

int PressedIndex(int count)
{
    return std::min(count, static_cast<int>(KeySpace().size())) - 1;
}

// A mix as a user's table holds it: references to a loaded plug-in and to one that is not
// (shown as an error), programs with parameters, and colon commands.
std::vector<Binding> MakeBindings(int count)
{
    std::vector<Binding> bindings;
    const int pressed = PressedIndex(count);
    for (int i = 0; i < count; ++i) {
        Binding binding;
        binding.key = KeySpace()[static_cast<size_t>(i) % KeySpace().size()];
        if (i == pressed) {
            binding.command = L"Sample.dll|" + std::to_wstring(PRESSED_COMMAND_ID);
        } else if (i % 4 == 0) {
            binding.command = L"Sample.dll|5";
        } else if (i % 4 == 1) {
            binding.command = L"C:\\Tools\\editor" + std::to_wstring(i) + L".exe";
            binding.param = L"/open \"C:\\Notes\\note " + std::to_wstring(i) + L".txt\"";
        } else if (i % 4 == 2) {
            binding.command = L":toolmenu";
        } else {
            binding.command = L"Other.dll|3";
        }
        bindings.push_back(binding);
    }
    return bindings;
}

std::wstring SettingsText(const std::vector<Binding>& bindings, bool limited)
{
    std::wstring text = L"[setting]\r\nenable=1\r\n";
    if (!bindings.empty()) {
        text += L"[hotkeys]\r\n";
        for (const std::wstring& line : HotkeyLines(bindings, limited)) {
            text += line + L"\r\n";
        }
    }
    return text;
}

std::vector<wchar_t> SectionStrings(const std::vector<Binding>& bindings)
{
    std::vector<wchar_t> strings;
    for (const std::wstring& line : HotkeyLines(bindings)) {
        strings.insert(strings.end(), line.begin(), line.end());
        strings.push_back(L'\0');
    }
    strings.push_back(L'\0');
    return strings;
}

bool WriteSettingsFile(const std::wstring& path, const std::wstring& text)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const wchar_t mark = 0xFEFF;
    DWORD written = 0;
    bool ok = WriteFile(file, &mark, sizeof(mark), &written, nullptr) != FALSE;
    ok = ok && WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    return ok;
}

std::wstring ReadHotkeySection(const std::wstring& path, size_t capacity)
{
    std::vector<wchar_t> buffer(capacity, L'\0');
    const DWORD length = GetPrivateProfileSectionW(L"hotkeys", buffer.data(), static_cast<DWORD>(capacity),
                                                   path.c_str());
    return std::wstring(buffer.data(), length);
}
