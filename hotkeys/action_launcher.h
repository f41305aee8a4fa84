// Carries out the action of a pressed binding: a plug-in command, a colon command on the host's
// main window, or a shell open. Every failure is silent.
#pragma once

void LaunchAction(const wchar_t* command, const wchar_t* param);
