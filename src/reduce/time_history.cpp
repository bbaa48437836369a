#include "reduce/time_history.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/error.h"
#include "reduce/window.h"

namespace vux {
namespace {

// Bytes each scratch file gathers before it is written.
constexpr size_t kRowFileBuffer = size_t{256} << 10;

int32_t TransformPoints(int32_t windowSize) { return windowSize - windowSize % 2; }

// Bin k's frequency in Hz: k x SAMPLE_FREQ / n, rounded once.
double BinFrequency(int32_t k, int32_t sampleFreq, int32_t n) {
    return static_cast<double>(k) * static_cast<double>(sampleFreq) / static_cast<double>(n);
}

bool TakesPart(const ColumnSpec& col) { return IsRotated(col) && col.rotationAxis >= 0 && col.rotationAxis <= 2; }

// Every column feeding the group's axes is FFT-type (an axis no column feeds reads zeros).
bool IsSpectralGroup(const std::array<RotationSlot, 3>& slots, const RunConfig& config) {
    return std::all_of(slots.begin(), slots.end(), [&config](const RotationSlot& slot) {
        return slot.inputColumn < 0 || IsFftType(config.columns[static_cast<size_t>(slot.inputColumn)].operation);
    });
}

// The directory the scratch files go to (the companion's), as opened and as
// messages name it ("" for the working directory).
std::string DirectoryOf(const std::string& path, bool forMessage) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return forMessage ? "" : ".";
    size_t end = slash;
    while (end > 0 && path[end - 1] == '/') --end;
    return end == 0 ? "/" : path.substr(0, end);
}

// An unlinked file for reading and writing in `directory`: it has no name, so
// nothing is left behind however the run ends.
int OpenUnlinked(const std::string& directory) {
    int fd = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
    // A file system without unnamed files: a named one, unlinked at once.
    std::string name = directory + "/.vux_history.XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(name.c_str());
    return fd;
}

}  // namespace

namespace {

// The first bin of the `bins` whose frequency is above `edge`.
int32_t FirstBinAbove(double edge, int32_t bins, int32_t sampleFreq, int32_t n) {
    const double guess = std::floor(edge * n / sampleFreq);
    int32_t k = static_cast<int32_t>(std::clamp(guess, 0.0, static_cast<double>(bins)));
    while (k > 0 && BinFrequency(k - 1, sampleFreq, n) > edge) --k;
    while (k < bins && !(BinFrequency(k, sampleFreq, n) > edge)) ++k;
    return k;
}

}  // namespace

OctaveBands PlanOctaveBands(int32_t bins, int32_t sampleFreq, int32_t transformLength) {
    OctaveBands bands;
    if (bins < 2 || sampleFreq < 1 || transformLength < 2) return bands;
    const double low = BinFrequency(1, sampleFreq, transformLength);
    const double high = BinFrequency(bins - 1, sampleFreq, transformLength);
    for (int32_t i = static_cast<int32_t>(std::floor(10 * std::log10(low))) - 1;; ++i) {
        const double lower = std::pow(10.0, (2 * i - 1) / 20.0);
        const double upper = std::pow(10.0, (2 * i + 1) / 20.0);
        if (upper > high) break;
        if (lower < low) continue;
        bands.centres.push_back(std::pow(10.0, i / 10.0));
        bands.firstBin.push_back(FirstBinAbove(lower, bins, sampleFreq, transformLength));
        bands.endBin.push_back(FirstBinAbove(upper, bins, sampleFreq, transformLength));
    }
    return bands;
}

