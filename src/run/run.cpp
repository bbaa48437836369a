#include "run/run.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "config/config_file.h"
#include "config/config_lock.h"
#include "config/evaluate.h"
#include "config/rewrite.h"
#include "config/run_state.h"
#include "output/export.h"
#include "output/plot_script.h"
#include "output/summary.h"
#include "reduce/reduce_data.h"
#include "run/command_line.h"
#include "run/interrupt.h"
#include "run/run_stop.h"

namespace {

constexpr int kStatusComplete = 10;

// Settles and evaluates the configuration, with the command-line values
// written into it first when there are any. Runs started together in one
// directory take turns from settling to the end of the reading, so each reads
// the file it wrote and the last rename leaves one run's whole result.
void LoadConfiguration(const std::vector<std::string>& args, RunState& state) {
    ConfigLock lock;
    std::FILE* cfg = OpenConfig();
    if (!args.empty()) cfg = RewriteConfig(cfg, args);
    EvaluateConfig(cfg, state);
    lock.Release();
    ValidateRunSettings(state);
}

void CheckFileNames(const RunSettings& settings) {
    if (FileNamePart(settings.inputPath.value_or("")).empty()) {
        StopRun(-1, "\nInvalid input file name\n");
    }
    if (FileNamePart(settings.outputPath.value_or("")).empty()) {
        StopRun(-1, "\nInvalid output file name\n");
    }
}

int Run(const std::vector<std::string>& args) {
    // Only the first argument is tested for a help word, before the count.
    if (!args.empty() && IsHelpWord(args[0])) StopRun(-1, kUsageText);
    if (!IsAcceptedArgumentCount(args.size())) StopRun(-1, kUsageText);

    RunState state;
    LoadConfiguration(args, state);
    CheckFileNames(state.settings);

    const ReduceOutcome outcome = ReduceDataFile(state);
    ExportResults(state, outcome.processedWindows);
    WritePlotScript(state);
    PrintSummary(state, outcome.readStart);
    return kStatusComplete;
}

}  // namespace

int RunVuxReader(int argc, char** argv) {
    InstallInterruptHandlers();
    std::fputs(kBanner, stdout);
    int status;
    try {
        status = Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const RunStop& stop) {
        std::fputs(stop.message.c_str(), stdout);
        status = stop.status;
    } catch (const std::bad_alloc&) {
        // A run never ends in an abort: memory that cannot be had is reported.
        std::fputs("\nOut of memory: the run needs more memory than this machine can give\n", stdout);
        status = -1;
    }
    std::fflush(stdout);
    return status;
}
