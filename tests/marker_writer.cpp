// A program for shell-open tests: writes its command line after the first argument into the
// file named by the first argument, so a test can see that it ran and with which parameters.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        return 2;
    }
    HANDLE file = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        char text[1024];
        const int length = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, text, sizeof(text), nullptr, nullptr);
        DWORD written = 0;
        if (length > 1) {
            WriteFile(file, text, static_cast<DWORD>(length - 1), &written, nullptr);
        }
        if (i + 1 < argc) {
            WriteFile(file, " ", 1, &written, nullptr);
        }
    }
    CloseHandle(file);
    return 0;
}
