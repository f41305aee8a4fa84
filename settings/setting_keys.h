// The [setting] section's name and its keys, as the file stores them.
#pragma once

constexpr wchar_t SETTING_SECTION[] = L"setting";
constexpr wchar_t ENABLE_KEY[] = L"enable";
constexpr wchar_t PAUSE_KEY[] = L"pause_fullscreen";
