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

std::string Ratio(double value, double floor)
{
    char text[32];
    if (std::isnan(value) || std::isnan(floor) || floor <= 0) {
        return "n/a";
    }
    std::snprintf(text, sizeof(text), "%.1f", value / floor);
    return text;
}

void PrintRow(const char* figure, int count, const std::string& value, const std::string& floor,
              const std::string& ratio)
{
    std::printf("| %s | %d | %s | %s | %s |\n", figure, count, value.c_str(), floor.c_str(), ratio.c_str());
}

void PrintTimeRows(const char* figure, const std::vector<Figures>& all,
                   const std::function<double(const Figures&)>& value,
                   const std::function<double(const Figures&)>& floor)
{
    for (const Figures& figures : all) {
        const double measured = value(figures);
        const double least = floor(figures);
        PrintRow(figure, figures.count, Time(measured), Time(least), Ratio(measured, least));
    }
}

}  // namespace

void PrintReport(const std::vector<Figures>& all, const std::string& dll)
{
    std::printf("| Figure | Bindings | Tessel | Floor | Ratio |\n|---|---:|---:|---:|---:|\n");
    PrintTimeRows("Init: load and register", all, [](const Figures& f) { return Median(f.init); },
                  [](const Figures& f) { return Median(f.initFloor); });
    PrintTimeRows("Unload: save", all, [](const Figures& f) { return Median(f.unload); },
                  [](const Figures& f) { return Median(f.unloadFloor); });
    PrintTimeRows("Settings dialog to first paint", all, [](const Figures& f) { return Median(f.dialog); },
                  [](const Figures& f) { return Median(f.dialogFloor); });
    std::vector<Figures> saved;
    std::copy_if(all.begin(), all.end(), std::back_inserter(saved), [](const Figures& f) { return !f.saveAtOk.empty(); });
    PrintTimeRows("Settings OK: close and save", saved, [](const Figures& f) { return Median(f.saveAtOk); },
                  [](const Figures& f) { return Median(f.saveAtOkFloor); });
    PrintTimeRows("Press to action, median", all, [](const Figures& f) { return Median(f.press); },
                  [](const Figures& f) { return Median(f.pressFloor); });
    PrintTimeRows("Press to action, 99th percentile", all, [](const Figures& f) { return Percentile(f.press, 0.99); },
                  [](const Figures& f) { return Percentile(f.pressFloor, 0.99); });
    for (const Figures& figures : all) {
        PrintRow("Heap held per binding", figures.count, Bytes(figures.heapPerBinding),
                 Bytes(figures.heapFloorPerBinding), Ratio(figures.heapPerBinding, figures.heapFloorPerBinding));
    }

    std::printf("\nWhere a press's time goes (medians; the platform's road is SendInput to a WM_HOTKEY handled by "
                "a bare window that holds the same registrations):\n\n");
    std::printf("| Bindings | SendInput call | SendInput to WM_HOTKEY taken | Tessel handling it | Whole press "
                "| Platform's road | Presses lost |\n|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const Figures& figures : all) {
        std::printf("| %d | %s | %s | %s | %s | %s | %d |\n", figures.count, Time(Median(figures.pressSending)).c_str(),
                    Time(Median(figures.pressArrival)).c_str(),
                    Time(Median(figures.pressHandling)).c_str(), Time(Median(figures.press)).c_str(),
                    Time(Median(figures.platformPress)).c_str(), figures.lostPresses);
    }

    std::printf("\nChecks: ");
    for (const Figures& figures : all) {
        std::printf("%sN=%d: dialog showed %d rows, saved [hotkeys] %s the floor's",
                    &figures == &all.front() ? "" : "; ", figures.count, figures.dialogRows,
                    figures.savedAsFloor ? "equal to" : "DIFFERENT from");
    }
    std::printf(".\n\nMeasured: %s, %zu distinct combinations, then repeats.\n", dll.c_str(),
                KeySpace().size());
}
