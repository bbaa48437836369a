// The tool as a user sees it: whole runs of the built binary in a fresh
// directory, with standard output pinned in golden files under
// tests/run/golden/ (set VUX_UPDATE_GOLDEN=1 to rewrite them after a
// deliberate change, then review the diff).

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "config/config_file.h"
#include "run/command_line.h"
#include "support/config_builder.h"
#include "support/files.h"
#include "run/messages.h"
#include "run/transcript.h"
#include "run/warnings.h"

using namespace vux;

namespace fs = std::filesystem;

namespace {

using test_support::ReadFile;
using test_support::WriteFile;

std::string Quote(const std::string& arg) {
    std::string out = "'";
    for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

class ToolRun : public testing::Test {
protected:
    void SetUp() override {
        binary_ = VUX_BINARY_PATH;
        ASSERT_FALSE(dir_.empty());
    }

    RunResult Run(const std::vector<std::string>& args) {
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on
        // "literal" + temporary string here.
        std::string cmd = "cd ";
        cmd += Quote(dir_.string());
        cmd += " && ";
        cmd += Quote(binary_);
        for (const std::string& a : args) {
            cmd += ' ';
            cmd += Quote(a);
        }
        cmd += " > stdout.txt 2> stderr.txt";
        const int raw = std::system(cmd.c_str());
        RunResult r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = ReadFile(dir_ / "stdout.txt");
        r.err = ReadFile(dir_ / "stderr.txt");
        fs::remove(dir_ / "stdout.txt");
        fs::remove(dir_ / "stderr.txt");
        return r;
    }

    // Compares with tests/run/golden/<name>.stdout.
    void ExpectGolden(const std::string& name, const std::string& actual) {
        const char* src = std::getenv("VUX_SOURCE_DIR");
        ASSERT_NE(src, nullptr);
        const fs::path golden = fs::path(src) / "tests/run/golden" / (name + ".stdout");
        if (std::getenv("VUX_UPDATE_GOLDEN") != nullptr) WriteFile(golden, actual);
        EXPECT_EQ(actual, ReadFile(golden)) << "golden file " << golden;
    }

    std::vector<std::string> Files() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string binary_;
    test_support::ScratchDir scratch_{"vux_run_test"};
    const fs::path& dir_ = scratch_.path;
};

TEST_F(ToolRun, FirstRunWritesTheDefaultConfigurationAndReportsTheMissingInput) {
    const RunResult r = Run({});
    EXPECT_EQ(r.status, 0);
    ExpectGolden("first_run", r.out);
    EXPECT_EQ(Files(), std::vector<std::string>{"vux_reader.cfg"});
}

TEST_F(ToolRun, HelpWordPrintsUsageWhateverFollowsAndTouchesNothing) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-h"}, {"HELP", "a", "b"}, {"-- help", "1", "2", "3", "4", "5", "6"},
          {"--help"}, {"--help", "x.csv"}}) {
        const RunResult r = Run(args);
        EXPECT_EQ(r.status, 255);
        ExpectGolden("usage", r.out);
    }
    EXPECT_TRUE(Files().empty());
}

TEST_F(ToolRun, WrongArgumentCountsPrintUsage) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"a", "b", "c"}, {"a", "b", "c", "d"}, {"1", "2", "3", "4", "5", "6"}}) {
        const RunResult r = Run(args);
        EXPECT_EQ(r.status, 255);
        ExpectGolden("usage", r.out);
    }
    EXPECT_TRUE(Files().empty());
}

TEST_F(ToolRun, VersionPrintsOneLineWhateverFollowsAndTouchesNothing) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--version"}, {"--version", "a.csv", "b.mat", "1"}, {"-V"}, {"-V", "x"}}) {
        const RunResult r = Run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, VersionLine());
    }
    EXPECT_TRUE(Files().empty());
    // A version line that cannot be written is no success.
    const std::string cmd = "cd " + Quote(dir_.string()) + " && " + Quote(binary_) + " -V >/dev/full 2>err.txt";
    const int raw = std::system(cmd.c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 255);
    EXPECT_EQ(ReadFile(dir_ / "err.txt"),
              "vux_reader: error: standard output could not be written: No space left on device\n");
}

