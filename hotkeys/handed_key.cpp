#include "hotkeys/handed_key.h"

namespace {

struct Modifier {
    KeyCode bit;
    WORD virtualKey;
};
const Modifier modifiers[] = {{KEY_CONTROL, VK_CONTROL}, {KEY_SHIFT, VK_SHIFT}, {KEY_ALT, VK_MENU}, {KEY_WIN, VK_LWIN}};

bool IsDown(WORD virtualKey)
{
    if (virtualKey == VK_LWIN) {
        return GetAsyncKeyState(VK_LWIN) < 0 || GetAsyncKeyState(VK_RWIN) < 0;
    }
    return GetAsyncKeyState(virtualKey) < 0;
}

void AddKey(INPUT* inputs, UINT* count, WORD virtualKey, DWORD flags)
{
    INPUT& input = inputs[(*count)++];
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.dwFlags = flags;
}

}  // namespace

// The user's key-down went to the hotkey, yet the system counts the key as down: a key-down sent
// now would reach the program as a repeat, which many programs ignore. A key still held therefore
// goes up first; the program sees a release of a key it never saw pressed, which programs pass
// over, then the first press. The user's own repeats and release follow, as without Tessel. A key
// released already goes down and up.
void HandKeyToProgram(KeyCode key)
{
    INPUT inputs[2 * ARRAYSIZE(modifiers) + 2] = {};
    UINT count = 0;
    bool pressedHere[ARRAYSIZE(modifiers)] = {};
    for (size_t i = 0; i < ARRAYSIZE(modifiers); ++i) {
        pressedHere[i] = (key & modifiers[i].bit) != 0 && !IsDown(modifiers[i].virtualKey);
        if (pressedHere[i]) {
            AddKey(inputs, &count, modifiers[i].virtualKey, 0);
        }
    }
    const auto virtualKey = static_cast<WORD>(key & VIRTUAL_KEY_BITS);
    const DWORD extended = (key & KEY_EXTENDED) != 0 ? KEYEVENTF_EXTENDEDKEY : 0;
    const bool held = IsDown(virtualKey);
    if (held) {
        AddKey(inputs, &count, virtualKey, extended | KEYEVENTF_KEYUP);
    }
    AddKey(inputs, &count, virtualKey, extended);
    if (!held) {
        AddKey(inputs, &count, virtualKey, extended | KEYEVENTF_KEYUP);
    }
    for (size_t i = ARRAYSIZE(modifiers); i-- > 0;) {
        if (pressedHere[i]) {
            AddKey(inputs, &count, modifiers[i].virtualKey, KEYEVENTF_KEYUP);
        }
    }
    SendInput(count, inputs, sizeof(INPUT));
}
