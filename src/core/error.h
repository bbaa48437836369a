#pragma once
// How a run stops early. Library code never prints and never calls exit():
// it throws an Error that holds the facts (kinds, paths, errno, never words),
// and the run sequence words the message (run/messages.h) and exits with
// `status`.

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
    TargetIsConfig,          // path: the output target; number as above
    TargetIsScratchConfig,   // path: the output target; number as above
    TargetIsSpecial,         // path: the output target; cause: its FileFault; number as above
    TargetIsDirectory,       // path: the output target; number as above
    TargetIsOtherOutput,     // path: the output target; other: the output it would replace; number as above
    OutputDirectoryMissing,  // path: the directory; other: the output target; cause
    OutputDirectoryNotADirectory,  // path: the directory; other: the output target
    UnbalancedParentheses,   // a ")" without its "("
    MissingOperand,          // name: the equation; other: the operator
    WindowSizeTooSmall,      // number: WINDOW_SIZE
    WindowSizeTooLarge,      // number: WINDOW_SIZE; needed, available: bytes
    SampleFreqTooSmall,      // number: SAMPLE_FREQ
    NoWindowFunction,        // name: the FFT-type column
    FftOncePerWindow,        // name: the column
    InputMissing,            // path (status 0)
    DataUnreadable,          // path, cause
    DataReadFailed,          // path, cause
    DataNoMarker,            // path
    DataCrLineEnds,          // path: a file without LF but with CRs
    DataHeadingsIncomplete,  // path
    DataHeadingsTooLong,     // path; number: the limit in MiB
    DataChanged,             // path
    ConfigNotRegular,        // path
    ConfigCannotOpen,        // path, cause
    ConfigCannotRead,        // path, cause (while it is settled)
    ConfigReadFailed,        // path, cause (while it is evaluated or rewritten)
    LockDirectoryOpen,       // cause
    LockDirectory,           // cause
    ScratchConfigRemove,     // path: the scratch file's target; cause
    ScratchConfigCreate,     // path: the target; cause
    ScratchConfigWrite,      // path: the target; cause
    ScratchConfigReplace,    // path: the target; cause
    ArgumentKeyMissing,      // name: the key; other: its section marker
    ArgumentValueBlanks,     // name: the key; number: the line
    MatCreate,               // path, cause
    MatDirectory,            // path, cause; other: its directory, refusing the new file ("" = working directory)
    MatWrite,                // path, cause
    MatVectorSize,           // path; name: the vector; number: its length, negative or too large for an element
    MatMatrixSize,           // path; name: the matrix; number: rows; needed: columns (a size negative or too large)
    PlotScriptCreate,        // path, cause
    PlotScriptDirectory,     // path, cause; other: its directory, refusing the new file ("" = working directory)
    PlotScriptWrite,         // path, cause
    RecordCreate,            // path, cause
    RecordDirectory,         // path, cause; other: its directory, refusing the new file ("" = working directory)
    RecordWrite,             // path, cause
    HistoryTooLarge,         // path: the time history; name: its matrix; needed: its bytes; number: a WINDOW_SIZE that fits, 0 = none
    OutOfMemory,
};

// What is wrong with a file when no errno says it.
enum class FileFault {
    None,         // the errno says it
    Directory,    // it is a directory
    Fifo,         // it is a FIFO (a pipe)
    Socket,       // it is a socket
    Device,       // it is a character or block device
    NotRegular,   // it is of another kind that is no regular file
    NotOpen,      // the output file is not open (an earlier step failed)
    NotComplete,  // the output file was renamed before it was complete
    ScratchShort, // a scratch file of data to copy ended before its data did
};

// Why a step on a file failed.
struct Cause {
    int err = 0;                        // the system's errno; 0 when the call named none
    FileFault fault = FileFault::None;  // a fault of the file itself, in place of `err`
};

// Fifo, Socket or Device for a file of that type (`mode` as stat gives it);
// None for any other.
FileFault SpecialFileFault(unsigned mode);

struct Error {
    ErrorKind kind = ErrorKind::Usage;
    int status = -1;     // exit status: 0 for a missing input file, else -1 (255)
    std::string path;    // the file concerned
    Cause cause;         // why a step on the file failed
    std::string name;    // a key, a column or an equation
    std::string other;   // a second file or an operator
    int64_t number = 0;
    double needed = 0.0;     // bytes
    double available = 0.0;  // bytes
};

// Throws `error` with its status set from its kind.
[[noreturn]] void Fail(Error error);

// Throws an error of `kind` naming `path` and `cause`.
[[noreturn]] void Fail(ErrorKind kind, std::string path = {}, Cause cause = {});
}  // namespace vux
