// What the stand-in host saw: every call a plug-in made into it and the main-window messages
// that matter, in order; and the host's log.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct HostMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Calls read like the call: L"SetMenuProperty(1,0,8,8)", L"ExecuteCommand(Other.dll,5)".
void RecordCall(const std::wstring& call);
void RecordMessage(UINT message, WPARAM wParam, LPARAM lParam);
// The texts plug-ins wrote to the host's log.
void RecordLog(const std::wstring& text);
std::vector<std::wstring> RecordedCalls();
std::vector<HostMessage> RecordedMessages();
std::vector<std::wstring> RecordedLogs();
void ClearRecords();

// With a file the log is appended to it as UTF-8 lines; without one it is only recorded.
void SetHostLogFile(const std::wstring& path);
void WriteHostLog(const std::wstring& line);
