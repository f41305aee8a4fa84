// Sample.dll: a second plug-in for the stand-in host, so the host offers more than one. Its
// commands have ids out of order and varied menu flags; running one writes "<file name>|<id>"
// to the host's log, which is how a test sees that it ran.
#include <windows.h>

#include <strsafe.h>

#include "plugin/host_abi.h"

namespace {

wchar_t fileName[MAX_PATH];
DWORD_PTR hostHandle;

wchar_t pluginName[] = L"Sample";
wchar_t openName[] = L"Sample open";
wchar_t openCaption[] = L"サンプルを開く";
wchar_t beepName[] = L"Sample beep";
wchar_t beepCaption[] = L"Sample beep";
wchar_t noteName[] = L"Sample note";
wchar_t noteCaption[] = L"Sample メモ";
wchar_t hiddenName[] = L"Sample hidden";
wchar_t hiddenCaption[] = L"Sample hidden";

PluginCommandInfo commands[] = {
    {openName, openCaption, 5, 0, 0, 1, 0, 0},
    {beepName, beepCaption, 7, 0, 0, 4, 0, 0},
    {noteName, noteCaption, 2, 0, 0, 5, 0, 0},
    {hiddenName, hiddenCaption, 9, 0, 0, 2, 0, 0},
};

PluginInfo descriptor = {0, pluginName, fileName, 0, 0x00010000, 0, 4, commands, 0};

}  // namespace

extern "C" {

PluginInfo* WINAPI TTBEvent_InitPluginInfo(const wchar_t* pluginFileName)
{
    lstrcpynW(fileName, pluginFileName != nullptr ? pluginFileName : L"", MAX_PATH);
    return &descriptor;
}

void WINAPI TTBEvent_FreePluginInfo(PluginInfo*)
{
}

BOOL WINAPI TTBEvent_Init(const wchar_t* pluginFileName, DWORD_PTR pluginHandle)
{
    lstrcpynW(fileName, pluginFileName != nullptr ? pluginFileName : L"", MAX_PATH);
    hostHandle = pluginHandle;
    return TRUE;
}

BOOL WINAPI TTBEvent_Unload()
{
    return TRUE;
}

BOOL WINAPI TTBEvent_Execute(int32_t commandId, HWND)
{
    const auto writeLog = reinterpret_cast<WriteLogService>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), "TTBPlugin_WriteLog")));
    if (writeLog != nullptr) {
        wchar_t text[MAX_PATH + 16];
        StringCchPrintfW(text, ARRAYSIZE(text), L"%ls|%d", fileName, commandId);
        writeLog(hostHandle, 0, text);
    }
    return TRUE;
}

void WINAPI TTBEvent_WindowsHook(UINT, WPARAM, LPARAM)
{
}

}  // extern "C"