std::vector<HistoryVector> PlanHistoryVectors(const RunConfig& config) {
    std::vector<std::vector<double>> unused;
    const RotationPlan rotation = PlanRotation(config, unused);
    std::vector<HistoryVector> vectors;
    for (size_t c = 0; c < config.columns.size(); ++c) {
        const ColumnSpec& column = config.columns[c];
        if (!IsFftType(column.operation)) continue;
        HistoryVector vector{ExportName(column), static_cast<int32_t>(c), 0, -1};
        if (ExportKindOf(column) == ExportKind::Rotated) {
            if (!TakesPart(column)) continue;
            const auto group = std::lower_bound(rotation.groups.begin(), rotation.groups.end(), column.rotationGroup);
            if (!IsSpectralGroup(rotation.slots[static_cast<size_t>(group - rotation.groups.begin())], config)) continue;
            vector.group = column.rotationGroup;
            vector.axis = column.rotationAxis;
        }
        vectors.push_back(std::move(vector));
    }
    return vectors;
}

std::vector<HistoryShape> HistoryShapes(const std::vector<HistoryVector>& vectors, int32_t sampleFreq,
                                        int32_t windowSize, uint64_t windows) {
    const int32_t n = TransformPoints(windowSize);
    const uint64_t bins = static_cast<uint64_t>(std::max(0, windowSize / 2));
    const uint64_t bands =
        PlanOctaveBands(static_cast<int32_t>(bins), sampleFreq, n).centres.size();
    std::vector<HistoryShape> shapes = {
        {"FREQ_HZ", false, bins, 1},
        {"TIME_S", false, windows, 1},
        {"OCT_HZ", false, bands, 1},
    };
    for (const HistoryVector& vector : vectors) {
        shapes.push_back({vector.name + "_t", true, bins, windows});
        shapes.push_back({vector.name + "_max", false, bins, 1});
        shapes.push_back({vector.name + "_rms", false, windows, 1});
        shapes.push_back({vector.name + "_oct", false, bands, windows});
    }
    return shapes;
}

uint64_t ForeseeRows(const DataReader& reader) {
    std::vector<char> sample(size_t{1} << 20);
    ssize_t got;
    do {
        got = ::pread(reader.fd.get(), sample.data(), sample.size(), 0);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) return 0;
    const char* const begin = sample.data();
    const char* const end = begin + got;
    const size_t markerLength = std::strlen(kDataMarker);
    // Past the marker line and the headings line after it.
    const char* line = begin;
    bool marker = false;
    for (;;) {
        const char* lf = static_cast<const char*>(std::memchr(line, '\n', static_cast<size_t>(end - line)));
        if (lf == nullptr) return 0;
        size_t length = static_cast<size_t>(lf - line);
        if (length > 0 && lf[-1] == '\r') --length;
        const bool headings = marker;
        marker = length == markerLength && std::memcmp(line, kDataMarker, markerLength) == 0;
        line = lf + 1;
        if (headings) break;
    }
    uint64_t rows = 0;
    const char* last = line;  // just past the last complete row
    for (const char* p = line; (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p))));) {
        ++rows;
        last = ++p;
    }
    if (rows == 0) return 0;
    const double start = static_cast<double>(line - begin);
    const double bytesPerRow = static_cast<double>(last - line) / static_cast<double>(rows);
    const double size = static_cast<double>(reader.fileSize);
    return size > start ? static_cast<uint64_t>((size - start) / bytesPerRow) : rows;
}

