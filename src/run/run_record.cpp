#include "run/run_record.h"

#include <cstdio>

#include "config/config_checks.h"
#include "core/json.h"
#include "output/export.h"
#include "output/history_file.h"
#include "output/history_script.h"

namespace vux {
namespace {

// "2026-12-09T05:02:50.123456789Z".
std::string UtcText(const timespec& time) {
    struct tm parts {};
    const time_t seconds = time.tv_sec;
    gmtime_r(&seconds, &parts);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%09ldZ", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, static_cast<long>(time.tv_nsec));
    return text;
}

const char* SamplingName(Sampling sampling) {
    if (IsOncePerWindow(sampling)) return "once per window";
    if (IsEverySample(sampling)) return "every sample";
    return "not read";
}

const char* OperationName(Operation operation) {
    if (IsFftType(operation)) return "fft";
    if (IsNormalised(operation)) return "normalise";
    if (operation == Operation::None) return "none";
    return "other";
}

// What one step along an exported vector means.
void WriteAxis(JsonWriter& json, const RunConfig& config, const ReduceResult& result, const ColumnSpec& column) {
    const RunSettings& s = config.settings;
    const ExportKind kind = ExportKindOf(column);
    json.Key("axis").BeginObject();
    if (kind == ExportKind::Rotated || kind == ExportKind::Spectrum) {
        json.Key("kind").String("frequency").Key("unit").String("Hz").Key("start").Number(0.0);
        json.Key("step").Number(static_cast<double>(s.sampleFreq) / TransformLength(s.windowSize));
    } else if (IsOncePerWindow(column.sampling)) {
        // Element w holds window w's value, stamped at that window's start.
        json.Key("kind").String("window").Key("unit").String("s").Key("start").Number(result.firstWindowStart);
        json.Key("step").Number(static_cast<double>(s.windowSize) / s.sampleFreq);
    } else {
        json.Key("kind").String("sample").Key("unit").String("sample").Key("start").Number(0.0);
        json.Key("step").Number(1.0);
    }
    json.EndObject();
}

void WriteColumn(JsonWriter& json, const RunConfig& config, const ReduceResult& result, size_t c) {
    const ColumnSpec& column = config.columns[c];
    json.BeginObject();
    json.Key("name").String(column.name);
    json.Key("heading");
    if (c < result.headings.size()) json.String(result.headings[c]); else json.Null();
    json.Key("sampling").Integer(static_cast<int32_t>(column.sampling));
    json.Key("sampling_name").String(SamplingName(column.sampling));
    json.Key("operation").Integer(static_cast<int32_t>(column.operation));
    json.Key("operation_name").String(OperationName(column.operation));
    json.Key("division_factor");
    if (IsFftType(column.operation)) json.Number(column.divisionFactor); else json.Null();
    json.Key("rotation");
    if (IsRotated(column)) {
        static constexpr const char* kAxes[] = {"x", "y", "z"};
        json.BeginObject().Key("group").Integer(column.rotationGroup);
        json.Key("axis").String(column.rotationAxis >= 0 && column.rotationAxis <= 2 ? kAxes[column.rotationAxis] : "");
        json.EndObject();
    } else {
        json.Null();
    }
    const ExportChoice exported = ChooseExport(config, result, c);
    json.Key("variable").BeginObject();
    json.Key("name").String(exported.name).Key("length").Integer(exported.count);
    WriteAxis(json, config, result, column);
    json.EndObject();
    json.Key("plot").BeginObject();
    json.Key("type").String(column.plotType).Key("x_label").String(column.xLabel);
    json.Key("y_label").String(column.yLabel).Key("title").String(column.plotTitle);
    json.EndObject();
    const ColumnStats stats = c < result.stats.size() ? result.stats[c] : ColumnStats{};
    json.Key("stats").BeginObject();
    json.Key("max").Number(stats.max).Key("time_of_max").Number(stats.timeOfMax);
    json.Key("min").Number(stats.min).Key("time_of_min").Number(stats.timeOfMin);
    json.Key("mean").Number(stats.mean);
    json.EndObject();
    json.EndObject();
}

void WriteQuality(JsonWriter& json, const RunConfig& config, const ReduceResult& result) {
    const DataQuality& q = result.quality;
    json.Key("data_quality").BeginObject();
    json.Key("rows").Unsigned(q.rows);
    json.Key("short_rows").Unsigned(q.shortRows).Key("first_short_line").Unsigned(q.firstShortLine);
    json.Key("fields_not_numbers").BeginArray();
    for (size_t c = 0; c < q.fields.size() && c < config.columns.size(); ++c) {
        const FieldFaults& f = q.fields[c];
        if (f.count == 0) continue;
        json.BeginObject().Key("column").String(config.columns[c].name).Key("count").Unsigned(f.count);
        json.Key("first_line").Unsigned(f.firstLine);
        json.Key("first_text").String(std::string_view(f.firstText.data(), f.firstLength));
        json.Key("first_text_cut").Bool(f.firstCut).EndObject();
    }
    json.EndArray();
    json.Key("overlong_lines").Unsigned(q.overlongLines).Key("first_overlong_line").Unsigned(q.firstOverlongLine);
    json.Key("mean_step").Number(q.meanStep).Key("stepped_rows").Unsigned(q.steppedRows);
    json.Key("constant_lines").BeginArray();
    for (const ConstantLineFault& f : config.constantFaults) {
        json.BeginObject().Key("line").Unsigned(f.line).Key("text").String(f.text).Key("value").Number(f.value);
        json.Key("name_has_control").Bool(f.nameHasControl).Key("value_not_a_number").Bool(f.valueNotANumber);
        json.EndObject();
    }
    json.EndArray();
    json.Key("unset_names").BeginArray();
    for (const UnsetName& unset : FindUnsetNames(config)) {
        static constexpr const char* kRoles[] = {"window function", "equation", "column"};
        json.BeginObject().Key("read_by").String(kRoles[static_cast<int>(unset.role)]);
        json.Key("expression").String(unset.expression).Key("name").String(unset.name).EndObject();
    }
    json.EndArray();
    json.EndObject();
}

const char* AxisName(HistoryAxis axis) {
    switch (axis) {
        case HistoryAxis::Frequency: return "frequency";
        case HistoryAxis::Window: return "window";
        case HistoryAxis::Band: return "band";
        case HistoryAxis::None: break;
    }
    return "none";
}

// One dimension of a history matrix: what runs along it, its unit and the
// matrix that holds the position of each step (null for a single step).
void WriteHistoryAxis(JsonWriter& json, HistoryAxis axis, int32_t length) {
    json.BeginObject().Key("kind").String(AxisName(axis)).Key("length").Integer(length);
    json.Key("unit");
    if (axis == HistoryAxis::None) json.Null(); else json.String(axis == HistoryAxis::Window ? "s" : "Hz");
    static constexpr const char* kValues[] = {nullptr, "FREQ_HZ", "TIME_S", "OCT_HZ"};
    json.Key("values");
    if (axis == HistoryAxis::None) json.Null(); else json.String(kValues[static_cast<int>(axis)]);
    json.EndObject();
}

struct RoleText {
    const char* holds;
    const char* unit;  // "unit" stands for the column's engineering unit
};

RoleText TextOf(HistoryRole role) {
    switch (role) {
        case HistoryRole::Frequency: return {"frequency of each bin", "Hz"};
        case HistoryRole::Time: return {"start time of each full window (the first column's value in its first row)", "s"};
        case HistoryRole::BandCentre: return {"centre frequency of each 1/3-octave band", "Hz"};
        case HistoryRole::Psd: return {"one-sided PSD of each full window, scaled and rotated as the vector", "unit^2/Hz"};
        case HistoryRole::PeakHold: return {"largest PSD of each bin over the full windows", "unit^2/Hz"};
        case HistoryRole::Rms: return {"overall RMS of each full window, from its PSD, corrected for the window function's power", "unit"};
        case HistoryRole::BandRms: return {"RMS of each 1/3-octave band in each full window, corrected for the window function's power", "unit"};
    }
    return {"", ""};
}

const char* RoleName(HistoryRole role) {
    static constexpr const char* kNames[] = {"frequency", "time", "band_centre", "psd", "peak_hold", "rms", "band_rms"};
    return kNames[static_cast<int>(role)];
}

void WriteHistory(JsonWriter& json, const RunConfig& config, const TimeHistoryData& history) {
    const std::string output = config.settings.outputPath.value_or("");
    json.Key("history").BeginObject();
    json.Key("mat_file").String(HistoryPath(output)).Key("plot_script").String(HistoryScriptPath(output));
    json.Key("full_windows").Integer(history.windows).Key("last_window_left_out").Bool(history.lastWindowLeftOut);
    json.Key("bins").Integer(history.bins).Key("bin_hz").Number(history.binHz);
    json.Key("transform_length").Integer(history.transformLength);
    json.Key("bands").Integer(history.bands).Key("window_mean_square").Number(history.windowMeanSquare);
    json.Key("vectors").BeginArray();
    for (const HistoryVector& vector : history.vectors) {
        static constexpr const char* kAxes[] = {"x", "y", "z"};
        json.BeginObject().Key("name").String(vector.name);
        json.Key("column").String(config.columns[static_cast<size_t>(vector.column)].name);
        json.Key("rotation");
        if (vector.group != 0) {
            json.BeginObject().Key("group").Integer(vector.group).Key("axis").String(kAxes[vector.axis]).EndObject();
        } else {
            json.Null();
        }
        json.EndObject();
    }
    json.EndArray();
    json.Key("variables").BeginArray();
    for (const HistoryMatrix& matrix : history.matrices) {
        const RoleText text = TextOf(matrix.role);
        json.BeginObject().Key("name").String(matrix.name).Key("role").String(RoleName(matrix.role));
        json.Key("vector");
        if (matrix.vector >= 0) json.String(history.vectors[static_cast<size_t>(matrix.vector)].name); else json.Null();
        json.Key("class").String(matrix.single ? "single" : "double");
        json.Key("rows").Integer(matrix.rows).Key("cols").Integer(matrix.cols);
        json.Key("row_axis");
        WriteHistoryAxis(json, matrix.rowAxis, matrix.rows);
        json.Key("col_axis");
        WriteHistoryAxis(json, matrix.colAxis, matrix.cols);
        json.Key("unit").String(text.unit).Key("holds").String(text.holds);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
}

}  // namespace

std::string RunRecordPath(const std::string& matPath) {
    const std::string suffix = ".mat";
    if (matPath.size() >= suffix.size() && matPath.compare(matPath.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return matPath.substr(0, matPath.size() - suffix.size()) + ".json";
    }
    return matPath + ".json";
}

int32_t TransformLength(int32_t windowSize) { return windowSize - windowSize % 2; }

std::string RunRecordText(const RunConfig& config, const ReduceResult& result, const RunFacts& facts) {
    const RunSettings& s = config.settings;
    JsonWriter json;
    json.BeginObject();
    json.Key("record").String("vux_reader run record").Key("record_version").Integer(1);
    json.Key("tool").BeginObject().Key("name").String("vux_reader").Key("version").String(VUX_VERSION).EndObject();
    json.Key("status").Integer(10);
    json.Key("started_utc").String(UtcText(facts.started));
    json.Key("wall_seconds").Number(facts.wallSeconds);
    json.Key("threads").Integer(facts.threads);

    json.Key("input").BeginObject();
    json.Key("path").String(s.inputPath.value_or("")).Key("absolute_path").String(facts.inputAbsolute);
    json.Key("size_bytes").Unsigned(facts.inputSize).Key("modified_utc").String(UtcText(facts.inputModified));
    json.Key("rows").Unsigned(result.quality.rows).Key("windows").Integer(result.processedWindows);
    json.Key("last_window_rows").Integer(result.lastWindowRows);
    json.Key("xxh128").String(facts.inputDigest);
    json.EndObject();

    json.Key("settings").BeginObject();
    json.Key("window_size").Integer(s.windowSize).Key("sample_freq_hz").Integer(s.sampleFreq);
    json.Key("transform_length").Integer(TransformLength(s.windowSize));
    json.Key("bin_hz").Number(static_cast<double>(s.sampleFreq) / TransformLength(s.windowSize));
    json.Key("theta_x_deg").Number(s.thetaX).Key("theta_y_deg").Number(s.thetaY).Key("theta_z_deg").Number(s.thetaZ);
    json.Key("constants").BeginArray();
    for (const ConstEntry& entry : config.consts.entries) {
        json.BeginObject().Key("name").String(entry.name).Key("value").Number(entry.value).EndObject();
    }
    json.EndArray();
    json.EndObject();

    json.Key("columns").BeginArray();
    for (size_t c = 0; c < config.columns.size(); ++c) WriteColumn(json, config, result, c);
    json.EndArray();

    WriteQuality(json, config, result);
    json.Key("warnings").BeginArray();
    for (const std::string& line : facts.warnings) json.String(line);
    json.EndArray();

    json.Key("outputs").BeginObject();
    json.Key("mat_file").String(s.outputPath.value_or(""));
    json.Key("mat_xxh128").String(facts.matDigest);
    json.Key("plot_script").String(facts.plotScriptPath);
    json.Key("record").String(RunRecordPath(s.outputPath.value_or("")));
    json.EndObject();
    if (facts.history != nullptr) WriteHistory(json, config, *facts.history);
    json.EndObject();
    return json.Text();
}
}  // namespace vux
