#include "output/plot_script.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <set>
#include <string_view>
#include <utility>

#include "output/scratch_file.h"
#include "core/paths.h"

namespace vux {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsAbsolute(const std::string& path) {
    if (!path.empty() && IsSeparator(path[0])) {
        return true;
    }
    const bool driveLetter = path.size() >= 2 && path[1] == ':' &&
                             ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    return driveLetter;
}

std::string Quoted(std::string_view text) { return MatlabQuoted(text); }

// The label line that follows every plotting line; absent texts are left out.
void AppendLabels(std::string& script, const ColumnSpec& column) {
    if (!column.xLabel.empty()) {
        script += "xlabel('" + Quoted(column.xLabel) + "'),";
    }
    if (!column.yLabel.empty()) {
        script += "ylabel('" + Quoted(column.yLabel) + "'),";
    }
    if (!column.plotTitle.empty()) {
        script += "title('" + Quoted(column.plotTitle) + "')";
    }
    script += ";\n";
}

void AppendSubplot(std::string& script, int32_t rows, int32_t position, const ColumnSpec& column) {
    script += "subplot(" + std::to_string(rows) + ",1," + std::to_string(position) + ")," +
              column.plotType + "(" + ExportName(column) + ");\n";
    AppendLabels(script, column);
}

}  // namespace

// MATLAB writes a single quote inside a quoted text as two.
std::string MatlabQuoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        out.push_back(c);
        if (c == '\'') {
            out.push_back('\'');
        }
    }
    return out;
}

std::string PlotScriptPath(const std::string& outputPath) {
    return outputPath.substr(0, FileNameStart(outputPath)) + "vuxplots.m";
}

std::string PlotLoadLine(const std::string& outputPath) {
    const std::string path = IsAbsolute(outputPath) ? outputPath : outputPath.substr(FileNameStart(outputPath));
    if (path.find_first_of(" \t',;%") != std::string::npos) {
        return "load('" + Quoted(path) + "')\n";
    }
    return "load " + path + "\n";
}

std::string PlotScriptText(const RunConfig& state) {
    std::set<int32_t> groups;
    for (const RotationGroupSpec& group : state.rotationGroups) {
        if (group.group != 0) {
            groups.insert(group.group);
        }
    }
    const int32_t groupCount = static_cast<int32_t>(groups.size());
    int32_t fftCount = 0;
    int32_t normalisedCount = 0;
    for (const ColumnSpec& column : state.columns) {
        if (CountsInFftFigure(column.operation)) {
            ++fftCount;
        }
        if (IsNormalised(column.operation)) {
            ++normalisedCount;
        }
    }

    std::string script = "function vuxplots()\n\n";
    script += PlotLoadLine(state.settings.outputPath.value_or(""));

    for (int32_t group : groups) {
        script += "figure;\n";
        for (const ColumnSpec& column : state.columns) {
            if (!column.plotType.empty() && column.rotationGroup == group) {
                AppendSubplot(script, 3, column.rotationAxis + 1, column);
            }
        }
    }

    if (fftCount > 3 * groupCount) {
        script += "figure;\n";
        int32_t position = 0;
        for (const ColumnSpec& column : state.columns) {
            if (!column.plotType.empty() && IsFftType(column.operation) && !IsRotated(column)) {
                AppendSubplot(script, fftCount, ++position, column);
            }
        }
    }

    if (normalisedCount > 0) {
        script += "figure;\n";
        int32_t position = 0;
        for (const ColumnSpec& column : state.columns) {
            if (!column.plotType.empty() && ExportKindOf(column) == ExportKind::PerWindow) {
                AppendSubplot(script, normalisedCount, ++position, column);
            }
        }
    }

    for (const ColumnSpec& column : state.columns) {
        // Neither normalised nor FFT-type, and not read once per window.
        if (!column.plotType.empty() && column.operation != Operation::Normalise && !IsFftType(column.operation) &&
            !IsOncePerWindow(column.sampling) && !IsRotated(column)) {
            script += "figure,plot(" + ExportName(column) + ");\n";
            AppendLabels(script, column);
        }
    }
    return script;
}

void WritePlotScript(const RunConfig& state, OutputSet& outputs) {
    AddWholeFile(outputs, PlotScriptPath(state.settings.outputPath.value_or("")), PlotScriptText(state),
                 {ErrorKind::PlotScriptCreate, ErrorKind::PlotScriptDirectory, ErrorKind::PlotScriptWrite});
}
}  // namespace vux