TEST_F(ToolRun, NearHelpWordIsTakenAsTheInputPath) {
    const RunResult r = Run({"/?"});
    EXPECT_EQ(r.status, 0);
    ExpectGolden("near_help_word", r.out);
}

// Paths that end in a separator can only come from the configuration (the
// command line refuses them before it is touched).
std::string ConfigWithPaths(const std::string& input, const std::string& output) {
    std::string text(kDefaultConfig);
    const auto set = [&text](const std::string& key, const std::string& value) {
        const size_t at = text.find(key + " = ");
        text.replace(at, text.find('\n', at) - at, key + " = " + value);
    };
    set("DATA_FILE", input);
    set("OUTPUT_FILE", output);
    return text;
}

TEST_F(ToolRun, InputNameEndingInASeparatorIsInvalidBeforeTheOutputIsLookedAt) {
    for (const std::string input : {"data/", "C:\\data\\"}) {
        WriteFile(dir_ / "vux_reader.cfg", ConfigWithPaths(input, "out/"));
        const RunResult r = Run({});
        EXPECT_EQ(r.status, 255);
        ExpectGolden("invalid_input_name", r.out);
    }
}

TEST_F(ToolRun, OutputNameEndingInASeparatorIsInvalid) {
    WriteFile(dir_ / "vux_reader.cfg", ConfigWithPaths("data/run1.csv", "results\\"));
    const RunResult r = Run({});
    EXPECT_EQ(r.status, 255);
    ExpectGolden("invalid_output_name", r.out);
}

TEST_F(ToolRun, MissingInputIsReportedAfterTheRewrite) {
    const RunResult r = Run({"data/run1.csv", "out.mat"});
    EXPECT_EQ(r.status, 0);
    ExpectGolden("missing_input_after_rewrite", r.out);
    const std::string cfg = ReadFile(dir_ / "vux_reader.cfg");
    EXPECT_NE(cfg.find("DATA_FILE = data/run1.csv\n"), std::string::npos);
    EXPECT_NE(cfg.find("OUTPUT_FILE = out.mat\n"), std::string::npos);
    EXPECT_EQ(Files(), std::vector<std::string>{"vux_reader.cfg"});  // recfg is gone
}

// `text` with `from` replaced by `to` once (which must be there).
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// Standard output with the figures that change from run to run masked.
std::string MaskTimings(const std::string& out) {
    std::string masked = std::regex_replace(out, std::regex("[0-9.]+s elapsed"), "<T>s elapsed");
    masked = std::regex_replace(masked, std::regex("Remaining [-0-9.a-z]+s"), "Remaining <T>s");
    masked = std::regex_replace(masked, std::regex("took [0-9.]+ seconds"), "took <T> seconds");
    return std::regex_replace(masked, std::regex("processing time: [0-9.]+s"), "processing time: <T>s");
}