TimeHistory::TimeHistory(const RunConfig& config, std::string companionPath)
    : config_(config), companionPath_(std::move(companionPath)) {
    const RunSettings& s = config.settings;
    windowSize_ = s.windowSize;
    transformLength_ = TransformPoints(windowSize_);
    bins_ = std::max(0, windowSize_ / 2);
    binHz_ = static_cast<double>(s.sampleFreq) / static_cast<double>(transformLength_);
    d_ = static_cast<double>(transformLength_) * static_cast<double>(s.sampleFreq);
    bands_ = PlanOctaveBands(bins_, s.sampleFreq, transformLength_);
    vectors_ = PlanHistoryVectors(config);

    std::vector<std::vector<double>> unused;
    const RotationPlan rotation = PlanRotation(config, unused);
    const size_t bins = static_cast<size_t>(bins_);
    psd_.resize(config.columns.size());
    const auto needPsd = [&](int32_t c) {
        if (c < 0 || !psd_[static_cast<size_t>(c)].empty()) return;
        psd_[static_cast<size_t>(c)].assign(bins, 0.0);
        psdColumns_.push_back(c);
    };
    std::vector<size_t> groupOf(rotation.groups.size(), SIZE_MAX);  // plan's group -> groups_
    for (const HistoryVector& vector : vectors_) {
        Source source;
        if (vector.group == 0) {
            source.column = vector.column;
            needPsd(vector.column);
        } else {
            const size_t g = static_cast<size_t>(
                std::lower_bound(rotation.groups.begin(), rotation.groups.end(), vector.group) - rotation.groups.begin());
            if (groupOf[g] == SIZE_MAX) {
                groupOf[g] = groups_.size();
                Group group;
                group.matrices = rotation.matrices[g];
                for (size_t a = 0; a < 3; ++a) {
                    group.inputs[a] = rotation.slots[g][a].inputColumn;
                    needPsd(group.inputs[a]);
                    group.out[a].assign(bins, 0.0);
                }
                groups_.push_back(std::move(group));
            }
            source.group = groupOf[g];
            source.axis = vector.axis;
        }
        sources_.push_back(source);
    }
    peak_.assign(vectors_.size(), std::vector<double>(bins, std::nan("")));
    singleRow_.assign(bins, 0.0f);
    bandRow_.assign(bands_.centres.size(), 0.0);
    zeros_.assign(bins, 0.0);

    const std::string directory = DirectoryOf(companionPath_, false);
    const auto open = [&](RowFile& file) {
        file.fd.reset(OpenUnlinked(directory));
        if (!file.fd) {
            const int err = errno;
            Error error;
            error.path = companionPath_;
            error.cause = Cause{err};
            error.kind = ErrorKind::MatCreate;
            if (err == EACCES || err == EPERM || err == EROFS) {
                error.kind = ErrorKind::MatDirectory;
                error.other = DirectoryOf(companionPath_, true);
            }
            Fail(std::move(error));
        }
        file.buffer.resize(kRowFileBuffer);
    };
    open(times_);
    psdFiles_.resize(vectors_.size());
    rmsFiles_.resize(vectors_.size());
    bandFiles_.resize(vectors_.size());
    for (size_t v = 0; v < vectors_.size(); ++v) {
        open(psdFiles_[v]);
        open(rmsFiles_[v]);
        open(bandFiles_[v]);
    }
}

void TimeHistory::WriteAll(int fd, const unsigned char* bytes, size_t size) {
    for (size_t done = 0; done < size;) {
        const ssize_t wrote = ::write(fd, bytes + done, size - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) Fail(ErrorKind::MatWrite, companionPath_, Cause{wrote < 0 ? errno : 0});
        done += static_cast<size_t>(wrote);
    }
}

void TimeHistory::Flush(RowFile& file) {
    WriteAll(file.fd.get(), file.buffer.data(), file.used);
    file.used = 0;
}

void TimeHistory::Append(RowFile& file, const void* bytes, size_t size) {
    if (size == 0) return;  // a row of no band
    if (file.used + size > file.buffer.size()) Flush(file);
    if (size > file.buffer.size()) {
        // A row larger than the buffer goes straight to the file.
        WriteAll(file.fd.get(), static_cast<const unsigned char*>(bytes), size);
        return;
    }
    std::memcpy(file.buffer.data() + file.used, bytes, size);
    file.used += size;
}

namespace {

// x[from] + ... + x[to - 1], in four interleaved partial sums (a sum of
// many bins does not wait on each addition).
double SumOf(const double* x, int32_t from, int32_t to) {
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    int32_t k = from;
    for (; k + 4 <= to; k += 4) {
        s0 += x[k];
        s1 += x[k + 1];
        s2 += x[k + 2];
        s3 += x[k + 3];
    }
    for (; k < to; ++k) s0 += x[k];
    return (s0 + s1) + (s2 + s3);
}

// The values as little-endian bytes, in place (nothing to do on a
// little-endian machine).
template <typename T>
void ToLittleEndian(T* values, size_t count) {
    if constexpr (std::endian::native != std::endian::little) {
        for (size_t i = 0; i < count; ++i) {
            unsigned char bytes[sizeof(T)];
            std::memcpy(bytes, &values[i], sizeof(T));
            std::reverse(bytes, bytes + sizeof(T));
            std::memcpy(&values[i], bytes, sizeof(T));
        }
    }
}

}  // namespace

