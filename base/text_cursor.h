// Text written by hand, unit by unit, for texts of thousands of lines where a formatting call for
// each line costs more than the rest of the work. The writer sizes the room for what it writes.
#pragma once

// A text being written and the end of its room; what does not fit is dropped.
struct TextCursor {
    wchar_t* at;
    const wchar_t* end;
};

void Put(TextCursor* out, const wchar_t* text);
// The number in decimal.
void PutNumber(TextCursor* out, unsigned number);
