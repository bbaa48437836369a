#include "output/plot_script.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <set>
#include <string_view>

#include "output/export.h"
#include "output/scratch_file.h"
#include "core/clock.h"
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

// MATLAB writes a single quote inside a quoted text as two.
std::string Quoted(std::string_view text) {
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

// The label line that follows every plotting line; absent texts are left out.
void AppendLabels(std::string& script, const ColumnDef& column) {
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

void AppendSubplot(std::string& script, int32_t rows, int32_t position, const ColumnDef& column) {
    script += "subplot(" + std::to_string(rows) + ",1," + std::to_string(position) + ")," +
              column.plotType + "(" + column.name + ExportSuffix(column) + ");\n";
    AppendLabels(script, column);
}

}  // namespace

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

std::string PlotScriptText(const RunState& state) {
    std::set<int32_t> groups;
    for (const RotationGroup& group : state.rotationGroups) {
        if (group.group != 0) {
            groups.insert(group.group);
        }
    }
    const int32_t groupCount = static_cast<int32_t>(groups.size());
    int32_t fftCount = 0;
    int32_t normalisedCount = 0;
    for (const ColumnDef& column : state.columns) {
        if (column.operationType != 0 && column.operationType != 1) {
            ++fftCount;
        }
        if (column.operationType == 1) {
            ++normalisedCount;
        }
    }

    std::string script = "function vuxplots()\n\n";
    script += PlotLoadLine(state.settings.outputPath.value_or(""));

    for (int32_t group : groups) {
        script += "figure;\n";
        for (const ColumnDef& column : state.columns) {
            if (!column.plotType.empty() && column.rotationGroup == group) {
                AppendSubplot(script, 3, column.rotationAxis + 1, column);
            }
        }
    }

    if (fftCount > 3 * groupCount) {
        script += "figure;\n";
        int32_t position = 0;
        for (const ColumnDef& column : state.columns) {
            if (!column.plotType.empty() && column.operationType == 2 && column.rotationGroup == 0) {
                AppendSubplot(script, fftCount, ++position, column);
            }
        }
    }

    if (normalisedCount > 0) {
        script += "figure;\n";
        int32_t position = 0;
        for (const ColumnDef& column : state.columns) {
            if (!column.plotType.empty() && column.operationType == 1 && column.multPerWindow == 0 &&
                column.rotationGroup == 0) {
                AppendSubplot(script, normalisedCount, ++position, column);
            }
        }
    }

    for (const ColumnDef& column : state.columns) {
        if (!column.plotType.empty() && column.operationType != 1 && column.operationType != 2 &&
            column.multPerWindow != 0 && column.rotationGroup == 0) {
            script += "figure,plot(" + column.name + ExportSuffix(column) + ");\n";
            AppendLabels(script, column);
        }
    }
    return script;
}

void WritePlotScript(const RunState& state) {
    std::printf("\nCreating MATLAB autodisplay script...");
    std::fflush(stdout);
    const RunClock::time_point start = RunClock::now();

    const std::string path = PlotScriptPath(state.settings.outputPath.value_or(""));
    const std::string script = PlotScriptText(state);
    ScratchFile file;
    if (const std::string reason = OpenScratchFile(path, file); !reason.empty()) {
        DiscardAndFail(file, ErrorKind::PlotScriptCreate, path, reason);
    }
    errno = 0;
    if (std::fwrite(script.data(), 1, script.size(), file.stream) != script.size()) {
        DiscardAndFail(file, ErrorKind::PlotScriptWrite, path, FailureReason(errno));
    }
    if (const std::string reason = InstallScratchFile(file); !reason.empty()) {
        DiscardAndFail(file, ErrorKind::PlotScriptWrite, path, reason);
    }

    std::printf("done! (took %f seconds)", SecondsSince(start));
}

}  // namespace vux