void TimeHistory::AddWindow(int32_t m, int32_t rows, const SpectralTables& tables, const ReduceResult& result) {
    if (rows != windowSize_ || windowSize_ < 2) return;
    const bool oddSize = transformLength_ < windowSize_;
    const double start = config_.columns.empty() || result.samples.empty()
                             ? 0.0
                             : WindowStartTime(config_.columns[0].sampling, result.samples[0], static_cast<size_t>(m));
    AddWindow(rows, oddSize ? tables.shortWindowTable : tables.windowTable, start, result);
}

void TimeHistory::AddWindow(int32_t rows, const std::vector<double>& table, double start, const ReduceResult& result) {
    if (rows != windowSize_ || windowSize_ < 2) return;
    const size_t bins = static_cast<size_t>(bins_);

    // The window table's power: fixed for an even size, the window's own
    // table (filled again for every window) for an odd one.
    const bool oddSize = transformLength_ < windowSize_;
    if (oddSize || !meanSquareKnown_) {
        const size_t points = std::min(table.size(), static_cast<size_t>(transformLength_));
        double sum = 0.0;
        for (size_t i = 0; i < points; ++i) sum += table[i] * table[i];
        meanSquare_ = sum / static_cast<double>(transformLength_);
        if (!meanSquareKnown_) firstMeanSquare_ = meanSquare_;
        meanSquareKnown_ = true;
    }

    // Each column's PSD as the spectrum adds it: power[0] / d, (power[k] x 2) / d.
    for (int32_t c : psdColumns_) {
        std::vector<double>& psd = psd_[static_cast<size_t>(c)];
        const std::vector<double>* power =
            static_cast<size_t>(c) < result.spectra.size() ? &result.spectra[static_cast<size_t>(c)].power : nullptr;
        if (power == nullptr || power->size() < bins) {
            std::fill(psd.begin(), psd.end(), 0.0);
            continue;
        }
        const double* p = power->data();
        if (bins > 0) psd[0] = p[0] / d_;
        for (size_t k = 1; k < bins; ++k) psd[k] = (p[k] * 2) / d_;
    }
    for (Group& group : groups_) {
        const double* in[3];
        for (size_t a = 0; a < 3; ++a) {
            in[a] = group.inputs[a] >= 0 ? psd_[static_cast<size_t>(group.inputs[a])].data() : zeros_.data();
        }
        for (size_t k = 0; k < bins; ++k) {
            double w[3];
            RotateElement(group.matrices, in[0][k], in[1][k], in[2][k], w);
            group.out[0][k] = w[0];
            group.out[1][k] = w[1];
            group.out[2][k] = w[2];
        }
    }

    for (size_t v = 0; v < vectors_.size(); ++v) {
        const Source& source = sources_[v];
        const double* row = source.column >= 0 ? psd_[static_cast<size_t>(source.column)].data()
                                               : groups_[source.group].out[static_cast<size_t>(source.axis)].data();
        double* peak = peak_[v].data();
        float* single = singleRow_.data();
        for (size_t k = 0; k < bins; ++k) {
            const double value = row[k];
            // The largest value; a NaN window gives none.
            peak[k] = (value > peak[k] || peak[k] != peak[k]) ? value : peak[k];
            single[k] = static_cast<float>(value);
        }
        // The bands' sums, and the whole sum from the stretches below, in
        // and above the bands.
        const int32_t bandsFrom = bandRow_.empty() ? bins_ : bands_.firstBin.front();
        const int32_t bandsTo = bandRow_.empty() ? bins_ : bands_.endBin.back();
        double sum = SumOf(row, 0, bandsFrom);
        for (size_t b = 0; b < bandRow_.size(); ++b) {
            const double band = SumOf(row, bands_.firstBin[b], bands_.endBin[b]);
            sum += band;
            bandRow_[b] = std::sqrt(band * binHz_ / meanSquare_);
        }
        sum += SumOf(row, bandsTo, bins_);
        const double rms = std::sqrt(sum * binHz_ / meanSquare_);
        ToLittleEndian(singleRow_.data(), singleRow_.size());
        ToLittleEndian(bandRow_.data(), bandRow_.size());
        double rmsBytes = rms;
        ToLittleEndian(&rmsBytes, 1);
        Append(psdFiles_[v], singleRow_.data(), singleRow_.size() * sizeof(float));
        Append(rmsFiles_[v], &rmsBytes, sizeof rmsBytes);
        Append(bandFiles_[v], bandRow_.data(), bandRow_.size() * sizeof(double));
    }
    ToLittleEndian(&start, 1);
    Append(times_, &start, sizeof start);
    ++windows_;
}