// A messy recording: a short row, an "N/A" field, a time step of twice
// 1 / SAMPLE_FREQ and an equation reading a misspelt channel. The run ends
// as a clean one would, with the same console transcript, MAT-file and plot
// script as its twin (the same values written cleanly), and one warning of
// each kind on the error stream.
TEST_F(ToolRun, MessyDataIsReportedOnTheErrorStreamOnly) {
    std::vector<std::string> rows;
    char row[160];
    for (int i = 0; i < 15000; ++i) {
        std::snprintf(row, sizeof row, "%.5f,%.4f,%.4f,%.4f,%+.6f,%+.6f,%+.6f,%+.6f,%+.6f,%+.6f", i * 0.0002,
                      1790 + i % 7 * 0.5, -1450 - i % 5 * 0.25, 170 + i % 3 * 0.125, 14.0 + i % 11, -13.5 + i % 13,
                      12.0 + i % 17, 12.5 - i % 19, -15.0 + i % 23, -104.0 + i % 29);
        rows.push_back(row);
    }
    const std::string header =
        "VUX-2 export\r\nFlight,T-17\r\nData Starts Here,,,,,,,,,,,,,,,,,,,\r\n"
        "Time (s),Pressure (mV),Temp (mV),Humidity (mV),Gyro X,Gyro Y,Gyro Z,Acc X,Acc Y,Acc Z,\r\n";
    auto file = [&](const std::string& firstRow, const std::string& fiftyThirdRow) {
        std::string text = header;
        for (size_t i = 0; i < rows.size(); ++i) text += (i == 0 ? firstRow : i == 52 ? fiftyThirdRow : rows[i]) + "\r\n";
        return text;
    };
    // Line 5 holds the first row. In the first window a missing field reads
    // as 0: the clean twin writes the 0s, the messy file drops them and pads
    // a field with blanks so every byte offset stays the same.
    size_t seventhComma = 0;
    for (int k = 0; k < 7; ++k) seventhComma = rows[52].find(',', seventhComma + 1);
    const std::string cut = rows[52].substr(0, seventhComma);  // seven of ten fields
    const std::string zeros = ",0,0,0";
    std::string messyRow = cut;
    messyRow.insert(cut.rfind(',') + 1, zeros.size(), ' ');
    const std::string messyFirst = Replaced(rows[0], ",1790.0000,", ",N/A,");
    const std::string cleanFirst = Replaced(rows[0], ",1790.0000,", ",0.0,");
    ASSERT_EQ(messyFirst.size(), cleanFirst.size());

    const std::string equation = "0, SENSOR_PRES = (PRES + ADC_OFFSET - 500)";
    struct Outcome {
        RunResult run;
        std::string mat;
        std::string script;
    };
    auto runOn = [&](const std::string& data, const std::string& pressureTerm) {
        WriteFile(dir_ / "data.csv", data);
        WriteFile(dir_ / "vux_reader.cfg",
                  Replaced(std::string(kDefaultConfig), equation, Replaced(equation, "(PRES ", "(" + pressureTerm + " ")));
        Outcome o{Run({"data.csv", "out.mat"}), ReadFile(dir_ / "out.mat"), ReadFile(dir_ / "vuxplots.m")};
        if (o.mat.size() > 76) o.mat.replace(52, 24, 24, '.');  // the creation date
        return o;
    };
    const Outcome messy = runOn(file(messyFirst, messyRow), "PRESS");
    const Outcome clean = runOn(file(cleanFirst, cut + zeros), "0");

    EXPECT_EQ(messy.run.status, 10);
    EXPECT_EQ(clean.run.status, 10);
    EXPECT_EQ(MaskTimings(messy.run.out), MaskTimings(clean.run.out));
    EXPECT_NE(messy.run.out.find("Analysis complete"), std::string::npos);
    EXPECT_EQ(messy.mat, clean.mat);
    EXPECT_FALSE(messy.mat.empty());
    EXPECT_EQ(messy.script, clean.script);

    const std::string timeBase =
        "vux_reader: warning: time base: TIME advances by 0.0002 per row on average over 15000 rows (5000 Hz) but "
        "SAMPLE_FREQ = 10000 Hz\n";
    EXPECT_EQ(messy.run.err,
              "vux_reader: warning: equation SENSOR_PRES reads PRESS, which no constant above it, no column and "
              "no equation sets: it reads 0\n"
              "vux_reader: warning: 1 row of data.csv has fewer fields than the 10 configured columns (line 57); "
              "a missing field keeps the value an earlier window left in its place, or 0\n"
              "vux_reader: warning: column PRES: 1 field is not a number (line 5: \"N/A\"); it reads as its "
              "leading number, 0 when it has none\n" +
                  timeBase);
    EXPECT_EQ(clean.run.err, timeBase);
}

