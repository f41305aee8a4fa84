// What every measurement of the benchmark uses: the clock and its statistics, message pumping,
// the floor's bare window and hotkeys, key presses through SendInput, and the heap in use.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
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

// Bytes in blocks in use over every heap of the process, each block's bookkeeping as the heap
// counts it included: a list box keeps its entries in blocks of its own.
SIZE_T HeldHeapBytes();
// Wine keeps the last settings files it read parsed in memory; that is the platform's, not
// Tessel's, so it is let go before the heap is counted: ten files that do not exist in the
// folder are read for it.
void ReleaseProfileCache(const std::wstring& folder);
