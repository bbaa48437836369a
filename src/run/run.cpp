#include "run/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "config/config_file.h"
#include "config/config_lock.h"
#include "config/evaluate.h"
#include "config/rewrite.h"
#include "config/scratch_config.h"
#include "core/clock.h"
#include "core/model.h"
#include "core/paths.h"
#include "output/export.h"
#include "output/history_file.h"
#include "output/history_script.h"
#include "output/output_set.h"
#include "output/plot_script.h"
#include "output/scratch_file.h"
#include "reduce/data_reader.h"
#include "reduce/reduce_data.h"
#include "reduce/time_history.h"
#include "run/command_line.h"
#include "run/history_size.h"
#include "run/interrupt.h"
#include "run/messages.h"
#include "run/run_record.h"
#include "run/transcript.h"
#include "run/warnings.h"

namespace vux {
namespace {

constexpr int kStatusComplete = 10;

// Settles and evaluates the configuration, with the command-line values
// written into it first when there are any. Runs started together in one
// directory take turns from settling to the end of the reading, so each reads
// the file it wrote and the last rename leaves one run's whole result.
RunConfig LoadConfiguration(const std::vector<std::string>& args) {
    const ConfigObserver print = PrintConfigNote;
    ConfigLock lock;
    UniqueFile cfg = OpenConfig(print);
    if (!args.empty()) cfg = RewriteConfig(std::move(cfg), args, print);
    RunConfig config = EvaluateConfig(std::move(cfg), print);
    lock.Release();
    ValidateRunSettings(config);
    return config;
}

void CheckFileNames(const RunSettings& settings) {
    if (FileNamePart(settings.inputPath.value_or("")).empty()) {
        Fail(ErrorKind::InvalidInputName);
    }
    if (FileNamePart(settings.outputPath.value_or("")).empty()) {
        Fail(ErrorKind::InvalidOutputName);
    }
}

// True when both paths name one existing file (also through links).
bool SameFile(const std::string& a, const std::string& b) {
    struct stat first {}, second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// True when `path` names the configuration's scratch file in the working
// directory (recfg, ./recfg, or any other way there): an output written there
// would be taken into the configuration by the next run with arguments.
bool IsScratchConfig(const std::string& path) {
    const size_t nameStart = path.rfind('/') + 1;  // 0 without a directory part
    if (path.compare(nameStart, std::string::npos, kScratchConfigName) != 0) return false;
    return nameStart == 0 || SameFile(path.substr(0, nameStart), ".");
}

// An output is written through a scratch file in its directory (the text
// before its last '/'), which must exist and be a directory: found out here
// rather than after the whole data file is reduced.
void CheckDirectoryOf(const std::string& target) {
    const size_t slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    struct stat info {};
    Error refusal;
    refusal.path = directory;
    refusal.other = target;
    if (::stat(directory.c_str(), &info) != 0) {
        refusal.kind = ErrorKind::OutputDirectoryMissing;
        refusal.cause.err = errno;
    } else if (!S_ISDIR(info.st_mode)) {
        refusal.kind = ErrorKind::OutputDirectoryNotADirectory;
    } else {
        return;
    }
    Fail(std::move(refusal));
}

// The MAT-file and the plot script are created over whatever their paths
// name: neither may replace the data file, the configuration, its scratch
// file or the other, and neither may be a FIFO, a socket or a device (writing
// to one could hang the run or act on a device).
void CheckOutputTargets(const RunSettings& settings) {
    const std::string input = settings.inputPath.value_or("");
    const std::string output = settings.outputPath.value_or("");
    const std::string script = PlotScriptPath(output);
    if (script == output || SameFile(script, output)) {
        Fail(ErrorKind::OutputIsPlotScript, output);
    }
    // Numbered as messages name them: the MAT-file, the plot script, the
    // record, the time history and its script.
    std::vector<std::string> targets = {output, script};
    std::vector<int64_t> numbers = {0, 1};
    if (settings.runRecord) targets.push_back(RunRecordPath(output)), numbers.push_back(2);
    if (settings.timeHistory) {
        targets.push_back(HistoryPath(output)), numbers.push_back(3);
        targets.push_back(HistoryScriptPath(output)), numbers.push_back(4);
    }
    for (const std::string& target : targets) CheckDirectoryOf(target);
    for (size_t t = 0; t < targets.size(); ++t) {
        const std::string& target = targets[t];
        Error refusal;
        refusal.path = target;
        refusal.number = numbers[t];
        struct stat info {};
        const FileFault special = ::stat(target.c_str(), &info) == 0 ? SpecialFileFault(info.st_mode) : FileFault::None;
        const auto earlier = std::find_if(targets.begin(), targets.begin() + static_cast<std::ptrdiff_t>(t),
                                          [&target](const std::string& other) {
                                              return other == target || SameFile(other, target);
                                          });
        if (SameFile(target, input)) {
            refusal.kind = ErrorKind::TargetIsDataFile;
            refusal.other = input;
        } else if (SameFile(target, kConfigFileName)) {
            refusal.kind = ErrorKind::TargetIsConfig;
        } else if (IsScratchConfig(target)) {
            refusal.kind = ErrorKind::TargetIsScratchConfig;
        } else if (special != FileFault::None) {
            refusal.kind = ErrorKind::TargetIsSpecial;
            refusal.cause.fault = special;
        } else if (S_ISDIR(info.st_mode)) {
            refusal.kind = ErrorKind::TargetIsDirectory;
        } else if (earlier != targets.begin() + static_cast<std::ptrdiff_t>(t)) {
            refusal.kind = ErrorKind::TargetIsOtherOutput;
            refusal.other = *earlier;
        } else {
            continue;
        }
        Fail(std::move(refusal));
    }
}

// Command-line values are written into vux_reader.cfg and read back from it:
// one that would not come back as given (or would become the configured data
// file by a typo) stops the run before the configuration is touched.
void CheckArgumentsCanBeCarried(const std::vector<std::string>& args) {
    const std::optional<ArgumentRefusal> refusal = FindRefusedArgument(args);
    if (!refusal) return;
    if (refusal->fault == ArgumentFault::LineBreak) Fail(ErrorKind::ArgumentLineBreak);
    Error error;
    error.kind = ErrorKind::ArgumentRefused;
    error.name = refusal->key;
    error.other = args[refusal->index];
    error.number = static_cast<int64_t>(refusal->fault);
    Fail(std::move(error));
}

// The record's hex digest, as xxh128sum prints it.
std::string HexDigest(const std::array<uint8_t, 16>& digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const uint8_t byte : digest) {
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
    }
    return text;
}

// The path made absolute against the working directory (links are not
// followed); the path as given when that cannot be done.
std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

int Run(const std::vector<std::string>& args) {
    RunFacts facts;
    ::clock_gettime(CLOCK_REALTIME, &facts.started);
    const RunClock::time_point runStart = RunClock::now();
    // Warnings go to the error stream, so the console transcript, the files
    // and the status stay as they are; the record keeps them too.
    const auto warn = [&facts](const std::vector<std::string>& lines, bool consoleLineOpen) {
        PrintWarnings(lines, consoleLineOpen);
        facts.warnings.insert(facts.warnings.end(), lines.begin(), lines.end());
    };

    // Only the first argument is tested for a help word, before the count.
    if (!args.empty() && IsHelpWord(args[0])) Fail(ErrorKind::Usage);
    if (!IsAcceptedArgumentCount(args.size())) Fail(ErrorKind::Usage);
    CheckArgumentsCanBeCarried(args);

    const RunConfig config = LoadConfiguration(args);
    warn(ConfigurationWarnings(config), false);
    CheckFileNames(config.settings);
    CheckOutputTargets(config.settings);

    DataReader reader = OpenDataFile(config.settings.inputPath.value_or(""), config.settings.windowSize);
    PrintDataFileOpened(reader);
    facts.inputAbsolute = AbsolutePath(reader.path);
    facts.inputSize = reader.fileSize;
    facts.inputModified = reader.modified;
    if (config.settings.runRecord) reader.digest.Start();
    const char* threadsOverride = std::getenv("VUX_THREADS");
    const ThreadChoice threads = ChooseThreads(threadsOverride);
    facts.threads = threads.threads;
    warn(ThreadWarnings(threadsOverride, threads), false);
    // The time history's size is foreseen before the file is read; its
    // scratch files are open before the first window.
    const std::string output = config.settings.outputPath.value_or("");
    std::optional<TimeHistory> history;
    if (config.settings.timeHistory) {
        CheckHistorySize(config, ForeseeRows(reader), HistoryPath(output));
        history.emplace(config, HistoryPath(output));
    }
    ReduceConsole console;
    const ReduceResult result = ReduceWindows(reader, config, PrintingReduceObserver(config, console),
                                              threads.threads, history ? &*history : nullptr);
    // A file without a complete window still gives its (empty or zero)
    // vectors and NaN means; that, like every other data warning, goes to the
    // error stream before the files are written.
    warn(DataWarnings(config, result), true);

    // Every output is written whole before the first one replaces its
    // previous file: a run that fails on a later one keeps them all.
    OutputSet outputs;
    PrintExportStarting();
    RunClock::time_point start = RunClock::now();
    const std::array<uint8_t, 16> matDigest = ExportResults(config, result, outputs);
    PrintDone(start);

    PrintPlotScriptStarting();
    start = RunClock::now();
    WritePlotScript(config, outputs);
    PrintDone(start);

    std::optional<TimeHistoryData> historyData;
    if (history) {
        historyData = history->Finish(result);
        CheckHistorySize(config, result.quality.rows, HistoryPath(output));
        WriteHistoryFile(HistoryPath(output), *historyData, outputs);
        WriteHistoryScript(config, *historyData, outputs);
        facts.history = &*historyData;
    }

    facts.plotScriptPath = PlotScriptPath(output);
    facts.inputDigest = HexDigest(result.inputDigest);
    facts.matDigest = HexDigest(matDigest);
    facts.wallSeconds = SecondsSince(runStart);
    if (config.settings.runRecord) {
        AddWholeFile(outputs, RunRecordPath(output), RunRecordText(config, result, facts),
                     {ErrorKind::RecordCreate, ErrorKind::RecordDirectory, ErrorKind::RecordWrite});
    }
    outputs.Commit();

    // The caller flushes standard output, to learn whether the console took everything.
    std::fputs(SummaryText(config, result, SecondsSince(console.readStart)).c_str(), stdout);
    return kStatusComplete;
}

// Standard streams that are closed at the start are opened on /dev/null, so
// that no file the run opens takes their numbers (console output would then
// be written into it). `stdoutClosed` tells whether standard output was one
// of them. Returns false (errno set) when /dev/null cannot be opened.
bool OccupyClosedStandardStreams(bool& stdoutClosed) {
    stdoutClosed = false;
    int null = -1;
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        if (fd == STDOUT_FILENO) stdoutClosed = true;
        // The first one opened takes the lowest free number: this one.
        if (null < 0) null = ::open("/dev/null", O_RDWR);
        if (null < 0) return false;
        if (null != fd && ::dup2(null, fd) != fd) return false;
    }
    return true;
}

// Flushes the console and tells on the error stream (one line) when its
// output could not all be written. Returns false in that case.
bool ConsoleWasWritten(bool stdoutClosed) {
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int err = flushed ? 0 : errno;
    if (flushed && !stdoutClosed && !std::ferror(stdout)) return true;
    const std::string reason = stdoutClosed ? SystemReason(EBADF)
                               : err != 0   ? SystemReason(err)
                                            : std::string("an earlier write failed");
    std::fprintf(stderr, "vux_reader: error: standard output could not be written: %s\n", reason.c_str());
    return false;
}

}  // namespace

int RunVuxReader(int argc, char** argv) {
    bool stdoutClosed = false;
    if (!OccupyClosedStandardStreams(stdoutClosed)) {
        std::fprintf(stderr, "vux_reader: error: a closed standard stream cannot be opened on /dev/null: %s\n",
                     SystemReason(errno).c_str());
        return -1;
    }
    // "--version" or "-V" as the first argument: one line, no banner, no file touched.
    if (argc > 1 && IsVersionWord(argv[1])) {
        std::fputs(VersionLine(), stdout);
        return ConsoleWasWritten(stdoutClosed) ? 0 : -1;
    }
    InstallInterruptHandlers();
    std::fputs(kBanner, stdout);
    int status;
    try {
        status = Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const Error& error) {
        std::fputs(Message(error).c_str(), stdout);
        status = error.status;
    } catch (const std::bad_alloc&) {
        // A run never ends in an abort: memory that cannot be had is reported.
        Error error;
        error.kind = ErrorKind::OutOfMemory;
        std::fputs(Message(error).c_str(), stdout);
        status = -1;
    }
    // A console that could not be written lost what the run had to say.
    if (!ConsoleWasWritten(stdoutClosed)) status = -1;
    return status;
}
}  // namespace vux