// Lines longer than 16 MiB (a recorder's stretch of NUL bytes, a row run
// together) are no rows: the run skips them, says so once on the error
// stream with the line of the first, and gives the results of the file
// without them; only the figures that follow the file's size differ.
TEST_F(ToolRun, LinesOver16MiBAreSkippedWithAWarning) {
    std::vector<std::string> rows;
    char row[160];
    for (int i = 0; i < 1000; ++i) {
        std::snprintf(row, sizeof row, "%.4f,%.4f,%.4f,%.4f,%+.6f,%+.6f,%+.6f,%+.6f,%+.6f,%+.6f\r\n", i * 0.0001,
                      1790 + i % 7 * 0.5, -1450 - i % 5 * 0.25, 170 + i % 3 * 0.125, 14.0 + i % 11, -13.5 + i % 13,
                      12.0 + i % 17, 12.5 - i % 19, -15.0 + i % 23, -104.0 + i % 29);
        rows.push_back(row);
    }
    const std::string header =
        "VUX-2 export\r\nFlight,T-17\r\nData Starts Here,,,,,,,,,,,,,,,,,,,\r\n"
        "Time (s),Pressure (mV),Temp (mV),Humidity (mV),Gyro X,Gyro Y,Gyro Z,Acc X,Acc Y,Acc Z,\r\n";
    const size_t over = (size_t{16} << 20) + 1;  // bytes before the line end
    std::string clean = header;
    std::string spoilt = header;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i == 250) spoilt += std::string(over, '\0') + "\n";  // line 255
        if (i == 700) spoilt += rows[i].substr(0, rows[i].size() - 2) + "," + std::string(over, '7') + "\r\n";
        clean += rows[i];
        spoilt += rows[i];
    }
    WriteFile(dir_ / "vux_reader.cfg",
              Replaced(std::string(kDefaultConfig), "WINDOW_SIZE = 10000", "WINDOW_SIZE = 100"));
    const auto runOn = [&](const std::string& data) {
        WriteFile(dir_ / "data.csv", data);
        RunResult r = Run({"data.csv", "out.mat"});
        r.out = std::regex_replace(MaskTimings(r.out), std::regex("(Data file size: |Estimated number of windows: |"
                                                                  "Remaining )[^\r\n]*"),
                                   "$1<size>");
        std::string mat = ReadFile(dir_ / "out.mat");
        if (mat.size() > 76) mat.replace(52, 24, 24, '.');  // the creation date
        return std::make_pair(r, mat + ReadFile(dir_ / "vuxplots.m"));
    };
    const auto [spoiltRun, spoiltFiles] = runOn(spoilt);
    const auto [cleanRun, cleanFiles] = runOn(clean);
    EXPECT_EQ(spoiltRun.status, 10);
    EXPECT_EQ(cleanRun.status, 10);
    EXPECT_EQ(spoiltRun.out, cleanRun.out);
    EXPECT_TRUE(spoiltFiles == cleanFiles);
    EXPECT_EQ(spoiltRun.err,
              "vux_reader: warning: 2 lines of data.csv are longer than 16 MiB and were skipped (first at line 255)\n");
    EXPECT_EQ(cleanRun.err, "");
}

// The wording of the warnings that a whole run above does not show: one line
// over the row limit, counts above one, field text escaped and cut, names
// MATLAB cannot load, a WINDOW_SIZE beyond the file's rows, and a VUX_THREADS
// that is ignored.
TEST(Warnings, WordingOfCountsFieldTextNamesAndWindowSize) {
    test_support::ConfigText configText;
    configText.strings = "DATA_FILE = f.csv\n";
    configText.Window(100, 10).WindowFunction("1");
    configText.Column("TIME, 1, 0, 0, 0").Column("2nd-axis, 1, 2, 0, 1").Column("RAW, 1, 0, 0, 0");  // _pwr
    const RunConfig state = configText.Evaluate();
    EXPECT_EQ(ConfigurationWarnings(state),
              std::vector<std::string>{"vux_reader: warning: column 2nd-axis: MATLAB cannot load its vector "
                                       "2nd-axis_pwr (a name needs a letter first, then letters, digits or _, at "
                                       "most 63 characters)"});

    ReduceResult outcome;
    outcome.processedWindows = 1;
    DataQuality& q = outcome.quality;
    q.rows = 40;
    q.shortRows = 3;
    q.firstShortLine = 9;
    q.overlongLines = 1;
    q.firstOverlongLine = 4;
    q.fields.resize(3);
    const std::string text = std::string("a\"b\\c\r\x01\xff") + std::string(30, 'z');
    q.fields[2] = FieldFaults{2, 11, {}, 32, true};
    std::copy_n(text.begin(), 32, q.fields[2].firstText.begin());
    q.meanStep = 0.1009;  // within 1 % of 1 / SAMPLE_FREQ
    q.steppedRows = 40;
    EXPECT_EQ(DataWarnings(state, outcome),
              (std::vector<std::string>{
                  "vux_reader: warning: 1 line of f.csv is longer than 16 MiB and was skipped (line 4)",
                  "vux_reader: warning: 3 rows of f.csv have fewer fields than the 3 configured columns (first "
                  "at line 9); a missing field keeps the value an earlier window left in its place, or 0",
                  "vux_reader: warning: column RAW: 2 fields are not numbers (first at line 11: "
                  "\"a\\\"b\\\\c\\x0d\\x01\\xff" + std::string(24, 'z') +
                      "\"...); each reads as its leading number, 0 when it has none",
                  "vux_reader: warning: WINDOW_SIZE 100 is larger than the 40 rows f.csv holds"}));

    const int32_t cpus = ChooseThreads(nullptr).threads;
    EXPECT_EQ(ThreadWarnings("4 ", ChooseThreads("4 ")),
              std::vector<std::string>{"vux_reader: warning: VUX_THREADS=\"4 \" is not a whole number from 1 to 256 "
                                       "and is ignored: reading on " + std::to_string(cpus) + " threads"});
}

}  // namespace

