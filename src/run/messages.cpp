#include "run/messages.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include "config/config_file.h"
#include "config/scratch_config.h"
#include "reduce/data_reader.h"
#include "run/command_line.h"
#include "run/text.h"

namespace vux {
namespace {

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

// "a FIFO", "a socket" or "a device".
const char* SpecialKind(FileFault fault) {
    return fault == FileFault::Fifo ? "a FIFO" : fault == FileFault::Socket ? "a socket" : "a device";
}

// What failed, in words: the file's fault, or the system's reason for the
// errno ("write failed" when the call named none).
std::string Why(const Error& e) {
    const bool dataFile = e.kind == ErrorKind::DataUnreadable;
    switch (e.cause.fault) {
        case FileFault::None: return e.cause.err != 0 ? std::strerror(e.cause.err) : "write failed";
        case FileFault::Directory: return "it is a directory";
        case FileFault::Fifo: return dataFile ? "it is a pipe, not a regular file" : "it is a FIFO, not a regular file";
        case FileFault::Socket: return dataFile ? "it is not a regular file" : "it is a socket, not a regular file";
        case FileFault::Device: return "it is a device, not a regular file";
        case FileFault::NotRegular: return "it is not a regular file";
        case FileFault::NotOpen: return "the file is not open";
        case FileFault::NotComplete: return "the file is not complete";
        case FileFault::ScratchShort: return "its scratch data ended early";
    }
    return {};
}

// Why a command-line value cannot be set (ArgumentRefused).
std::string ArgumentRefusedMessage(const Error& e) {
    const std::string value = Join({"\"", e.other, "\""});
    std::string why;
    switch (static_cast<ArgumentFault>(e.number)) {
        case ArgumentFault::LineBreak: why = "it holds a line break"; break;
        case ArgumentFault::Blank:
            why = Join({value, " holds a blank, which ", kConfigFileName, " cannot keep in a value"});
            break;
        case ArgumentFault::Percent: why = Join({value, " holds a %, which starts a comment in ", kConfigFileName}); break;
        case ArgumentFault::Empty: why = "the path is empty"; break;
        case ArgumentFault::NoFileName: why = Join({value, " ends in a directory separator and names no file"}); break;
        case ArgumentFault::LeadingDash:
            why = Join({value, " begins with '-' like an option; write ./", e.other, " to name such a file"});
            break;
        case ArgumentFault::NotANumber:
            why = Join({value, " is not a number of degrees (write it like -90, 12.5 or 1e2)"});
            break;
        case ArgumentFault::NotFinite: why = Join({value, " is too large: an angle must be a finite number"}); break;
    }
    return Join({"\nCannot set ", e.name, " from the command line: ", why, "\n"});
}

// "directory <path>", or "the working directory" for an empty path.
std::string Directory(const std::string& path) {
    return path.empty() ? std::string("the working directory") : Join({"directory ", path});
}

// "Output file <path>", "Plot script <path>", "Run record <path>", "Time
// history <path>" or "History script <path>".
std::string Target(const Error& e) {
    static constexpr const char* kTargets[] = {"Output file ", "Plot script ", "Run record ", "Time history ",
                                               "History script "};
    return Join({kTargets[e.number >= 0 && e.number <= 4 ? e.number : 0], e.path});
}

}  // namespace

// VUX_VERSION comes from the build (the CMake project version).
const char* VersionLine() { return "vux_reader " VUX_VERSION "\n"; }

std::string Message(const Error& e) {
    const std::string n = std::to_string(e.number);
    switch (e.kind) {
        case ErrorKind::Usage: return kUsageText;
        case ErrorKind::ArgumentLineBreak:
            return Join({std::string_view("\nInvalid argument: a line break cannot be written into "), kConfigFileName, "\n"});
        case ErrorKind::ArgumentRefused: return ArgumentRefusedMessage(e);
        case ErrorKind::InvalidInputName: return "\nInvalid input file name\n";
        case ErrorKind::InvalidOutputName: return "\nInvalid output file name\n";
        case ErrorKind::OutputIsPlotScript:
            return Join({"\nOutput file ", e.path, " would be replaced by the plot script vuxplots.m\n"});
        case ErrorKind::TargetIsDataFile: return Join({"\n", Target(e), " would overwrite the data file ", e.other, "\n"});
        case ErrorKind::TargetIsConfig:
            return Join({"\n", Target(e), " would overwrite the configuration file ", kConfigFileName, "\n"});
        case ErrorKind::TargetIsScratchConfig:
            return Join({"\n", Target(e), " would overwrite the configuration's scratch file ", kScratchConfigName, "\n"});
        case ErrorKind::TargetIsSpecial: return Join({"\n", Target(e), " is ", SpecialKind(e.cause.fault), ", not a regular file\n"});
        case ErrorKind::TargetIsDirectory: return Join({"\n", Target(e), " is a directory, not a file\n"});
        case ErrorKind::TargetIsOtherOutput: return Join({"\n", Target(e), " would overwrite the output ", e.other, "\n"});
        case ErrorKind::OutputDirectoryMissing:
            if (e.cause.err == ENOENT) return Join({"\nCannot write ", e.other, ": its directory ", e.path, " does not exist\n"});
            return Join({"\nCannot write ", e.other, ": its directory ", e.path, " cannot be reached: ", Why(e), "\n"});
        case ErrorKind::OutputDirectoryNotADirectory:
            return Join({"\nCannot write ", e.other, ": ", e.path, " is not a directory\n"});
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
        case ErrorKind::DataUnreadable: return Join({"Data file ", e.path, " cannot be read: ", Why(e), "\n"});
        case ErrorKind::DataReadFailed: return Join({"\nError reading data file ", e.path, ": ", Why(e), "\n"});
        case ErrorKind::DataNoMarker:
            return Join({"Data file ", e.path, " ends before its marker line \"", kDataMarker, "\"\n"});
        case ErrorKind::DataCrLineEnds:
            return Join({"Data file ", e.path, " uses CR line ends only; its lines must end in LF or CR LF\n"});
        case ErrorKind::DataHeadingsIncomplete:
            return Join({"Data file ", e.path, " ends before its data headings line is complete\n"});
        case ErrorKind::DataHeadingsTooLong:
            return Join({"Data file ", e.path, " has a data headings line longer than ", n, " MiB\n"});
        case ErrorKind::DataChanged:
            return Join({"\nData file ", e.path, " changed while it was read: its size or modification time differs from when it was opened\n"});
        case ErrorKind::ConfigNotRegular: return Join({"\nCannot use configuration file ", e.path, ": not a regular file\n"});
        case ErrorKind::ConfigCannotOpen:
            return Join({"\nCannot open configuration file ", e.path, " for reading: ", Why(e), "\n"});
        case ErrorKind::ConfigCannotRead: return Join({"\nCannot read configuration file ", e.path, ": ", Why(e), "\n"});
        case ErrorKind::ConfigReadFailed: return Join({"\nCannot read ", e.path, ": ", Why(e), "\n"});
        case ErrorKind::LockDirectoryOpen:
            return Join({std::string_view("\nCannot open the working directory to lock "), kConfigFileName, ": ", Why(e), "\n"});
        case ErrorKind::LockDirectory:
            return Join({std::string_view("\nCannot lock the working directory for "), kConfigFileName, ": ", Why(e), "\n"});
        case ErrorKind::ScratchConfigRemove:
            return Join({"\nCannot remove the old ", ScratchLabel(e.path), ": ", Why(e), "\n"});
        case ErrorKind::ScratchConfigCreate: return Join({"\nCannot create ", ScratchLabel(e.path), ": ", Why(e), "\n"});
        case ErrorKind::ScratchConfigWrite: return Join({"\nCannot write ", ScratchLabel(e.path), ": ", Why(e), "\n"});
        case ErrorKind::ScratchConfigReplace:
            return Join({"\nCannot replace ", e.path, " with ", kScratchConfigName, ": ", Why(e), "\n"});
        case ErrorKind::ArgumentKeyMissing:
            return Join({"\nCannot set ", e.name, " from the command line: ", e.path, " has no ", e.name, " line in ", e.other, "\n"});
        case ErrorKind::ArgumentValueBlanks:
            return Join({"\nCannot set ", e.name, " from the command line: its old value on line ", n, " of ", e.path, " is written with blanks, so the command-line value cannot replace it\n"});
        case ErrorKind::MatCreate: return Join({"\nCannot create MAT-file ", e.path, ": ", Why(e), "\n"});
        case ErrorKind::MatDirectory:
            return Join({"\nCannot create MAT-file ", e.path, ": ", Directory(e.other), " cannot be written: ", Why(e), "\n"});
        case ErrorKind::MatWrite: return Join({"\nCannot write MAT-file ", e.path, ": ", Why(e), "\n"});
        case ErrorKind::MatVectorSize:
            if (e.number < 0) return Join({"\nCannot write MAT-file ", e.path, ": vector ", e.name, " has a negative length\n"});
            return Join({"\nCannot write MAT-file ", e.path, ": vector ", e.name, " of ", n, " values is too large for a MAT-file element\n"});
        case ErrorKind::MatMatrixSize:
            if (e.number < 0 || e.needed < 0) return Join({"\nCannot write MAT-file ", e.path, ": matrix ", e.name, " has a negative size\n"});
            return Join({"\nCannot write MAT-file ", e.path, ": matrix ", e.name, " of ", n, " x ", std::to_string(static_cast<int64_t>(e.needed)), " values is too large for a MAT-file element\n"});
        case ErrorKind::PlotScriptCreate: return Join({"\nCannot create plot script ", e.path, ": ", Why(e), "\n"});
        case ErrorKind::PlotScriptDirectory:
            return Join({"\nCannot create plot script ", e.path, ": ", Directory(e.other), " cannot be written: ", Why(e), "\n"});
        case ErrorKind::PlotScriptWrite: return Join({"\nCannot write plot script ", e.path, ": ", Why(e), "\n"});
        case ErrorKind::RecordCreate: return Join({"\nCannot create run record ", e.path, ": ", Why(e), "\n"});
        case ErrorKind::RecordDirectory:
            return Join({"\nCannot create run record ", e.path, ": ", Directory(e.other), " cannot be written: ", Why(e), "\n"});
        case ErrorKind::RecordWrite: return Join({"\nCannot write run record ", e.path, ": ", Why(e), "\n"});
        case ErrorKind::HistoryTooLarge:
            return Join({"\nTime history ", e.path, ": its matrix ", e.name, " would take about ", GibiBytes(e.needed),
                         ", more than the 2 GiB (2^31 - 1 bytes) a MAT-file element can hold; ",
                         e.number > 0 ? Join({"WINDOW_SIZE ", n, " or more would fit\n"})
                                      : std::string("no WINDOW_SIZE makes it fit: the data file is too long for a time history\n")});
        case ErrorKind::OutOfMemory:
            return "\nOut of memory: the run needs more memory than this machine can give\n";
    }
    return "\n";
}

std::string SystemReason(int err) { return std::strerror(err); }

}  // namespace vux
