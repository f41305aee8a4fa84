#include "ui/picker_template.h"

#include "base/bounded_text.h"
#include "res/resource_ids.h"

namespace {

// Writes the template front to back and never past its end: a write that would is refused, and
// so is every write after it.
struct TemplateWriter {
    BYTE* block;
    size_t capacity;
    size_t offset;
    bool refused;
};

void WriteBytes(TemplateWriter& writer, const void* data, size_t count)
{
    if (writer.refused || count > writer.capacity - writer.offset) {
        writer.refused = true;
        return;
    }
    CopyMemory(writer.block + writer.offset, data, count);
    writer.offset += count;
}

void WriteWord(TemplateWriter& writer, WORD value)
{
    WriteBytes(writer, &value, sizeof(value));
}

void WriteDword(TemplateWriter& writer, DWORD value)
{
    WriteBytes(writer, &value, sizeof(value));
}

void WriteTemplateText(TemplateWriter& writer, const wchar_t* text)
{
    WriteBytes(writer, text, (static_cast<size_t>(TextLength(text)) + 1) * sizeof(wchar_t));
}

// Items start on a 4-byte boundary; the skipped bytes are zero even in a block that is not.
void AlignToDword(TemplateWriter& writer)
{
    while (writer.offset % 4 != 0 && writer.offset < writer.capacity) {
        writer.block[writer.offset++] = 0;
    }
}

struct PickerItemTemplate {
    DWORD style;
    DWORD extendedStyle;
    short x, y, width, height;
    WORD id;
    const wchar_t* className;
    const wchar_t* title;
};

constexpr DWORD PICKER_STYLE = 0x90C800CC;
constexpr short PICKER_WIDTH = 320;
constexpr short PICKER_HEIGHT = 212;
constexpr wchar_t PICKER_CAPTION[] = L"プラグインコマンド選択";
constexpr WORD PICKER_FONT_SIZE = 9;
constexpr wchar_t PICKER_FONT[] = L"Ms Shell Dlg";

const PickerItemTemplate pickerItems[] = {
    {0x50010000, 0, 212, 188, 48, 16, IDOK, L"button", L"OK"},
    {0x50010000, 0, 264, 188, 48, 16, IDCANCEL, L"button", L"キャンセル"},
    {0x50011020, WS_EX_CLIENTEDGE, 8, 8, 96, 148, IDC_PICKER_TREE, L"SysTreeView32", L""},
    {0x5001080D, WS_EX_CLIENTEDGE, 112, 8, 200, 148, IDC_PICKER_LIST, L"SysListView32", L""},
    {0x50000880, WS_EX_CLIENTEDGE, 8, 164, 304, 16, IDC_PICKER_REFERENCE, L"edit", L""},
};

void WriteTemplateHeader(TemplateWriter& writer)
{
    WriteDword(writer, PICKER_STYLE);
    WriteDword(writer, 0);
    WriteWord(writer, static_cast<WORD>(ARRAYSIZE(pickerItems)));
    WriteWord(writer, 0);
    WriteWord(writer, 0);
    WriteWord(writer, PICKER_WIDTH);
    WriteWord(writer, PICKER_HEIGHT);
    WriteWord(writer, 0);  // no menu
    WriteWord(writer, 0);  // the standard dialog class
    WriteTemplateText(writer, PICKER_CAPTION);
    WriteWord(writer, PICKER_FONT_SIZE);
    WriteTemplateText(writer, PICKER_FONT);
}

void WriteTemplateItem(TemplateWriter& writer, const PickerItemTemplate& item)
{
    AlignToDword(writer);
    WriteDword(writer, item.style);
    WriteDword(writer, item.extendedStyle);
    WriteWord(writer, static_cast<WORD>(item.x));
    WriteWord(writer, static_cast<WORD>(item.y));
    WriteWord(writer, static_cast<WORD>(item.width));
    WriteWord(writer, static_cast<WORD>(item.height));
    WriteWord(writer, item.id);
    WriteTemplateText(writer, item.className);
    WriteTemplateText(writer, item.title);
    WriteWord(writer, 0);  // no creation data
}

}  // namespace

bool WriteCommandPickerTemplate(void* block)
{
    TemplateWriter writer = {static_cast<BYTE*>(block), PICKER_TEMPLATE_SIZE, 0, false};
    WriteTemplateHeader(writer);
    for (const PickerItemTemplate& item : pickerItems) {
        WriteTemplateItem(writer, item);
    }
    return !writer.refused;
}
