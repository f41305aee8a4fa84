// Presses kept from Tessel by a program list: the time from a press in the excluded program to the
// key reaching that program through Tessel's pass-through, against the same keys reaching it with no
// hotkey registered; a press of a combination whose first binding is for another program, against
// one of a combination with one binding; and whether the platform reports the foreground changes
// that Tessel's registrations follow.
#pragma once

#include <string>
#include <vector>

struct ScopeFigures {
    std::vector<double> passThrough;  // SendInput to the key's WM_KEYDOWN in the program in front
    std::vector<double> plainKey;     // the same with nothing registered
    std::vector<double> sharedPress;  // SendInput to the host's call, a combination with two bindings
    std::vector<double> plainPress;   // the same for a combination with one binding
    int lost = 0;
    int foregroundChanges = 0;
    int foregroundEvents = 0;  // EVENT_SYSTEM_FOREGROUND reported for them
};

// Loads Tessel.dll from the folder (with a settings file of its own) into this process, whose
// window is the program in front, and times the given number of presses of each kind.
ScopeFigures MeasureProgramScope(const std::wstring& folder, int presses);
void PrintScopeReport(const ScopeFigures& figures);