TimeHistoryData TimeHistory::Finish(const ReduceResult& result) {
    Flush(times_);
    for (size_t v = 0; v < vectors_.size(); ++v) {
        Flush(psdFiles_[v]);
        Flush(rmsFiles_[v]);
        Flush(bandFiles_[v]);
    }
    TimeHistoryData data;
    data.windows = windows_;
    data.bins = bins_;
    data.transformLength = transformLength_;
    data.binHz = binHz_;
    data.bands = static_cast<int32_t>(bands_.centres.size());
    data.windowMeanSquare = firstMeanSquare_;
    data.lastWindowLeftOut = result.processedWindows > windows_;
    data.vectors = vectors_;

    const std::vector<HistoryShape> shapes =
        HistoryShapes(vectors_, config_.settings.sampleFreq, windowSize_, static_cast<uint64_t>(windows_));
    size_t next = 0;
    const auto add = [&](HistoryRole role, HistoryAxis rowAxis, HistoryAxis colAxis, int32_t vector) -> HistoryMatrix& {
        const HistoryShape& shape = shapes[next++];
        HistoryMatrix matrix;
        matrix.name = shape.name;
        matrix.role = role;
        matrix.single = shape.single;
        matrix.rows = static_cast<int32_t>(shape.rows);
        matrix.cols = static_cast<int32_t>(shape.cols);
        matrix.rowAxis = rowAxis;
        matrix.colAxis = colAxis;
        matrix.vector = vector;
        data.matrices.push_back(std::move(matrix));
        return data.matrices.back();
    };
    HistoryMatrix& frequencies = add(HistoryRole::Frequency, HistoryAxis::Frequency, HistoryAxis::None, -1);
    for (int32_t k = 0; k < bins_; ++k) {
        frequencies.values.push_back(BinFrequency(k, config_.settings.sampleFreq, transformLength_));
    }
    add(HistoryRole::Time, HistoryAxis::Window, HistoryAxis::None, -1).file = std::move(times_.fd);
    add(HistoryRole::BandCentre, HistoryAxis::Band, HistoryAxis::None, -1).values = bands_.centres;
    for (size_t v = 0; v < vectors_.size(); ++v) {
        const int32_t vector = static_cast<int32_t>(v);
        add(HistoryRole::Psd, HistoryAxis::Frequency, HistoryAxis::Window, vector).file = std::move(psdFiles_[v].fd);
        add(HistoryRole::PeakHold, HistoryAxis::Frequency, HistoryAxis::None, vector).values = peak_[v];
        add(HistoryRole::Rms, HistoryAxis::Window, HistoryAxis::None, vector).file = std::move(rmsFiles_[v].fd);
        add(HistoryRole::BandRms, HistoryAxis::Band, HistoryAxis::Window, vector).file = std::move(bandFiles_[v].fd);
    }
    return data;
}
}  // namespace vux
