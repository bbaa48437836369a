#include "output/summary.h"

#include <cstdarg>
#include <cstdio>

namespace vux {

namespace {

// printf into the end of `out`.
[[gnu::format(printf, 2, 3)]] void AppendFormat(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list sizing;
    va_copy(sizing, args);
    const int length = std::vsnprintf(nullptr, 0, format, sizing);
    va_end(sizing);
    if (length > 0) {
        const size_t old = out.size();
        out.resize(old + static_cast<size_t>(length) + 1);
        std::vsnprintf(out.data() + old, static_cast<size_t>(length) + 1, format, args);
        out.resize(old + static_cast<size_t>(length));
    }
    va_end(args);
}

}  // namespace

std::string SummaryText(const RunState& state, double processingSeconds) {
    std::string text = "\n";
    AppendFormat(text, "\nAnalysis complete, processing time: %.3fs", processingSeconds);
    const double duration = state.columns.empty() ? 0.0 : state.columns.front().max;
    AppendFormat(text, "\nData Duration: %.3fs", duration);
    for (const ColumnDef& column : state.columns) {
        AppendFormat(text, "\n\nChannel %s (%s):\n", column.name.c_str(), column.heading.c_str());
        AppendFormat(text, "Max: %.3f @ %.5f\n", column.max, column.timeOfMax);
        AppendFormat(text, "Min: %.3f @ %.5f\n", column.min, column.timeOfMin);
        if (column.multPerWindow == 0) {
            AppendFormat(text, "Mean: %.3f ", column.mean);
        }
    }
    text += "\n\nTo view MATLAB plots...\nnavigate to the output directory in MATLAB and run vuxplots() on the console\n";
    return text;
}

void PrintSummary(const RunState& state, RunClock::time_point readStart) {
    const std::string text = SummaryText(state, SecondsSince(readStart));
    std::fputs(text.c_str(), stdout);
}

}  // namespace vux
