#include "base/text_cursor.h"

namespace {

// The decimal digits of the largest unsigned number.
constexpr int DIGITS_CAPACITY = 16;

}  // namespace

void Put(TextCursor* out, const wchar_t* text)
{
    while (*text != L'\0' && out->at < out->end) {
        *out->at++ = *text++;
    }
}

void PutNumber(TextCursor* out, unsigned number)
{
    wchar_t digits[DIGITS_CAPACITY];
    int count = 0;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + number % 10);
        number /= 10;
    } while (number != 0);
    while (count > 0 && out->at < out->end) {
        *out->at++ = digits[--count];
    }
}
