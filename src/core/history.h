#pragma once
// The time history of a run's spectra (TIME_HISTORY = 1): what the window
// loop leaves for the companion MAT-file, its plot script and the record.
// The reduction fills it (reduce/time_history.h); the outputs write it.

#include <cstdint>
#include <string>
#include <vector>

#include "core/unique_fd.h"

namespace vux {
// What one dimension of a history matrix runs along.
enum class HistoryAxis {
    None,       // a single row or column
    Frequency,  // bin k of the full windows' transform, at FREQ_HZ(k)
    Window,     // full window j, starting at TIME_S(j)
    Band,       // 1/3-octave band b, centred on OCT_HZ(b)
};

// What a history matrix holds.
enum class HistoryRole {
    Frequency,  // FREQ_HZ: bin frequencies in Hz
    Time,       // TIME_S: full windows' start times (the first column's unit, seconds)
    BandCentre, // OCT_HZ: band centres in Hz
    Psd,        // V_t: each full window's one-sided PSD (unit^2/Hz)
    PeakHold,   // V_max: each bin's largest PSD over the full windows (unit^2/Hz)
    Rms,        // V_rms: each full window's overall RMS (unit)
    BandRms,    // V_oct: each full window's RMS per band (unit)
};

// One matrix of the companion MAT-file. Its values are column-major: held
// in `values`, or (per-window matrices, one column per window) in an
// unlinked scratch file that the window loop appended them to.
struct HistoryMatrix {
    std::string name;
    HistoryRole role = HistoryRole::Frequency;
    bool single = false;  // 4-byte floats (MATLAB single), else 8-byte doubles
    int32_t rows = 0;
    int32_t cols = 0;
    HistoryAxis rowAxis = HistoryAxis::None;
    HistoryAxis colAxis = HistoryAxis::None;
    int32_t vector = -1;         // index into TimeHistoryData::vectors; -1 for FREQ_HZ, TIME_S, OCT_HZ
    std::vector<double> values;  // rows x cols values when `file` is not open
    // Else: rows x cols little-endian values from offset 0, column after column.
    UniqueFd file;
};

// One exported spectrum vector V of the main MAT-file that has a history.
struct HistoryVector {
    std::string name;      // V, as exported ("ANGX_rot", "VIB_pwr")
    int32_t column = -1;   // its column, in table order
    int32_t group = 0;     // rotation group number, 0 when not rotated
    int32_t axis = -1;     // 0 = x, 1 = y, 2 = z when rotated, else -1
};

// The whole time history of a run. Move-only (it owns the scratch files).
struct TimeHistoryData {
    int32_t windows = 0;  // full windows held: the columns of every per-window matrix
    int32_t bins = 0;     // WINDOW_SIZE/2: the rows of every per-bin matrix
    int32_t transformLength = 0;  // points of a full window's transform
    double binHz = 0.0;           // SAMPLE_FREQ / transformLength
    int32_t bands = 0;
    // The mean of the squares of the window table the first full window was
    // transformed with (the power correction of V_rms and V_oct); 0 when
    // there was none.
    double windowMeanSquare = 0.0;
    bool lastWindowLeftOut = false;  // a short last window was processed but is in no matrix
    std::vector<HistoryVector> vectors;    // table order
    std::vector<HistoryMatrix> matrices;   // the companion's order
};
}  // namespace vux
