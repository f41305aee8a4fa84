#include "base/system_libraries.h"

#include "base/bounded_text.h"

namespace {

struct SystemLibrary {
    const wchar_t* name;
    HMODULE module;
};

SystemLibrary shell = {L"shell32.dll", nullptr};
SystemLibrary commonDialogs = {L"comdlg32.dll", nullptr};

ShellExecuteFunction shellExecute;
decltype(&GetOpenFileNameW) getOpenFileName;

// Only from the system folder, never from the host's folder or the current one. A system without
// the search flags refuses them as an invalid parameter and is given the full path instead.
HMODULE LoadFromSystemFolder(const wchar_t* name)
{
    HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) {
        return module;
    }
    wchar_t folder[TEXT_CAPACITY];
    const UINT length = GetSystemDirectoryW(folder, TEXT_CAPACITY);
    if (length == 0 || length >= static_cast<UINT>(TEXT_CAPACITY)) {
        return nullptr;
    }
    wchar_t path[2 * TEXT_CAPACITY];
    FormatText(path, ARRAYSIZE(path), L"%ls\\%ls", folder, name);
    return LoadLibraryW(path);
}

// The library is pinned for the life of the process: the host may unload the plug-in while a call
// into it still runs (a message dispatched inside the open-file dialog), and freeing it then would
// pull the code from under that call; pinned, loading it again in a later run adds nothing. A
// library that could not be loaded is tried again on the next use.
FARPROC SystemFunction(SystemLibrary& library, const char* function)
{
    if (library.module == nullptr) {
        library.module = LoadFromSystemFolder(library.name);
        if (library.module == nullptr) {
            return nullptr;
        }
        HMODULE pinned = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCWSTR>(library.module), &pinned);
    }
    return GetProcAddress(library.module, function);
}

template <typename Function>
Function Resolve(Function* cached, SystemLibrary& library, const char* name)
{
    if (*cached == nullptr) {
        *cached = reinterpret_cast<Function>(reinterpret_cast<void*>(SystemFunction(library, name)));
    }
    return *cached;
}

}  // namespace

ShellExecuteFunction LoadShellExecute()
{
    return Resolve(&shellExecute, shell, "ShellExecuteW");
}

BOOL ShowOpenFileDialog(OPENFILENAMEW* dialog)
{
    const auto show = Resolve(&getOpenFileName, commonDialogs, "GetOpenFileNameW");
    if (show == nullptr) {
        MessageBeep(0);
        return FALSE;
    }
    return show(dialog);
}
