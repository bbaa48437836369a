#include "run/console.h"

#include <cstdio>
#include <initializer_list>
#include <string_view>

#include "config/config_file.h"
#include "config/scratch_config.h"
#include "reduce/data_reader.h"

namespace vux {

namespace {

// The pieces one after the other (std::string's + draws false -Wrestrict
// warnings from GCC 12).
std::string Join(std::initializer_list<std::string_view> pieces) {
    std::string text;
    size_t size = 0;
    for (std::string_view piece : pieces) size += piece.size();
    text.reserve(size);
    for (std::string_view piece : pieces) text += piece;
    return text;
}

std::string GibiBytes(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GiB", bytes / 1073741824.0);
    return text;
}

// How a message names "recfg": with its target when that is not vux_reader.cfg.
std::string ScratchLabel(const std::string& target) {
    if (target == kConfigFileName) return kScratchConfigName;
    return Join({kScratchConfigName, " (for ", target, ")"});
}

// "Output file <path>" or "Plot script <path>".
std::string Target(const Error& e) { return Join({e.number == 1 ? "Plot script " : "Output file ", e.path}); }

}  // namespace

// VUX_VERSION comes from the build (the CMake project version).
const char* VersionLine() { return "vux_reader " VUX_VERSION "\n"; }

std::string Message(const Error& e) {
    const std::string n = std::to_string(e.number);
    switch (e.kind) {
        case ErrorKind::Usage: return kUsageText;
        case ErrorKind::ArgumentLineBreak:
            return Join({std::string_view("\nInvalid argument: a line break cannot be written into "), kConfigFileName, "\n"});
        case ErrorKind::InvalidInputName: return "\nInvalid input file name\n";
        case ErrorKind::InvalidOutputName: return "\nInvalid output file name\n";
        case ErrorKind::OutputIsPlotScript:
            return Join({"\nOutput file ", e.path, " would be replaced by the plot script vuxplots.m\n"});
        case ErrorKind::TargetIsDataFile: return Join({"\n", Target(e), " would overwrite the data file ", e.other, "\n"});
        case ErrorKind::TargetIsConfig:
            return Join({"\n", Target(e), " would overwrite the configuration file ", kConfigFileName, "\n"});
        case ErrorKind::TargetIsScratchConfig:
            return Join({"\n", Target(e), " would overwrite the configuration's scratch file ", kScratchConfigName, "\n"});
        case ErrorKind::TargetIsSpecial: return Join({"\n", Target(e), " is ", e.reason, ", not a regular file\n"});
        case ErrorKind::UnbalancedParentheses: return "\n\nUnbalanced parentheses in equation";
        case ErrorKind::MissingOperand: return Join({"\n\nMissing value for '", e.other, "' in equation ", e.name, "\n"});
        case ErrorKind::WindowSizeTooSmall: return Join({"\nInvalid WINDOW_SIZE ", n, ": a window needs at least 2 samples\n"});
        case ErrorKind::WindowSizeTooLarge:
            return Join({"\nInvalid WINDOW_SIZE ", n, ": a window needs about ", GibiBytes(e.needed), " of memory, more than the ", GibiBytes(e.available), " of this machine\n"});
        case ErrorKind::SampleFreqTooSmall:
            return Join({"\nInvalid SAMPLE_FREQ ", n, ": the sample frequency must be at least 1 Hz\n"});
        case ErrorKind::NoWindowFunction:
            return Join({"\nNo window function: FFT-type column ", e.name, " needs a key line in #WINDOW_FUNCTION\n"});
        case ErrorKind::FftOncePerWindow:
            return Join({"\nFFT operation requested on column ", e.name, "...but only reading one data point per window\n"});
        case ErrorKind::InputMissing: return Join({"File ", e.path, " does not exist\n"});
        case ErrorKind::DataUnreadable: return Join({"Data file ", e.path, " cannot be read: ", e.reason, "\n"});
        case ErrorKind::DataReadFailed: return Join({"\nError reading data file ", e.path, ": ", e.reason, "\n"});
        case ErrorKind::DataNoMarker:
            return Join({"Data file ", e.path, " ends before its marker line \"", kDataMarker, "\"\n"});
        case ErrorKind::DataHeadingsIncomplete:
            return Join({"Data file ", e.path, " ends before its data headings line is complete\n"});
        case ErrorKind::DataHeadingsTooLong:
            return Join({"Data file ", e.path, " has a data headings line longer than ", n, " MiB\n"});
        case ErrorKind::DataChanged:
            return Join({"\nData file ", e.path, " changed while it was read: its size or modification time differs from when it was opened\n"});
        case ErrorKind::ConfigNotRegular: return Join({"\nCannot use configuration file ", e.path, ": not a regular file\n"});
        case ErrorKind::ConfigCannotOpen:
            return Join({"\nCannot open configuration file ", e.path, " for reading: ", e.reason, "\n"});
        case ErrorKind::ConfigCannotRead: return Join({"\nCannot read configuration file ", e.path, ": ", e.reason, "\n"});
        case ErrorKind::ConfigReadFailed: return Join({"\nCannot read ", e.path, ": ", e.reason, "\n"});
        case ErrorKind::LockDirectoryOpen:
            return Join({std::string_view("\nCannot open the working directory to lock "), kConfigFileName, ": ", e.reason, "\n"});
        case ErrorKind::LockDirectory:
            return Join({std::string_view("\nCannot lock the working directory for "), kConfigFileName, ": ", e.reason, "\n"});
        case ErrorKind::ScratchConfigRemove:
            return Join({"\nCannot remove the old ", ScratchLabel(e.path), ": ", e.reason, "\n"});
        case ErrorKind::ScratchConfigCreate: return Join({"\nCannot create ", ScratchLabel(e.path), ": ", e.reason, "\n"});
        case ErrorKind::ScratchConfigWrite: return Join({"\nCannot write ", ScratchLabel(e.path), ": ", e.reason, "\n"});
        case ErrorKind::ScratchConfigReplace:
            return Join({"\nCannot replace ", e.path, " with ", kScratchConfigName, ": ", e.reason, "\n"});
        case ErrorKind::ArgumentKeyMissing:
            return Join({"\nCannot set ", e.name, " from the command line: ", e.path, " has no ", e.name, " line in ", e.other, "\n"});
        case ErrorKind::ArgumentValueBlanks:
            return Join({"\nCannot set ", e.name, " from the command line: its old value on line ", n, " of ", e.path, " is written with blanks, so the command-line value cannot replace it\n"});
        case ErrorKind::MatCreate: return Join({"\nCannot create MAT-file ", e.path, ": ", e.reason, "\n"});
        case ErrorKind::MatWrite: return Join({"\nCannot write MAT-file ", e.path, ": ", e.reason, "\n"});
        case ErrorKind::PlotScriptCreate: return Join({"\nCannot create plot script ", e.path, ": ", e.reason, "\n"});
        case ErrorKind::PlotScriptWrite: return Join({"\nCannot write plot script ", e.path, ": ", e.reason, "\n"});
        case ErrorKind::OutOfMemory:
            return "\nOut of memory: the run needs more memory than this machine can give\n";
    }
    return Join({"\n", e.reason, "\n"});
}

}  // namespace vux
