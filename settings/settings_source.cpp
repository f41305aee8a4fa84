#include "settings/settings_source.h"

#include <cstring>
#include <cwchar>

#include "base/heap_block.h"
#include "settings/private_copy.h"
#include "settings/safe_save.h"
#include "settings/settings.h"
#include "settings/settings_encoding.h"
#include "plugin/plugin_state.h"

namespace {

// Room before the module's path for the extended-length prefix ("\\?\UNC" for "\\"), and after
// it for ".ini" and a work copy's or a backup's suffix.
constexpr int PREFIX_ROOM = 8;
constexpr int SUFFIX_ROOM = SUFFIX_CAPACITY;

// Replaces the extension of the file name, from its last dot on, or appends it to a name that
// has none; the caller leaves room for it.
void RenameExtension(wchar_t* path)
{
    wchar_t* name = std::wcsrchr(path, L'\\');
    name = name != nullptr ? name + 1 : path;
    wchar_t* dot = std::wcsrchr(name, L'.');
    CopyText(dot != nullptr ? dot : name + TextLength(name), 5, L".ini");
}

bool FailOpening(SettingsSource* source, DWORD reason)
{
    source->failure = reason != ERROR_SUCCESS ? reason : ERROR_READ_FAULT;
    return false;
}

}  // namespace

wchar_t* NewSettingsPath()
{
    auto* path = static_cast<wchar_t*>(AllocateBlock(LONG_PATH_CAPACITY * sizeof(wchar_t)));
    if (path == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    wchar_t* module = path + PREFIX_ROOM;
    const DWORD capacity = LONG_PATH_CAPACITY - PREFIX_ROOM - SUFFIX_ROOM;
    const DWORD length = GetModuleFileNameW(moduleInstance, module, capacity);
    if (length == 0 || length >= capacity) {
        const DWORD error = length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
        ReleaseBlock(path);
        SetLastError(error);
        return nullptr;
    }
    RenameExtension(module);
    const wchar_t* prefix = L"";
    int skipped = 0;
    if (!ProfileFunctionsTake(module) && std::wcsncmp(module, EXTENDED_PREFIX, 4) != 0) {
        const bool network = module[0] == L'\\' && module[1] == L'\\';
        prefix = network ? L"\\\\?\\UNC" : EXTENDED_PREFIX;
        skipped = network ? 1 : 0;
    }
    const size_t prefixLength = std::wcslen(prefix);
    std::memmove(path + prefixLength, module + skipped, (std::wcslen(module + skipped) + 1) * sizeof(wchar_t));
    std::memcpy(path, prefix, prefixLength * sizeof(wchar_t));
    return path;
}

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

void ForgetParsedFile(const wchar_t* path)
{
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, path);
}

bool OpenSettingsSource(const wchar_t* path, const FoundFile& found, SettingsSource* source)
{
    *source = {};
    if (found.bytes == nullptr) {
        return (path != nullptr && IsMissing(found.error)) || FailOpening(source, found.error);
    }
    const bool opened = OpenBytesSource(found.bytes, found.size, path, source);
    if (!opened) {
        FailOpening(source, GetLastError());
    }
    return opened;
}

bool OpenBytesSource(const BYTE* bytes, DWORD size, const wchar_t* path, SettingsSource* source)
{
    *source = {};
    if (path != nullptr && !IsUtf8Text(bytes, size) && ProfileFunctionsTake(path)) {
        CopyText(source->path, MAX_PATH, path);
        source->found = true;
        return true;
    }
    DWORD readySize = 0;
    BYTE* ready = ProfileReadyBytes(bytes, size, nullptr, &readySize);
    const bool opened = ready != nullptr && WritePrivateCopy(ready, readySize, source->path);
    const DWORD error = GetLastError();
    source->found = opened;
    source->privateCopy = opened;
    ReleaseBlock(ready);
    SetLastError(error);
    return opened;
}

void CloseSettingsSource(const SettingsSource& source)
{
    if (source.privateCopy) {
        ForgetParsedFile(source.path);
        DeleteFileW(source.path);
    }
}

wchar_t* NewSettingsFileName()
{
    wchar_t* path = NewSettingsPath();
    if (path != nullptr && std::wcsncmp(path, EXTENDED_PREFIX, 4) == 0) {
        // The extended-length form is the file functions' spelling, not the user's.
        const bool network = std::wcsncmp(path + 4, L"UNC\\", 4) == 0;
        const wchar_t* rest = path + (network ? 7 : 4);
        const size_t kept = network ? 1 : 0;
        std::memmove(path + kept, rest, (std::wcslen(rest) + 1) * sizeof(wchar_t));
    }
    return path;
}
