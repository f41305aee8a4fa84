// What every measurement of the benchmark uses: the clock and its statistics, message pumping,
// the floor's bare window and hotkeys, key presses through SendInput, and the heap in use.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "bench/bench_bindings.h"

// QueryPerformanceCounter in milliseconds.
double Milliseconds();
// Nearest rank: the smallest value that at least this fraction of the values do not exceed; NaN
// for no values.
double Percentile(std::vector<double> values, double fraction);
double Median(const std::vector<double>& values);

void DispatchPending();
// Dispatches this thread's messages until done() holds (true) or the time is up (false).
bool PumpUntil(const std::function<bool()>& done, DWORD limitMs);

// A window that takes its hotkeys and does nothing with them.
HWND CreateFloorWindow(DWORD style);

// Bare RegisterHotKey calls, one per binding with its index for the id, with the modifiers Tessel
// maps the stored combination to; and their release.
UINT HotkeyModifiers(KeyCode key);
void RegisterAll(HWND window, const std::vector<Binding>& bindings);
void UnregisterAll(HWND window, const std::vector<Binding>& bindings);

// The modifiers down, the key down and up, the modifiers up: one press of the combination.
std::vector<INPUT> PressInputs(KeyCode key);

// Bytes of the process heap in blocks in use, their bookkeeping included.
SIZE_T HeldHeapBytes();
// Wine keeps the settings file it read last parsed in memory; that is the platform's, not
// Tessel's, so it is let go before the heap is counted.
void ReleaseProfileCache();
