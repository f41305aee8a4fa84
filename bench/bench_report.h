// The benchmark's report: one table of each figure with its floor and their ratio, then where a
// press's time goes, as Markdown on stdout.
#pragma once

#include <cmath>
#include <string>
#include <vector>

// Everything measured for one number of bindings; times in milliseconds.
struct Figures {
    int count = 0;
    int passes = 0;  // rounds of --repeat measured into these figures
    std::vector<double> init, initFloor, unload, unloadFloor;
    std::vector<double> dialog, dialogFloor;
    std::vector<double> saveAtOk, saveAtOkFloor;  // OK pressed to the session over, at up to 1,000
    std::vector<double> press;          // SendInput to the WM_HOTKEY handled
    std::vector<double> pressSending;   // the SendInput call
    std::vector<double> pressArrival;   // SendInput to the WM_HOTKEY taken from the queue
    std::vector<double> pressHandling;  // Tessel's dispatch of it
    std::vector<double> pressFloor;     // the same road to a bare window with the same registrations
    std::vector<double> heapPerBinding;  // bytes
    std::vector<double> heapFloorPerBinding;
    std::vector<double> heapListsPerBinding;  // every binding limited to programs
    std::vector<double> heapListsFloorPerBinding;
    int dialogRows = -1;
    int lostPresses = 0;
    bool savedAsFloor = false;
};

// dll: the library measured, as the report names it.
void PrintReport(const std::vector<Figures>& all, const std::string& dll);
