#include "base/bounded_text.h"

#include <windows.h>

#include <strsafe.h>

#include <cstdarg>
#include <cwchar>

void CopyText(wchar_t* target, int capacity, const wchar_t* source)
{
    if (target == nullptr || capacity <= 0) {
        return;
    }
    // cppcheck-suppress lstrcpynWCalled ; the house's bounded copy: cut to capacity - 1 and terminated
    lstrcpynW(target, source != nullptr ? source : L"", capacity);
}

// NOLINTNEXTLINE(cert-dcl50-cpp): printf-style by design, the bounded form of StringCchPrintfW
bool FormatText(wchar_t* target, int capacity, const wchar_t* format, ...)
{
    if (target == nullptr || capacity <= 0) {
        return false;
    }
    va_list arguments;
    va_start(arguments, format);
    // A text that does not fit is cut and terminated; the caller sizes buffers for its texts, or
    // asks whether the text fit.
    const HRESULT formatted = StringCchVPrintfW(target, static_cast<size_t>(capacity), format, arguments);
    va_end(arguments);
    return SUCCEEDED(formatted);
}

int TextLength(const wchar_t* text)
{
    return text != nullptr ? static_cast<int>(std::wcslen(text)) : 0;
}
