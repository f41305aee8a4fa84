#include "host/demo_checks.h"

#include <windows.h>

#include <shlwapi.h>

#include <cwchar>

#include "host/host_driving.h"
#include "base/key_text.h"

namespace {

constexpr wchar_t KEY_NAMES_OPTION[] = L"--key-names";
constexpr wchar_t UNSAVED_TEXT_OPTION[] = L"--unsaved-text";
// A program that does not answer within this time may hold anything.
constexpr UINT ANSWER_TIMEOUT_MS = 2000;

int PrintKeyNames(const std::vector<std::wstring>& codes)
{
    for (const std::wstring& code : codes) {
        wchar_t* end = nullptr;
        const unsigned long value = std::wcstoul(code.c_str(), &end, 10);
        if (end == code.c_str() || *end != L'\0' || value == 0 || value > 0xFFFF) {
            continue;
        }
        wchar_t name[KEY_TEXT_CAPACITY] = {};
        FormatKeyCode(static_cast<KeyCode>(value), name);
        PrintLine(code + L"\t" + name);
    }
    return 0;
}

BOOL CALLBACK FindChangedText(HWND child, LPARAM context)
{
    wchar_t kind[32] = {};
    GetClassNameW(child, kind, 32);
    const bool text = lstrcmpiW(kind, L"Edit") == 0 || StrCmpNIW(kind, L"RichEdit", 8) == 0;
    if (!text || (GetWindowLongW(child, GWL_STYLE) & ES_READONLY) != 0) {
        return TRUE;
    }
    DWORD_PTR changed = 0;
    if (SendMessageTimeoutW(child, EM_GETMODIFY, 0, 0, SMTO_ABORTIFHUNG, ANSWER_TIMEOUT_MS, &changed) == 0 ||
        changed != 0) {
        *reinterpret_cast<bool*>(context) = true;
        return FALSE;
    }
    return TRUE;
}

std::wstring ProgramName(DWORD processId)
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process != nullptr) {
        if (QueryFullProcessImageNameW(process, 0, path, &length) == FALSE) {
            path[0] = L'\0';
        }
        CloseHandle(process);
    }
    return path[0] != L'\0' ? PathFindFileNameW(path) : L"process " + std::to_wstring(processId);
}

BOOL CALLBACK PrintUnsavedWindow(HWND window, LPARAM)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == GetCurrentProcessId() || !IsWindowVisible(window)) {
        return TRUE;
    }
    bool changed = false;
    EnumChildWindows(window, FindChangedText, reinterpret_cast<LPARAM>(&changed));
    if (changed) {
        wchar_t title[256] = {};
        GetWindowTextW(window, title, 256);
        PrintLine(ProgramName(processId) + L" \"" + title + L"\"");
    }
    return TRUE;
}

}  // namespace

bool AnswerDemoCheck(const std::vector<std::wstring>& arguments, int* status)
{
    if (arguments.empty()) {
        return false;
    }
    if (arguments.front() == KEY_NAMES_OPTION) {
        *status = PrintKeyNames(std::vector<std::wstring>(arguments.begin() + 1, arguments.end()));
        return true;
    }
    if (arguments.front() == UNSAVED_TEXT_OPTION) {
        *status = EnumWindows(PrintUnsavedWindow, 0) != FALSE ? 0 : 1;
        return true;
    }
    return false;
}
