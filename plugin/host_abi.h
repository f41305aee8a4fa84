// The binary interface between the host launcher and its plug-ins: the plug-in information
// records, the plug-in's exported events and the host's exported services. The host reads and
// writes these records byte for byte, so every layout is pinned.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
struct PluginCommandInfo {
    wchar_t* name;
    wchar_t* caption;
    int32_t commandId;
    uint32_t reserved1;
    uint32_t reserved2;
    uint32_t menuFlags;
    uint32_t reserved3;
    uint32_t reserved4;
};

struct PluginInfo {
    uint16_t reserved1;
    wchar_t* name;
    wchar_t* fileName;
    uint16_t reserved2;
    uint32_t versionHigh;
    uint32_t versionLow;
    int32_t commandCount;
    PluginCommandInfo* commands;
    uint32_t reserved3;
};
#pragma pack(pop)

static_assert(sizeof(void*) == 8, "the host interface is 64-bit");

static_assert(sizeof(PluginCommandInfo) == 40, "PluginCommandInfo is 40 bytes");
static_assert(offsetof(PluginCommandInfo, name) == 0, "PluginCommandInfo.name");
static_assert(offsetof(PluginCommandInfo, caption) == 8, "PluginCommandInfo.caption");
static_assert(offsetof(PluginCommandInfo, commandId) == 16, "PluginCommandInfo.commandId");
static_assert(offsetof(PluginCommandInfo, reserved1) == 20, "PluginCommandInfo.reserved1");
static_assert(offsetof(PluginCommandInfo, reserved2) == 24, "PluginCommandInfo.reserved2");
static_assert(offsetof(PluginCommandInfo, menuFlags) == 28, "PluginCommandInfo.menuFlags");
static_assert(offsetof(PluginCommandInfo, reserved3) == 32, "PluginCommandInfo.reserved3");
static_assert(offsetof(PluginCommandInfo, reserved4) == 36, "PluginCommandInfo.reserved4");

static_assert(sizeof(PluginInfo) == 44, "PluginInfo is 44 bytes");
static_assert(offsetof(PluginInfo, reserved1) == 0, "PluginInfo.reserved1");
static_assert(offsetof(PluginInfo, name) == 2, "PluginInfo.name");
static_assert(offsetof(PluginInfo, fileName) == 10, "PluginInfo.fileName");
static_assert(offsetof(PluginInfo, reserved2) == 18, "PluginInfo.reserved2");
static_assert(offsetof(PluginInfo, versionHigh) == 20, "PluginInfo.versionHigh");
static_assert(offsetof(PluginInfo, versionLow) == 24, "PluginInfo.versionLow");
static_assert(offsetof(PluginInfo, commandCount) == 28, "PluginInfo.commandCount");
static_assert(offsetof(PluginInfo, commands) == 32, "PluginInfo.commands");
static_assert(offsetof(PluginInfo, reserved3) == 40, "PluginInfo.reserved3");

// The plug-in's exported events, as the host calls them.
using InitPluginInfoEvent = PluginInfo* (WINAPI*)(const wchar_t* pluginFileName);
using FreePluginInfoEvent = void (WINAPI*)(PluginInfo* info);
using InitEvent = BOOL (WINAPI*)(const wchar_t* pluginFileName, DWORD_PTR hostPluginHandle);
using UnloadEvent = BOOL (WINAPI*)();
using ExecuteEvent = BOOL (WINAPI*)(int32_t commandId, HWND window);
using WindowsHookEvent = void (WINAPI*)(UINT message, WPARAM wParam, LPARAM lParam);

// The host's exported services, in the order a plug-in resolves them.
using GetPluginInfoService = PluginInfo* (WINAPI*)(DWORD_PTR hostPluginHandle);
using SetPluginInfoService = void (WINAPI*)(DWORD_PTR hostPluginHandle, PluginInfo* info);
using FreePluginInfoService = void (WINAPI*)(PluginInfo* info);
using SetMenuPropertyService = void (WINAPI*)(DWORD_PTR hostPluginHandle, int32_t commandId,
                                              int32_t changeFlags, int32_t flags);
using GetAllPluginInfoService = PluginInfo** (WINAPI*)();
using FreePluginInfoArrayService = void (WINAPI*)(PluginInfo** plugins);
using SetTaskTrayIconService = void (WINAPI*)(HICON icon, const wchar_t* tip);
using WriteLogService = void (WINAPI*)(DWORD_PTR hostPluginHandle, int32_t level, const wchar_t* text);
using ExecuteCommandService = BOOL (WINAPI*)(const wchar_t* pluginFileName, int32_t commandId);

// The menu property that carries command 0's check mark.
constexpr int32_t MENU_PROPERTY_CHECKED = 8;