namespace {

// Whole runs whose files hide something: each prints its warnings on the
// error stream and nothing else changes (status 10). A clean file prints none.
TEST_F(ToolRun, EdgesOfTheInputsAreWarnedOnTheErrorStream) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> edits;  // configuration text replaced
        double rate;                                              // of the rows' time stamps, Hz
        std::string err;
    };
    const std::string w = "vux_reader: warning: ";
    const std::vector<Case> cases = {
        {"clean", {}, 100, ""},
        // 5-decimal stamps of a 9600 Hz recording step by 0.00010 or 0.00011.
        {"rate 4 % off", {{"SAMPLE_FREQ = 100", "SAMPLE_FREQ = 10000"}}, 9600,
         w + "time base: T advances by 0.000104211 per row on average over 20 rows (9595.96 Hz) but SAMPLE_FREQ = "
             "10000 Hz\n"},
        {"constants",
         {{"THETA_X = 0", "THETA_X = 12abc"}, {"THETA_Y = 0", "THETA_Y\t=\t0"}},
         100,
         w + "vux_reader.cfg line 8, \"THETA_X = 12abc\": the value is not wholly a number; it reads as 12\n" + w +
             "vux_reader.cfg line 9, \"THETA_Y\\x09=\\x090\": the constant's name holds a control character, so it "
             "is no key of the name it looks like\n" +
             w + "vux_reader.cfg has no THETA_Y line in #CONSTANTS: -1 degrees used\n"},
        {"odd window", {{"WINDOW_SIZE = 8", "WINDOW_SIZE = 5"}}, 100,
         w + "WINDOW_SIZE 5 is odd: every window is processed and transformed on its first 4 rows, so the "
             "spectra's bins are 25 Hz apart\n"},
        {"more windows than values", {{"WINDOW_SIZE = 8", "WINDOW_SIZE = 2"}}, 100,
         w + "column P is read once per window with operation 0: only the first 2 of its 10 per-window values are "
             "exported (P_out) and its mean is not computed\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string config = "%" + std::string(1000, '-') +
                             "\n#STRINGS\nDATA_FILE = data.csv\nOUTPUT_FILE = out.mat\n#CONSTANTS\n"
                             "WINDOW_SIZE = 8\nSAMPLE_FREQ = 100\nTHETA_X = 0\nTHETA_Y = 0\nTHETA_Z = 0\n"
                             "#WINDOW_FUNCTION\nWINDOW_FUNCTION = 1\n#EQUATIONS\n#COLUMNS\n"
                             "T, 1, 0, 0, 0\nA, 1, 2, 1x0, 1\nB, 1, 2, 1y0, 1\nC, 1, 2, 1z0, 1\nP, 0, 0, 0, 0\n"
                             "#MATLAB\n#ENDCFG\n";
        for (const auto& [from, to] : c.edits) config = Replaced(config, from, to);
        WriteFile(dir_ / "vux_reader.cfg", config);
        std::string data = "Data Starts Here,,,,,,,,,,,,,,,,,,,\nT,A,B,C,P\n";
        char row[96];
        for (int i = 0; i < 20; ++i) {
            std::snprintf(row, sizeof row, "%.5f,%d,%d,%d,%d\n", i / c.rate, i % 3, i % 5, i % 7, i);
            data += row;
        }
        WriteFile(dir_ / "data.csv", data);
        const RunResult r = Run({});
        EXPECT_EQ(r.status, 10) << r.out;
        EXPECT_EQ(r.err, c.err);
    }
}

}  // namespace
