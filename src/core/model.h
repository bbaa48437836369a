#pragma once
// The run's data model: what configuration evaluation produces (RunConfig,
// read-only from then on) and what the data reduction computes
// (ReduceResult, each part filled by the stage that computes it).

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "core/expr_data.h"

namespace vux {
// How a column is read. The configuration may give any other code: such a
// column is never stored, has no samples array, no statistics and no mean,
// is not averaged, and exports WINDOW_SIZE zeros as "_out".
enum class Sampling : int32_t { OncePerWindow = 0, EverySample = 1 };

// What is done to a column. Any other code is done nothing to (like None),
// but is counted among the FFT figure's rows of the plot script.
enum class Operation : int32_t { None = 0, Normalise = 1, Fft = 2 };

inline bool IsOncePerWindow(Sampling s) { return s == Sampling::OncePerWindow; }
inline bool IsEverySample(Sampling s) { return s == Sampling::EverySample; }
// Read at all: once per window or every sample (no other code is).
inline bool IsRead(Sampling s) { return IsOncePerWindow(s) || IsEverySample(s); }

inline bool IsFftType(Operation op) { return op == Operation::Fft; }
inline bool IsNormalised(Operation op) { return op == Operation::Normalise; }
// Every column but an FFT-type one has an equation (its last field).
inline bool HasEquation(Operation op) { return !IsFftType(op); }
// The plot script sizes its FFT figure by the columns whose operation is
// neither None nor Normalise (FFT-type and unknown codes).
inline bool CountsInFftFigure(Operation op) { return op != Operation::None && op != Operation::Normalise; }

struct RunSettings {
    std::optional<std::string> inputPath;   // DATA_FILE; absent until set
    std::optional<std::string> outputPath;  // OUTPUT_FILE; absent until set
    int32_t windowSize = 0;                 // WINDOW_SIZE, rounded half away from zero
    int32_t sampleFreq = 0;                 // SAMPLE_FREQ, rounded half away from zero
    double pi = 0.0;
    double adcOffset = 0.0;
    double thetaX = -1.0;  // reference angles in degrees; -1.0 when not configured
    double thetaY = -1.0;
    double thetaZ = -1.0;
    // RUN_RECORD, a value that rounds to 1: the run writes its record (a JSON
    // file beside the MAT-file). Off when absent, as in the default file.
    bool runRecord = false;
    // TIME_HISTORY, a value that rounds to 1: the run also writes the time
    // history of its spectra (a companion MAT-file and vuxhistory.m). Off
    // when absent, as in the default file.
    bool timeHistory = false;
};

// One configured data column, in #COLUMNS order.
struct ColumnSpec {
    std::string name;
    Sampling sampling = Sampling::OncePerWindow;
    Operation operation = Operation::None;
    int32_t rotationGroup = 0;    // 0 = not rotated, else the group number (a digit)
    int32_t rotationAxis = 0;     // 0 = x, 1 = y, 2 = z
    CompiledExpr normExpr;        // when HasEquation(operation)
    double divisionFactor = 0.0;  // when IsFftType(operation)
    int32_t varIndex = -1;        // VarTable entry named `name`
    std::string plotType;         // #MATLAB texts; empty = absent
    std::string xLabel;
    std::string yLabel;
    std::string plotTitle;
};

inline bool IsRotated(const ColumnSpec& column) { return column.rotationGroup != 0; }

// Which array a column exports, by the first rule that applies.
enum class ExportKind {
    Rotated,    // "_rot": a rotated column, WINDOW_SIZE/2 values
    Spectrum,   // "_pwr": an FFT-type column's spectral density, WINDOW_SIZE/2 values
    PerWindow,  // "_act": a normalised once-per-window column, one value per window
    Samples,    // "_out": any other column, WINDOW_SIZE values
};

ExportKind ExportKindOf(const ColumnSpec& column);

// "_rot", "_pwr", "_act" or "_out".
const char* ExportSuffix(ExportKind kind);

// The name of a column's exported vector: its name and suffix.
std::string ExportName(const ColumnSpec& column);

// A rotation group as configured: its number and the offsets in degrees of
// the axes its columns named.
struct RotationGroupSpec {
    int32_t group = 0;
    double offsetX = 0.0;
    double offsetY = 0.0;
    double offsetZ = 0.0;
};

// Index of the first entry numbered `group`, -1 when there is none.
int32_t FindRotationGroup(const std::vector<RotationGroupSpec>& groups, int32_t group);

// A #CONSTANTS line that does not say what it seems to. It still takes
// effect as read.
struct ConstantLineFault {
    uint64_t line = 0;             // its line number in the configuration, from 1
    std::string text;              // the line as written, without its line end
    double value = 0.0;            // what the value reads as
    bool nameHasControl = false;   // the name holds a control character (a tab), so it is no key it looks like
    bool valueNotANumber = false;  // the value is not wholly a number: its leading number is read, 0 without one
};

// Everything configuration evaluation fills. Later stages read it; a stage
// that evaluates expressions works on its own copy of `vars`.
struct RunConfig {
    RunSettings settings;
    ConstTable consts;
    VarTable vars;                              // every name the expressions use, all 0.0
    std::vector<CompiledExpr> equations;        // #EQUATIONS, in file order
    std::optional<CompiledExpr> windowFunction;
    std::optional<CompiledExpr> shortWindowFunction;  // WINDOW_SIZE read as LINE_COUNT
    std::vector<ColumnSpec> columns;
    std::vector<RotationGroupSpec> rotationGroups;  // in order of first mention
    std::vector<ConstantLineFault> constantFaults;  // in file order
};

// Bytes of a field's text that a data-quality fact keeps.
inline constexpr size_t kKeptFieldBytes = 32;

// Stored fields of one column that are not wholly a number: the number
// parser stops before the field's end, or the field holds no digit before
// any exponent (the empty field among them). Each still reads as its leading
// number, 0 when it has none.
struct FieldFaults {
    uint64_t count = 0;
    uint64_t firstLine = 0;  // line number of the first, 1-based in the file; 0 when none
    std::array<char, kKeptFieldBytes> firstText{};  // its first bytes (not NUL-terminated)
    uint32_t firstLength = 0;  // bytes of firstText in use
    bool firstCut = false;     // the field was longer than kKeptFieldBytes
};

// Facts about a data file's rows that change no result, gathered while it is
// read. Line numbers count every line of the file from 1: header lines, the
// marker, the headings line, rows and overlong lines that are not rows.
// Only stored fields are checked: once-per-window fields after a window's
// first row are skipped unread, as are fields of no configured column.
struct DataQuality {
    uint64_t rows = 0;            // complete rows read (a dropped last window's too)
    uint64_t shortRows = 0;       // rows with fewer fields than configured columns
    uint64_t firstShortLine = 0;  // line number of the first, 0 when none
    // Lines of more bytes than the row limit before their line end: no rows,
    // let go of unread (a last line without a line end is not counted).
    uint64_t overlongLines = 0;
    uint64_t firstOverlongLine = 0;  // line number of the first, 0 when none
    std::vector<FieldFaults> fields;  // per configured column, in table order
    // The first column's mean step over the processed rows, when it is read
    // every sample: (t_last - t_first) / (rows - 1) from the first window's
    // first row to the last processed row (the rows of full windows that were
    // not processed in between counted too); NaN when fewer than 2 rows were
    // processed. `steppedRows` is that row count.
    double meanStep = std::numeric_limits<double>::quiet_NaN();
    uint64_t steppedRows = 0;
};

// Running extremes and mean of one column. Normalised columns sum their
// values in `mean` until the last window divides it; an FFT-type column's
// mean is that of its latest window.
struct ColumnStats {
    double timeOfMax = 0.0;
    double max = 0.0;
    double timeOfMin = 0.0;
    double min = 0.0;
    double mean = 0.0;
};

// An FFT-type column's latest window's bin powers and its accumulated
// (finally averaged) one-sided spectral density, WINDOW_SIZE values each.
struct Spectrum {
    std::vector<double> power;
    std::vector<double> density;
};

// What the data reduction leaves, per column in table order.
struct ReduceResult {
    // The data file reader: the headings paired with the columns by position
    // (a column past the end has none), and its facts.
    std::vector<std::string> headings;
    DataQuality quality;
    // The reader stores, window processing reduces. A once-per-window
    // column's element w is the value of window w; an every-sample column
    // holds WINDOW_SIZE elements of the current (finally the last) window.
    std::vector<std::vector<double>> samples;
    std::vector<ColumnStats> stats;          // window processing
    std::vector<Spectrum> spectra;           // spectral processing; empty but for FFT-type columns
    std::vector<std::vector<double>> rotated;  // rotation; WINDOW_SIZE/2 + 1 values for rotated columns
    int32_t processedWindows = 0;
    int32_t lastWindowRows = 0;     // complete rows of the last processed window
    double firstWindowStart = 0.0;  // the time of the first processed window's first row
    // XXH3-128 of the data file's whole content, in the byte order
    // xxh128sum prints.
    std::array<uint8_t, 16> inputDigest{};
};
}  // namespace vux
