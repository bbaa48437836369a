#include "output/history_script.h"

#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "core/paths.h"
#include "output/history_file.h"
#include "output/plot_script.h"

namespace vux {
namespace {

// A quoted MATLAB text (built piece by piece: GCC 12 warns falsely
// (-Wrestrict) on a literal + a temporary string).
std::string Text(const std::string& text) {
    std::string out = "'";
    out += MatlabQuoted(text);
    out += '\'';
    return out;
}

const ColumnSpec& ColumnOf(const RunConfig& config, const HistoryVector& vector) {
    return config.columns[static_cast<size_t>(vector.column)];
}

std::string TitleOf(const RunConfig& config, const HistoryVector& vector) {
    const ColumnSpec& column = ColumnOf(config, vector);
    return column.plotTitle.empty() ? vector.name : column.plotTitle;
}

std::string PsdUnitOf(const RunConfig& config, const HistoryVector& vector) {
    const ColumnSpec& column = ColumnOf(config, vector);
    return column.yLabel.empty() ? std::string("unit^2/Hz") : column.yLabel;
}

// The vectors drawn together: a rotation group's (subplot row axis + 1) or
// one unrotated vector's.
struct Figure {
    int32_t rows = 1;
    std::string title;  // of its RMS subplot
    std::vector<std::pair<int32_t, const HistoryVector*>> panels;  // subplot row, vector
};

std::vector<Figure> FiguresOf(const RunConfig& config, const TimeHistoryData& history) {
    std::map<int32_t, Figure> groups;
    std::vector<Figure> single;
    for (const HistoryVector& vector : history.vectors) {
        if (config.columns[static_cast<size_t>(vector.column)].plotType.empty()) continue;
        if (vector.group == 0) {
            Figure figure;
            figure.title = TitleOf(config, vector);
            figure.panels.emplace_back(1, &vector);
            single.push_back(std::move(figure));
        } else {
            Figure& figure = groups[vector.group];
            figure.rows = 3;
            figure.title = "Rotation group " + std::to_string(vector.group);
            figure.panels.emplace_back(vector.axis + 1, &vector);
        }
    }
    std::vector<Figure> figures;
    for (auto& [number, figure] : groups) figures.push_back(std::move(figure));
    for (Figure& figure : single) figures.push_back(std::move(figure));
    return figures;
}

const char* const kHelpers = R"(
% One spectrogram: each full window over its own time, each bin (from bin 1:
% 0 Hz has no place on a log axis) over its own width.
function spectrogram_panel(rows, position, t, dt, f, psd, unit, name)
  subplot(rows, 1, position);
  if isempty(t) || numel(f) < 2
    title([name ': no full window']);
    return;
  end
  df = f(2) - f(1);
  fEdges = [f(2:end) - df / 2; f(end) + df / 2];
  tEdges = [t(:); t(end) + dt];
  level = 10 * log10(double(psd(2:end, :)));
  level(~isfinite(level)) = NaN;
  level(end + 1, end + 1) = NaN;
  pcolor(tEdges, fEdges, level);
  shading flat;
  set(gca, 'YScale', 'log');
  axis tight;
  xlabel('Time (s)');
  ylabel('Frequency (Hz)');
  scale = colorbar;
  ylabel(scale, ['dB re 1 ' unit]);
  title(name);
end

% The peak hold over the full windows against the flight's average.
function peak_panel(rows, position, f, peak, average, unit, name)
  subplot(rows, 1, position);
  if numel(f) < 2
    title([name ': no bins']);
    return;
  end
  loglog(f(2:end), peak(2:end), f(2:end), average(2:end));
  legend('peak hold', 'average');
  xlabel('Frequency (Hz)');
  ylabel(unit);
  title([name ' peak hold']);
end
)";

}  // namespace

std::string HistoryScriptPath(const std::string& outputPath) {
    return outputPath.substr(0, FileNameStart(outputPath)) + "vuxhistory.m";
}

std::string HistoryScriptText(const RunConfig& config, const TimeHistoryData& history) {
    const std::string output = config.settings.outputPath.value_or("");
    std::string script = "function vuxhistory()\n\n";
    script += PlotLoadLine(output);
    script += PlotLoadLine(HistoryPath(output));
    char dt[64];
    std::snprintf(dt, sizeof dt, "%.17g", static_cast<double>(config.settings.windowSize) / config.settings.sampleFreq);
    script += "dt = " + std::string(dt) + ";  % seconds per window: WINDOW_SIZE / SAMPLE_FREQ\n";

    const std::vector<Figure> figures = FiguresOf(config, history);
    for (const Figure& figure : figures) {
        script += "figure;\n";
        for (const auto& [row, vector] : figure.panels) {
            script += "spectrogram_panel(" + std::to_string(figure.rows) + ", " + std::to_string(row) +
                      ", TIME_S, dt, FREQ_HZ, " + vector->name + "_t, " + Text(PsdUnitOf(config, *vector)) + ", " +
                      Text(TitleOf(config, *vector)) + ");\n";
        }
    }
    for (const Figure& figure : figures) {
        script += "figure;\n";
        for (const auto& [row, vector] : figure.panels) {
            script += "peak_panel(" + std::to_string(figure.rows) + ", " + std::to_string(row) + ", FREQ_HZ, " +
                      vector->name + "_max, " + vector->name + ", " + Text(PsdUnitOf(config, *vector)) + ", " +
                      Text(TitleOf(config, *vector)) + ");\n";
        }
    }
    if (!figures.empty()) {
        script += "figure;\n";
        for (size_t f = 0; f < figures.size(); ++f) {
            std::string values;
            std::string names;
            for (const auto& [row, vector] : figures[f].panels) {
                values += (values.empty() ? "" : ", ") + vector->name + "_rms";
                names += ", " + Text(vector->name);
            }
            script += "subplot(" + std::to_string(figures.size()) + ", 1, " + std::to_string(f + 1) +
                      "), plot(TIME_S, [" + values + "], '.-');\n";
            script += "set(legend(" + names.substr(2) +
                      "), 'interpreter', 'none'), xlabel('Time (s)'), ylabel('RMS per window'), title(" +
                      Text(figures[f].title) + ");\n";
        }
    }
    script += "end\n";
    script += kHelpers;
    return script;
}

void WriteHistoryScript(const RunConfig& config, const TimeHistoryData& history, OutputSet& outputs) {
    AddWholeFile(outputs, HistoryScriptPath(config.settings.outputPath.value_or("")),
                 HistoryScriptText(config, history),
                 {ErrorKind::PlotScriptCreate, ErrorKind::PlotScriptDirectory, ErrorKind::PlotScriptWrite});
}
}  // namespace vux
