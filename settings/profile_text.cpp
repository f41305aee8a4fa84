#include "settings/profile_text.h"

#include "base/bounded_text.h"

namespace {

// The integer reading looks at no more of a value than this, terminator included.
constexpr int INTEGER_TEXT_CAPACITY = 30;

bool IsQuote(wchar_t unit)
{
    return unit == L'\'' || unit == L'"';
}

// True when the reading would take a pair of quotes off this value.
bool HasMatchingQuotes(const wchar_t* value)
{
    return IsQuote(value[0]) && value[1] != L'\0' && value[TextLength(value) - 1] == value[0];
}

}  // namespace

bool IsProfileBlank(wchar_t unit)
{
    return unit == L' ' || unit == L'\t' || unit == L'\r' || unit == L'\n' || unit == L'\v' || unit == L'\f' ||
           unit == L'\x1A';
}

wchar_t* TrimProfileBlanks(wchar_t* text)
{
    while (IsProfileBlank(*text)) {
        ++text;
    }
    wchar_t* end = text + TextLength(text);
    while (end > text && IsProfileBlank(end[-1])) {
        *--end = L'\0';
    }
    return text;
}

// A closing quote cut off with the rest stays unremoved: the reading then drops the last unit
// that is left, as the platform does.
void CopyProfileValue(wchar_t* target, int capacity, const wchar_t* value)
{
    wchar_t quote = L'\0';
    if (HasMatchingQuotes(value)) {
        quote = *value++;
    }
    CopyText(target, capacity, value);
    if (quote != L'\0' && capacity >= TextLength(value)) {
        target[TextLength(target) - 1] = L'\0';
    }
}

wchar_t* UnquoteProfileValue(wchar_t* value)
{
    if (!HasMatchingQuotes(value)) {
        return value;
    }
    value[TextLength(value) - 1] = L'\0';
    return value + 1;
}

bool NeedsProfileQuotes(const wchar_t* text)
{
    const int length = TextLength(text);
    return length > 0 && (IsProfileBlank(text[0]) || IsProfileBlank(text[length - 1]) || HasMatchingQuotes(text));
}

// Optional blanks and sign, then a number in base 10, or in base 16, 8 or 2 after "0x", "0o" or
// "0b"; it stops at the first unit that is no digit of the base and wraps around at 32 bits.
UINT ReadProfileInteger(const wchar_t* value)
{
    wchar_t text[INTEGER_TEXT_CAPACITY];
    CopyProfileValue(text, INTEGER_TEXT_CAPACITY, value);
    const wchar_t* unit = text;
    while (*unit != L'\0' && *unit <= L' ') {
        ++unit;
    }
    bool negative = false;
    if (*unit == L'+' || *unit == L'-') {
        negative = *unit == L'-';
        ++unit;
    }
    UINT base = 10;
    if (unit[0] == L'0' && (unit[1] == L'x' || unit[1] == L'o' || unit[1] == L'b')) {
        base = unit[1] == L'x' ? 16 : unit[1] == L'o' ? 8 : 2;
        unit += 2;
    }
    UINT total = 0;
    for (;; ++unit) {
        UINT digit;
        if (*unit >= L'0' && *unit <= L'9') {
            digit = static_cast<UINT>(*unit - L'0');
        } else if (*unit >= L'a' && *unit <= L'z') {
            digit = static_cast<UINT>(*unit - L'a') + 10;
        } else if (*unit >= L'A' && *unit <= L'Z') {
            digit = static_cast<UINT>(*unit - L'A') + 10;
        } else {
            break;
        }
        if (digit >= base) {
            break;
        }
        total = total * base + digit;
    }
    return negative ? 0u - total : total;
}

bool HasStoredForm(const wchar_t* text, int capacity)
{
    return !NeedsProfileQuotes(text) || TextLength(text) + 1 < capacity;
}

// Inside quotes the blanks are no longer at the ends, and the reading takes off the added pair
// and nothing else; with the closing quote the text must still fit the reading, or the reading
// would drop a unit of the text instead.
void StoredProfileValue(wchar_t* target, int capacity, const wchar_t* text)
{
    if (NeedsProfileQuotes(text) && HasStoredForm(text, capacity)) {
        FormatText(target, capacity + 2, L"\"%ls\"", text);
    } else {
        CopyText(target, capacity + 2, text);
    }
}
