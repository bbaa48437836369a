#pragma once
// How a run stops early. Library code never prints and never calls exit():
// it throws an Error that holds the facts, and the run sequence words the
// message (run/console.h) and exits with `status`.

#include <cstdint>
#include <string>

namespace vux {
// Every way a run can stop. The comment says which fields a kind fills.
enum class ErrorKind {
    Usage,                   // a help word or an argument count the tool does not take
    ArgumentLineBreak,       // a command-line value holds a line break
    ArgumentRefused,         // name: the key; other: the value; number: its ArgumentFault (run/command_line.h)
    InvalidInputName,        // DATA_FILE has no file-name part
    InvalidOutputName,       // OUTPUT_FILE has no file-name part
    OutputIsPlotScript,      // path: the output file the plot script would replace
    TargetIsDataFile,        // path: the output target; other: the data file; number 1 = plot script, 2 = run record, 3 = time history, 4 = its script
    TargetIsConfig,          // path: the output target; number 1 = plot script, 2 = run record, 3 = time history, 4 = its script
    TargetIsScratchConfig,   // path: the output target; number 1 = plot script, 2 = run record, 3 = time history, 4 = its script
    TargetIsSpecial,         // path: the output target; reason: "a FIFO"...; number 1 = plot script, 2 = run record, 3 = time history, 4 = its script
    TargetIsDirectory,       // path: the output target; number 1 = plot script, 2 = run record, 3 = time history, 4 = its script
    TargetIsOtherOutput,     // path: the output target; other: the output it would replace; number as above
    OutputDirectoryMissing,  // path: the directory; other: the output target; reason
    OutputDirectoryNotADirectory,  // path: the directory; other: the output target
    UnbalancedParentheses,   // a ")" without its "("
    MissingOperand,          // name: the equation; other: the operator
    WindowSizeTooSmall,      // number: WINDOW_SIZE
    WindowSizeTooLarge,      // number: WINDOW_SIZE; needed, available: bytes
    SampleFreqTooSmall,      // number: SAMPLE_FREQ
    NoWindowFunction,        // name: the FFT-type column
    FftOncePerWindow,        // name: the column
    InputMissing,            // path (status 0)
    DataUnreadable,          // path, reason
    DataReadFailed,          // path, reason
    DataNoMarker,            // path
    DataCrLineEnds,          // path: a file without LF but with CRs
    DataHeadingsIncomplete,  // path
    DataHeadingsTooLong,     // path; number: the limit in MiB
    DataChanged,             // path
    ConfigNotRegular,        // path
    ConfigCannotOpen,        // path, reason
    ConfigCannotRead,        // path, reason (while it is settled)
    ConfigReadFailed,        // path, reason (while it is evaluated or rewritten)
    LockDirectoryOpen,       // reason
    LockDirectory,           // reason
    ScratchConfigRemove,     // path: the scratch file's target; reason
    ScratchConfigCreate,     // path: the target; reason
    ScratchConfigWrite,      // path: the target; reason
    ScratchConfigReplace,    // path: the target; reason
    ArgumentKeyMissing,      // name: the key; other: its section marker
    ArgumentValueBlanks,     // name: the key; number: the line
    MatCreate,               // path, reason
    MatDirectory,            // path, reason; other: its directory, refusing the new file ("" = working directory)
    MatWrite,                // path, reason
    PlotScriptCreate,        // path, reason
    PlotScriptDirectory,     // path, reason; other: its directory, refusing the new file ("" = working directory)
    PlotScriptWrite,         // path, reason
    RecordCreate,            // path, reason
    RecordDirectory,         // path, reason; other: its directory, refusing the new file ("" = working directory)
    RecordWrite,             // path, reason
    HistoryTooLarge,         // path: the time history; name: its matrix; needed: its bytes; number: a WINDOW_SIZE that fits, 0 = none
    OutOfMemory,
};

struct Error {
    ErrorKind kind = ErrorKind::Usage;
    int status = -1;     // exit status: 0 for a missing input file, else -1 (255)
    std::string path;    // the file concerned
    std::string reason;  // the system's reason, or what is wrong with the file
    std::string name;    // a key, a column or an equation
    std::string other;   // a second file or an operator
    int64_t number = 0;
    double needed = 0.0;     // bytes
    double available = 0.0;  // bytes
};

// Throws `error` with its status set from its kind.
[[noreturn]] void Fail(Error error);

// Throws an error of `kind` naming `path` and `reason`.
[[noreturn]] void Fail(ErrorKind kind, std::string path = {}, std::string reason = {});

// The system's wording for an errno value ("No such file or directory").
std::string SystemReason(int err);

// As SystemReason, but "write failed" for 0: a call that failed without
// naming a reason still failed.
std::string FailureReason(int err);
}  // namespace vux
