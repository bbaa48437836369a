// Micro benchmarks of the data-field number parser on the kinds of fields a
// sensor-box export holds.

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "support/parse_number.h"

using test_support::ParseNumber;

namespace {

// One row's worth of typical fields: time stamp, millivolt readings with four
// decimals, signed vibration values with six.
const char* const kRowFields[] = {
    "921.02390", "1798.7771", "-1456.4390", "176.6658", "+14.934335",
    "-13.598183", "+12.022732", "+9.276545", "-23.076287", "-100.677850",
};

void BM_ParseNumberRowFields(benchmark::State& state) {
    for (auto _ : state) {
        double sum = 0.0;
        for (const char* field : kRowFields) sum += ParseNumber(field);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(std::size(kRowFields)));
}
BENCHMARK(BM_ParseNumberRowFields);

// The same fields as they stand in a line: bounded by `end`, followed by a
// comma rather than a NUL.
void BM_ParseNumberBoundedInLine(benchmark::State& state) {
    const char* line = "921.02390,1798.7771,-1456.4390,176.6658,+14.934335,-13.598183,+12.022732,+9.276545,-23.076287,-100.677850\r\n";
    std::vector<std::pair<const char*, const char*>> fields;
    const char* start = line;
    for (const char* p = line; *p != '\0'; ++p) {
        if (*p == ',' || *p == '\r') {
            fields.emplace_back(start, p);
            start = p + 1;
        }
    }
    for (auto _ : state) {
        double sum = 0.0;
        for (const auto& [begin, end] : fields) sum += ParseNumber(begin, end);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(fields.size()));
}
BENCHMARK(BM_ParseNumberBoundedInLine);

void BM_ParseNumberShapes(benchmark::State& state) {
    static const char* const kShapes[] = {"0.0001", "12", "-3e2", "1.5E-3", "  12.5", "7 volts", "", "abc"};
    const char* field = kShapes[state.range(0)];
    for (auto _ : state) benchmark::DoNotOptimize(ParseNumber(field));
    state.SetLabel(std::string("\"") + field + "\"");
}
BENCHMARK(BM_ParseNumberShapes)->DenseRange(0, 7);

}  // namespace
