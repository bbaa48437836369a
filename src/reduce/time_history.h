#pragma once
// The time history of the spectra (TIME_HISTORY = 1): for every exported
// spectrum vector V (the "_rot" of an FFT-type column, every "_pwr"), each
// full window's one-sided PSD with V's scaling and rotation (V_t), its peak
// hold over the full windows (V_max), each window's overall RMS (V_rms) and
// 1/3-octave band RMS (V_oct). Filled by the window loop, one call per full
// window, in window order; the per-window rows go to unlinked scratch files
// as they are made, so memory stays flat in the file's length.
//
// A full window has WINDOW_SIZE rows; its transform takes n = WINDOW_SIZE
// less one when odd points, at bin spacing SAMPLE_FREQ / n. A short last
// window's bins lie at another spacing: it is in no matrix. The power
// correction of V_rms and V_oct is the mean of the squares of the window
// table the window was transformed with (the WINDOW_SIZE values of the full
// table, or the n values of the table of an odd size).
//
// A rotation group's vectors have a history only when every column feeding
// the group is FFT-type: rotating a spectrum together with samples (a
// column of another kind in the group) has no per-window meaning.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/history.h"
#include "core/model.h"
#include "reduce/data_reader.h"
#include "reduce/rotation.h"
#include "reduce/spectrum.h"

namespace vux {
// 1/3-octave bands: base-10 centres 10^(i/10) Hz with edges 10^((2i - 1)/20)
// and 10^((2i + 1)/20) Hz (the centre times 10^(-1/20) and 10^(+1/20), each
// edge computed once, so neighbours share it), every band whose edges lie
// within bins 1 .. bins - 1 (bin 0 stands at 0 Hz). Bin k, at k x binHz,
// belongs to the band with lower edge < k x binHz <= upper edge (a bin on
// an edge goes to the band below); bins 0 and 1 belong to none.
struct OctaveBands {
    std::vector<double> centres;    // Hz, ascending
    std::vector<int32_t> firstBin;  // band b sums bins firstBin[b] .. endBin[b] - 1 (none when equal)
    std::vector<int32_t> endBin;
};

// The bands over bins 0 .. bins - 1 of a transform of `transformLength`
// points at `sampleFreq` Hz: bin k at k x sampleFreq / transformLength Hz.
OctaveBands PlanOctaveBands(int32_t bins, int32_t sampleFreq, int32_t transformLength);

// One matrix of the companion as it would be for a run: its name, class and
// shape (columns: the full windows for the per-window matrices).
struct HistoryShape {
    std::string name;
    bool single = false;
    uint64_t rows = 0;
    uint64_t cols = 0;
};

// The exported spectrum vectors of `config` that have a history, in table
// order.
std::vector<HistoryVector> PlanHistoryVectors(const RunConfig& config);

// Every matrix of the companion, in its order, for `vectors` (of
// PlanHistoryVectors) run with `windowSize` at `sampleFreq` on a file of
// `windows` full windows: FREQ_HZ, TIME_S, OCT_HZ, then V_t, V_max, V_rms,
// V_oct of each vector.
std::vector<HistoryShape> HistoryShapes(const std::vector<HistoryVector>& vectors, int32_t sampleFreq,
                                        int32_t windowSize, uint64_t windows);

// The data file's rows, foreseen from its size before it is read: the rows
// of its first mebibyte after the headings line give the bytes per row. 0
// when that part holds no complete row (nothing can be foreseen). One pread.
uint64_t ForeseeRows(const DataReader& reader);

class TimeHistory {
public:
    // Plans the vectors, the bands and the rotation of `config` and opens
    // the scratch files in the directory of `companionPath` (the MAT-file
    // the history will be written to; named in messages). A directory that
    // refuses them stops the run (MatDirectory, MatCreate).
    TimeHistory(const RunConfig& config, std::string companionPath);
    TimeHistory(const TimeHistory&) = delete;
    TimeHistory& operator=(const TimeHistory&) = delete;

    // The window loop's call, once per processed window of `rows` rows, in
    // window order, after its transform: `table` (the window table
    // it was transformed with), `start` (its WindowStartTime, taken after
    // the transform) and result.spectra[c].power (bins 0 .. n/2, |Xk|^2) are
    // that window's. A window of fewer than WINDOW_SIZE rows is left out.
    // Appends the window's rows to the scratch files (MatWrite naming the
    // companion when one cannot be written). Allocates nothing.
    void AddWindow(int32_t rows, const std::vector<double>& table, double start, const ReduceResult& result);
    // The same for window m (from 0), right after its transform: the table
    // and the start time taken from `tables` and result.samples.
    void AddWindow(int32_t m, int32_t rows, const SpectralTables& tables, const ReduceResult& result);

    // After the last window: the history, its scratch files handed over.
    TimeHistoryData Finish(const ReduceResult& result);

    // One scratch file of per-window rows, written through a buffer.
    struct RowFile {
        UniqueFd fd;
        std::vector<unsigned char> buffer;  // fixed capacity
        size_t used = 0;
    };

private:
    // Where a vector's PSD comes from: a column's own, or a rotation.
    struct Source {
        int32_t column = -1;  // the column whose PSD it is; -1 for a rotation
        size_t group = 0;     // else: the index into groups_
        int32_t axis = 0;
    };
    struct Group {
        RotationMatrices matrices;
        std::array<int32_t, 3> inputs{};  // columns feeding x, y, z; -1 = zeros
        std::array<std::vector<double>, 3> out;
    };

    void Append(RowFile& file, const void* bytes, size_t size);
    void Flush(RowFile& file);
    void WriteAll(int fd, const unsigned char* bytes, size_t size);

    const RunConfig& config_;
    std::string companionPath_;
    int32_t windowSize_ = 0;
    int32_t transformLength_ = 0;
    int32_t bins_ = 0;
    double binHz_ = 0.0;
    double d_ = 0.0;  // transformLength x SAMPLE_FREQ
    OctaveBands bands_;
    std::vector<HistoryVector> vectors_;
    std::vector<Source> sources_;                  // per vector
    std::vector<std::vector<double>> psd_;         // per column: this window's PSD (FFT-type sources only)
    std::vector<int32_t> psdColumns_;              // the columns psd_ holds
    std::vector<Group> groups_;
    std::vector<std::vector<double>> peak_;        // per vector
    std::vector<float> singleRow_;
    std::vector<double> bandRow_;
    std::vector<double> zeros_;
    RowFile times_;
    std::vector<RowFile> psdFiles_, rmsFiles_, bandFiles_;  // per vector
    int32_t windows_ = 0;
    double firstMeanSquare_ = 0.0;   // the first full window's table's
    double meanSquare_ = 0.0;        // the current window's table's
    bool meanSquareKnown_ = false;
};
}  // namespace vux
