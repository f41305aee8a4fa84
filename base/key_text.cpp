#include "base/key_text.h"

#include "base/bounded_text.h"

namespace {

constexpr int KEY_NAME_CAPACITY = KEY_TEXT_CAPACITY;

// GetKeyNameTextW's flag for a key of the extended set: the arrows, Insert, Delete, Home, End
// and the page keys beside the main block rather than on the keypad.
constexpr LONG KEY_NAME_EXTENDED = 1L << 24;

}  // namespace

int FormatKeyCode(KeyCode key, wchar_t* text)
{
    // Shown as Ctrl, Shift, Alt, Win, although the flag bits run shift, control, alt.
    const wchar_t* control = (key & KEY_CONTROL) != 0 ? L"Ctrl + " : L"";
    const wchar_t* shift = (key & KEY_SHIFT) != 0 ? L"Shift + " : L"";
    const wchar_t* alt = (key & KEY_ALT) != 0 ? L"Alt + " : L"";
    const wchar_t* win = (key & KEY_WIN) != 0 ? L"Win + " : L"";

    // The extended flag picks the navigation key over the keypad key of the same scan code;
    // without the don't-care bit, left and right keys keep their own names.
    const UINT scanCode = MapVirtualKeyW(key & VIRTUAL_KEY_BITS, MAPVK_VK_TO_VSC);
    LONG keyParam = MAKELONG(0, scanCode);
    if ((key & KEY_EXTENDED) != 0) {
        keyParam |= KEY_NAME_EXTENDED;
    }
    wchar_t name[KEY_NAME_CAPACITY] = {};
    if (GetKeyNameTextW(keyParam, name, KEY_NAME_CAPACITY) <= 0) {
        name[0] = L'\0';
    }
    FormatText(text, KEY_TEXT_CAPACITY, L"%ls%ls%ls%ls%ls", control, shift, alt, win, name);
    return 1;
}
