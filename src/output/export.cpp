#include "output/export.h"

#include <algorithm>
#include <utility>

#include "output/mat_file.h"

namespace vux {
namespace {

const std::vector<double>& ArrayOf(const std::vector<std::vector<double>>& arrays, size_t c) {
    static const std::vector<double> kNone;
    return c < arrays.size() ? arrays[c] : kNone;
}

}  // namespace

ExportChoice ChooseExport(const RunConfig& config, const ReduceResult& result, size_t c) {
    static const std::vector<double> kNone;
    const ColumnSpec& column = config.columns[c];
    const int32_t windowSize = config.settings.windowSize;
    const int32_t half = std::max(0, windowSize / 2);
    ExportChoice choice{ExportName(column), &ArrayOf(result.samples, c), 0};
    switch (ExportKindOf(column)) {
        case ExportKind::Rotated:
            choice.values = &ArrayOf(result.rotated, c);
            choice.count = half;
            break;
        case ExportKind::Spectrum:
            choice.values = c < result.spectra.size() ? &result.spectra[c].density : &kNone;
            choice.count = half;
            break;
        case ExportKind::PerWindow: choice.count = std::max(0, result.processedWindows); break;
        case ExportKind::Samples: choice.count = std::max(0, windowSize); break;
    }
    return choice;
}

std::array<uint8_t, 16> ExportResults(const RunConfig& config, const ReduceResult& result, OutputSet& outputs) {
    MatFile mat = MatCreate(config.settings.outputPath.value_or(""));
    std::vector<double> padded;
    for (size_t c = 0; c < config.columns.size(); ++c) {
        const ExportChoice choice = ChooseExport(config, result, c);
        const std::vector<double>& array = *choice.values;
        const size_t count = static_cast<size_t>(choice.count);
        const double* data = array.data();
        if (array.size() < count) {
            // Never read past the array: the missing positions hold 0.0.
            padded.assign(count, 0.0);
            std::copy(array.begin(), array.end(), padded.begin());
            data = padded.data();
        }
        MatWriteVector(mat, data, choice.name.c_str(), choice.count);
    }
    MatComplete(mat);
    outputs.Add(std::move(mat.out), ErrorKind::MatWrite);
    return mat.digest.Canonical();
}
}  // namespace vux
