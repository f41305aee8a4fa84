#include "bench/bench_report.h"

#include <cmath>
#include <cstdio>
#include <algorithm>
#include <functional>
#include <iterator>

#include "bench/bench_bindings.h"
#include "bench/measuring.h"

namespace {

std::string Time(double milliseconds)
{
    char text[32];
    if (std::isnan(milliseconds)) {
        return "n/a";
    }
    if (milliseconds >= 100) {
        std::snprintf(text, sizeof(text), "%.0f ms", milliseconds);
    } else if (milliseconds >= 10) {
        std::snprintf(text, sizeof(text), "%.1f ms", milliseconds);
    } else if (milliseconds >= 1) {
        std::snprintf(text, sizeof(text), "%.2f ms", milliseconds);
    } else {
        std::snprintf(text, sizeof(text), "%.3f ms", milliseconds);
    }
    return text;
}

std::string Bytes(double bytes)
{
    char text[32];
    if (std::isnan(bytes)) {
        return "n/a";
    }
    std::snprintf(text, sizeof(text), "%.0f B", bytes);
    return text;
}

// The quotient in the given form, or "n/a" when either side was not measured.
std::string Quotient(const char* format, double value, double base)
{
    char text[32];
    if (std::isnan(value) || std::isnan(base) || base <= 0) {
        return "n/a";
    }
    std::snprintf(text, sizeof(text), format, value / base);
    return text;
}

std::string Ratio(double value, double floor)
{
    return Quotient("%.2f", value, floor);
}

// What Tessel adds to the floor in milliseconds: steadier than the ratio, since the floor itself
// swings with the machine's load.
std::string Excess(double value, double floor)
{
    if (std::isnan(value) || std::isnan(floor)) {
        return "n/a";
    }
    const std::string magnitude = Time(std::fabs(value - floor));
    return (value < floor ? "-" : "+") + magnitude;
}

void PrintRow(const char* figure, const std::string& count, const std::string& value, const std::string& floor,
              const std::string& excess, const std::string& ratio)
{
    std::printf("| %s | %s | %s | %s | %s | %s |\n", figure, count.c_str(), value.c_str(), floor.c_str(), excess.c_str(),
                ratio.c_str());
}

using Statistic = std::function<double(const Figures&)>;

void PrintTimeRows(const char* figure, const std::vector<Figures>& all, const Statistic& value, const Statistic& floor)
{
    for (const Figures& figures : all) {
        const double measured = value(figures);
        const double least = floor(figures);
        PrintRow(figure, std::to_string(figures.count), Time(measured), Time(least), Excess(measured, least),
                 Ratio(measured, least));
    }
}

std::string Growth(double from, double to)
{
    return Quotient("x%.1f", to, from);
}

// How a figure grows from one number of bindings to the next, beside its floor's growth.
void PrintGrowthRow(const char* figure, const Figures& from, const Figures& to, const Statistic& value,
                    const Statistic& floor)
{
    std::printf("| %s | %d to %d | %s | %s |\n", figure, from.count, to.count, Growth(value(from), value(to)).c_str(),
                Growth(floor(from), floor(to)).c_str());
}

Statistic MedianOf(const std::vector<double> Figures::*times)
{
    return [times](const Figures& figures) { return Median(figures.*times); };
}

void PrintHeapRows(const char* figure, const std::vector<Figures>& all, const std::vector<double> Figures::*held,
                   const std::vector<double> Figures::*floor)
{
    for (const Figures& figures : all) {
        const double bytes = Median(figures.*held);
        const double least = Median(figures.*floor);
        PrintRow(figure, std::to_string(figures.count), Bytes(bytes), Bytes(least),
                 (bytes < least ? "-" : "+") + Bytes(std::fabs(bytes - least)), Ratio(bytes, least));
    }
}

}  // namespace

void PrintReport(const std::vector<Figures>& all, const std::string& dll)
{
    std::printf("| Figure | Bindings | Tessel | Floor | Excess | Ratio |\n|---|---:|---:|---:|---:|---:|\n");
    PrintTimeRows("Init: load and register", all, MedianOf(&Figures::init), MedianOf(&Figures::initFloor));
    PrintTimeRows("Unload: save", all, MedianOf(&Figures::unload), MedianOf(&Figures::unloadFloor));
    PrintTimeRows("Settings dialog to first paint", all, MedianOf(&Figures::dialog), MedianOf(&Figures::dialogFloor));
    std::vector<Figures> saved;
    std::copy_if(all.begin(), all.end(), std::back_inserter(saved), [](const Figures& f) { return !f.saveAtOk.empty(); });
    PrintTimeRows("Settings OK: close and save", saved, MedianOf(&Figures::saveAtOk), MedianOf(&Figures::saveAtOkFloor));
    PrintTimeRows("Press to action, median", all, MedianOf(&Figures::press), MedianOf(&Figures::pressFloor));
    PrintTimeRows("Press to action, 99th percentile", all, [](const Figures& f) { return Percentile(f.press, 0.99); },
                  [](const Figures& f) { return Percentile(f.pressFloor, 0.99); });
    PrintHeapRows("Heap held per binding", all, &Figures::heapPerBinding, &Figures::heapFloorPerBinding);
    PrintHeapRows("Heap held per binding limited to programs", all, &Figures::heapListsPerBinding,
                  &Figures::heapListsFloorPerBinding);

    if (all.size() >= 2) {
        const Figures& from = all[all.size() - 2];
        const Figures& to = all.back();
        std::printf("\nGrowth with the number of bindings (medians; linear growth is x%.1f):\n\n",
                    static_cast<double>(to.count) / from.count);
        std::printf("| Figure | Bindings | Tessel | Floor |\n|---|---:|---:|---:|\n");
        PrintGrowthRow("Init", from, to, MedianOf(&Figures::init), MedianOf(&Figures::initFloor));
        PrintGrowthRow("Unload", from, to, MedianOf(&Figures::unload), MedianOf(&Figures::unloadFloor));
        PrintGrowthRow("Settings dialog", from, to, MedianOf(&Figures::dialog), MedianOf(&Figures::dialogFloor));
        PrintGrowthRow("Press", from, to, MedianOf(&Figures::press), MedianOf(&Figures::pressFloor));
    }

    std::printf("\nWhere a press's time goes (medians; the platform's road, the press's floor, is SendInput to a "
                "WM_HOTKEY handled by a bare window that holds the same registrations):\n\n");
    std::printf("| Bindings | SendInput call | SendInput to WM_HOTKEY taken | Tessel handling it | Whole press "
                "| Platform's road | Presses lost |\n|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const Figures& figures : all) {
        std::printf("| %d | %s | %s | %s | %s | %s | %d |\n", figures.count, Time(Median(figures.pressSending)).c_str(),
                    Time(Median(figures.pressArrival)).c_str(), Time(Median(figures.pressHandling)).c_str(),
                    Time(Median(figures.press)).c_str(), Time(Median(figures.pressFloor)).c_str(),
                    figures.lostPresses);
    }

    std::printf("\nChecks: ");
    for (const Figures& figures : all) {
        std::printf("%sN=%d: dialog showed %d rows, saved [hotkeys] %s the floor's",
                    &figures == &all.front() ? "" : "; ", figures.count, figures.dialogRows,
                    figures.savedAsFloor ? "equal to" : "DIFFERENT from");
    }
    const int passes = all.empty() ? 0 : all.front().passes;
    std::printf(".\n\nMeasured: %s, %zu distinct combinations, then repeats; %d interleaved pass%s.\n", dll.c_str(),
                KeySpace().size(), passes, passes == 1 ? "" : "es");
}
