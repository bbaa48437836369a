#pragma once
// The run record: a JSON file beside the MAT-file, written when the
// configuration asks for it (RUN_RECORD = 1), that holds the run's facts
// as numbers and strings (what was read, with which settings, what came out,
// what was warned), for tools, scripts and databases that would otherwise
// scrape the console. Its schema is docs/run-record.schema.json.

#include <cstdint>
#include <string>
#include <vector>

#include <time.h>

#include "core/history.h"
#include "core/model.h"

namespace vux {
// The record's path: the MAT-file path with a final ".mat" replaced by
// ".json", or ".json" appended when it has none.
std::string RunRecordPath(const std::string& matPath);

// What the run knows besides the configuration and the reduction's result.
struct RunFacts {
    timespec started{};         // wall-clock time the run started
    double wallSeconds = 0.0;   // from the start to the record
    int32_t threads = 1;        // threads that read the data file
    std::string inputAbsolute;  // the data file's absolute path
    uint64_t inputSize = 0;
    timespec inputModified{};
    std::string inputDigest;             // XXH3-128 of the whole file, as xxh128sum prints it
    std::vector<std::string> warnings;   // as printed, without line ends
    std::string plotScriptPath;
    std::string matDigest;  // XXH3-128 of the MAT-file written, as xxh128sum prints it
    const TimeHistoryData* history = nullptr;  // the time history, when the run wrote one
};

// The transform length every full window is taken at: WINDOW_SIZE, or
// WINDOW_SIZE - 1 for an odd size (a window's even row count).
int32_t TransformLength(int32_t windowSize);

// The whole record (UTF-8 JSON, ending with a line end). Allocates; called
// once per run.
std::string RunRecordText(const RunConfig& config, const ReduceResult& result, const RunFacts& facts);
}  // namespace vux
