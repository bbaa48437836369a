#include "config/evaluate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

#include "config/config_checks.h"
#include "config/config_file.h"
#include "test_util.h"
#include "support/config_builder.h"
#include "support/expect.h"

using namespace vux;

namespace {

using config_test::ExpectStop;

std::string Items(const CompiledExpr& expr, const VarTable& vars) { return test_support::RenderItems(expr, vars); }

std::string Text(double value) {
    std::ostringstream s;
    s.precision(17);
    s << value;
    return s.str();
}

// The whole run state as text, one fact per line.
std::string Describe(const RunConfig& state) {
    std::ostringstream s;
    const RunSettings& r = state.settings;
    s << "in " << r.inputPath.value_or("<absent>") << "\nout " << r.outputPath.value_or("<absent>")
      << "\nsize " << r.windowSize << " freq " << r.sampleFreq << " pi " << Text(r.pi)
      << " adc " << Text(r.adcOffset) << " theta " << r.thetaX << " " << r.thetaY << " "
      << r.thetaZ << "\n";
    for (const ConstEntry& c : state.consts.entries) s << "const " << c.name << " " << Text(c.value) << "\n";
    s << "vars";
    for (const VarEntry& v : state.vars.entries) s << " " << v.name;
    s << "\n";
    if (state.windowFunction) {
        s << "window " << state.windowFunction->name << ": "
          << Items(*state.windowFunction, state.vars) << "\n";
    }
    if (state.shortWindowFunction) {
        s << "short " << state.shortWindowFunction->name << ": "
          << Items(*state.shortWindowFunction, state.vars) << "\n";
    }
    for (const CompiledExpr& e : state.equations) {
        s << "eq " << e.mode << " " << e.name << ": " << Items(e, state.vars) << "\n";
    }
    for (const ColumnSpec& c : state.columns) {
        s << "col " << c.name << " " << static_cast<int>(c.sampling) << " " << static_cast<int>(c.operation) << " "
          << c.rotationGroup << " " << c.rotationAxis << " ";
        if (!HasEquation(c.operation)) s << "/" << Text(c.divisionFactor);
        else s << c.normExpr.name << ": " << Items(c.normExpr, state.vars);
        if (c.varIndex < 0 || state.vars.entries.at(c.varIndex).name != c.name) s << " BADVAR";
        s << " [" << c.plotType << "|" << c.xLabel << "|" << c.yLabel << "|" << c.plotTitle << "]\n";
    }
    for (const RotationGroupSpec& g : state.rotationGroups) {
        s << "group " << g.group << " " << g.offsetX << " " << g.offsetY << " " << g.offsetZ << "\n";
    }
    return s.str();
}

// Evaluates `text`; `steps` receives the steps told on the way ("eval",
// each section's number, "done").
RunConfig Evaluate(std::string_view text, std::string* steps = nullptr) {
    std::string told;
    RunConfig config = EvaluateConfig(test_support::TextFile(text), [&](const ConfigNote& note) {
        if (!told.empty()) told += ' ';
        if (note.step == ConfigStep::Evaluating) told += "eval";
        if (note.step == ConfigStep::Section) told += std::to_string(note.section);
        if (note.step == ConfigStep::Evaluated) told += "done";
    });
    if (steps != nullptr) *steps = told;
    return config;
}


TEST(EvaluateConfig, DefaultConfiguration) {
    std::string printed;
    RunConfig state = Evaluate(kDefaultConfig, &printed);
    EXPECT_EQ(printed, "eval 1 2 3 4 5 6 -1 done");
    EXPECT_EQ(Describe(state),
              "in C:\\Users\\Pellam\\Downloads\\6June2014-nose-high-2\\Q417-nose-high-2-UNFILTERED.csv\n"
              "out C:\\Users\\Pellam\\Documents\\MATLAB\\output.mat\n"
              "size 10000 freq 10000 pi 3.1415926535897931 adc 2500 theta -90 0 -90\n"
              "const WINDOW_SIZE 10000\n"
              "const SAMPLE_FREQ 10000\n"
              "const PI 3.1415926535897931\n"
              "const ADC_OFFSET 2500\n"
              "const THETA_X -90\n"
              "const THETA_Y 0\n"
              "const THETA_Z -90\n"
              "vars WINDOW_FUNCTION SHORT_WINDOW LINE_COUNT SENSOR_PRES PRES TEMP_OHMS TEMP "
              "SENSOR_RH HUMD TIME ANGX ANGY ANGZ LINX LINY LINZ\n"
              "window WINDOW_FUNCTION: 0.5 1 2 3.1415926535897931 * input * 10000 / c - *\n"
              "short SHORT_WINDOW: 0.5 1 2 3.1415926535897931 * input * $LINE_COUNT / c - *\n"
              "eq 0 SENSOR_PRES: $PRES 2500 + 500 -\n"
              "eq 0 TEMP_OHMS: $TEMP 2500 + 5000 $TEMP 2500 + - 4000 / /\n"
              "eq 0 SENSOR_RH: $HUMD 2500 + 5000 / 0.16 - 0.0061999999999999998 /\n"
              "col TIME 1 0 0 0 TIME: 0 [|||]\n"
              "col PRES 0 1 0 0 PRES: $SENSOR_PRES 4500 / 17.399999999999999 * [plot|seconds|psia|]\n"
              "col TEMP 0 1 0 0 TEMP: $TEMP_OHMS 1000 - 3.75 / [plot|seconds|degreesCelsius|]\n"
              "col HUMD 0 1 0 0 HUMD: $SENSOR_RH 1.0546 0.00216 $TEMP * - / "
              "[plot|seconds|RelativeHumidity|]\n"
              "col ANGX 1 2 1 0 /1.23 [loglog|Hz|deg^2/s|X Ang Rate Pwr Spectral Density]\n"
              "col ANGY 1 2 1 1 /1.25 [loglog|Hz|deg^2/s|Y Ang Rate Pwr Spectral Density]\n"
              "col ANGZ 1 2 1 2 /1.27 [loglog|Hz|deg^2/s|Z Ang Rate Pwr Spectral Density]\n"
              "col LINX 1 2 2 0 /108.40000000000001 [loglog|Hz|g^2/Hz|X Lin Accel Pwr Spectral Density]\n"
              "col LINY 1 2 2 1 /100.40000000000001 [loglog|Hz|g^2/Hz|Y Lin Accel Pwr Spectral Density]\n"
              "col LINZ 1 2 2 2 /104.3 [loglog|Hz|g^2/Hz|Z Lin Accel Pwr Spectral Density]\n"
              "group 1 0 0 0\n"
              "group 2 0 90 0\n");
}

TEST(EvaluateConfig, CrLfAndMissingEndMarkerReadTheSame) {
    std::string crlf;
    for (char c : kDefaultConfig) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::string expected = Describe(Evaluate(kDefaultConfig));
    EXPECT_EQ(Describe(Evaluate(crlf)), expected);

    std::string noEnd(kDefaultConfig.substr(0, kDefaultConfig.rfind("#ENDCFG")));
    std::string printed;
    EXPECT_EQ(Describe(Evaluate(noEnd, &printed)), expected);
    EXPECT_TRUE(printed.ends_with(" done"));
    EXPECT_EQ(Describe(Evaluate(noEnd + "% a comment running to the end")), expected);
}

TEST(EvaluateConfig, TextAfterTheEndMarkerIsIgnored) {
    RunConfig state = Evaluate("#STRINGS\nDATA_FILE = a\n#ENDCFG\nDATA_FILE = b\n#CONSTANTS\nPI = 3\n");
    EXPECT_EQ(state.settings.inputPath, "a");
    EXPECT_TRUE(state.consts.entries.empty());
}

TEST(EvaluateConfig, Settings) {
    RunConfig state = Evaluate(
        "#STRINGS\nDATA_FILE = C:\\My Data\\run.csv % c\nDATA_FILE = second.csv\nOTHER = x, y = z\n"
        "#CONSTANTS\nTHETA_X = 12.5\nTHETA_Z = abc\nADC_OFFSET = 7\nADC_OFFSET = 8\n#ENDCFG");
    EXPECT_EQ(state.settings.inputPath, "second.csv");  // a key given twice takes its last value
    EXPECT_FALSE(state.settings.outputPath.has_value());
    EXPECT_EQ(state.settings.thetaX, 12.5);
    EXPECT_EQ(state.settings.thetaY, -1.0);  // not configured
    EXPECT_EQ(state.settings.thetaZ, 0.0);   // not a number
    EXPECT_EQ(state.settings.adcOffset, 8.0);
    ASSERT_EQ(state.consts.entries.size(), 4u);  // both ADC_OFFSET lines are entries
    EXPECT_EQ(state.consts.entries[2].name, "ADC_OFFSET");
    EXPECT_EQ(state.consts.entries[3].value, 8.0);
    EXPECT_EQ(Evaluate("#STRINGS\nDATA_FILE = C:\\My Data\\run.csv % c\n").settings.inputPath,
              "C:\\MyData\\run.csv");
}

TEST(EvaluateConfig, WindowSizeAndFrequencyAreRoundedAndClamped) {
    struct Case {
        const char* text;
        int32_t expected;
    } cases[] = {
        {"2.5", 3},           {"1023.5", 1024},        {"9999.4", 9999},
        {"-2.5", -3},         {"0.49", 0},             {"16 % samples", 16},
        {"1e3", 1000},        {"abc", 0},              {"", 0},
        {"nan", 0},           {"1e300", 2147483647},   {"-1e300", -2147483647 - 1},
        {"inf", 2147483647},  {"2147483646.6", 2147483647},
    };
    for (const Case& c : cases) {
        RunConfig state = Evaluate(std::string("#CONSTANTS\nWINDOW_SIZE = ") + c.text +
                                  "\nSAMPLE_FREQ = " + c.text + "\n#ENDCFG");
        EXPECT_EQ(state.settings.windowSize, c.expected) << c.text;
        EXPECT_EQ(state.settings.sampleFreq, c.expected) << c.text;
    }
}

TEST(EvaluateConfig, WindowFunction) {
    RunConfig state = Evaluate(
        "#CONSTANTS\nWINDOW_SIZE = 8\n#WINDOW_FUNCTION\nW = input + WINDOW_SIZE + WINDOW_SIZE\n");
    EXPECT_EQ(Items(*state.windowFunction, state.vars), "input 8 + 8 +");
    EXPECT_EQ(Items(*state.shortWindowFunction, state.vars), "input $LINE_COUNT + 8 +");
    EXPECT_EQ(state.windowFunction->name, "W");

    // A later key line replaces both; a text without WINDOW_SIZE is compiled twice alike.
    state = Evaluate("#WINDOW_FUNCTION\nW = input\nRECT = 1 % rectangular\n");
    EXPECT_EQ(state.windowFunction->name, "RECT");
    EXPECT_EQ(Items(*state.windowFunction, state.vars), "1");
    EXPECT_EQ(Items(*state.shortWindowFunction, state.vars), "1");
    EXPECT_EQ(state.shortWindowFunction->name, "SHORT_WINDOW");
}

TEST(EvaluateConfig, EquationModesCarryToLinesWithoutOne) {
    RunConfig state = Evaluate("#EQUATIONS\nA = 1\n1, B = 2\nC = 3\n0, D = 4\nE = 5\n, F = 6\n");
    std::string modes;
    for (const CompiledExpr& e : state.equations) ((modes += e.name) += std::to_string(e.mode)) += " ";
    EXPECT_EQ(modes, "A0 B1 C1 D0 E0 F0 ");
}

TEST(EvaluateConfig, RotationCodes) {
    struct Case {
        const char* code;
        const char* expected;  // group and axis of the column, then the group table
    } cases[] = {
        {"0", "0 0 |"},
        {"2y90", "2 1 |2 0 90 0 "},
        {"1x123456789", "1 0 |1 12345678 0 0 "},  // eight characters of the angle
        {"3z", "3 2 |3 0 0 0 "},
        {"1y-45.5", "1 1 |1 0 -45.5 0 "},
        {"ax5", "0 0 |0 5 0 0 "},  // a letter as group: group 0
        {"1w5", "0 0 |"},          // no axis letter: not rotated, no group
        {"1X5", "0 0 |"},
        {"1", "0 0 |"},
        {"", "0 0 |"},
    };
    for (const Case& c : cases) {
        RunConfig state = Evaluate(std::string("#COLUMNS\nC, 1, 2, ") + c.code + ", 1.5\n");
        ASSERT_EQ(state.columns.size(), 1u) << c.code;
        std::ostringstream s;
        s << state.columns[0].rotationGroup << " " << state.columns[0].rotationAxis << " |";
        for (const RotationGroupSpec& g : state.rotationGroups) {
            s << g.group << " " << Text(g.offsetX) << " " << Text(g.offsetY) << " "
              << Text(g.offsetZ) << " ";
        }
        EXPECT_EQ(s.str(), c.expected) << c.code;
    }
}

TEST(EvaluateConfig, ColumnsAcrossSectionsAndGroupsSharedByNumber) {
    RunConfig state = Evaluate(
        "#COLUMNS\nA, 1, 2, 1x10, 2 % f\n#MATLAB\nA, plot, s, v, 0\n#COLUMNS\n"
        "B, 0, 0, 1z20, input * (2, 3)\nA, 1, 1, 1x30, 1\n#MATLAB\nA, semilogy, x, y, Second A?\n");
    EXPECT_EQ(Describe(state).substr(Describe(state).find("col ")),
              "col A 1 2 1 0 /2 [semilogy|x|y|Second A?]\n"
              "col B 0 0 1 2 B: input 2 3 * [|||]\n"
              "col A 1 1 1 0 A: 1 [|||]\n"
              "group 1 30 0 20\n");
}

TEST(EvaluateConfig, ShortListLinesAreSkippedWithoutShiftingTheNext) {
    const char* columnLines[] = {
        "P, 0, 1\n",
        "P, 0, 1, % note\n",
        "P, 0, 1, 1x0 % no fifth field\n",
        "P,\n",
        "P, 0, 1, 0\n",
    };
    for (const char* line : columnLines) {
        RunConfig state = Evaluate(std::string("#COLUMNS\n") + line + "T, 0, 1, 0, input\n" +
                                  "#MATLAB\nT, plot, s\nT, plot, s, % x\nT, a, b, c, Title\n");
        ASSERT_EQ(state.columns.size(), 1u) << line;
        EXPECT_EQ(state.columns[0].name, "T") << line;
        EXPECT_TRUE(state.rotationGroups.empty()) << line;
        EXPECT_EQ(state.columns[0].plotType + state.columns[0].xLabel + state.columns[0].yLabel +
                      state.columns[0].plotTitle,
                  "abcTitle")
            << line;
    }
}

TEST(EvaluateConfig, PlotLinesForUnknownColumnsChangeNothing) {
    RunConfig state = Evaluate(
        "#COLUMNS\nA, 0, 1, 0, 1\nB, 0, 1, 0, 2\n#MATLAB\nB, plot, s, v, B title\n"
        "NOPE, loglog, Hz, x, lost\n0, loglog, Hz, x, lost\n");
    EXPECT_EQ(state.columns[0].plotType + state.columns[0].plotTitle, "");
    EXPECT_EQ(state.columns[1].plotType + "|" + state.columns[1].plotTitle, "plot|B title");
}

TEST(EvaluateConfig, EventsOutsideTheirSectionsAreDropped) {
    RunConfig state = Evaluate(
        "DATA_FILE = early\nA, 1, 2, 1x0, 5\n#STRINGS\nX, Y\n#CONSTANTS\nA, B\n"
        "#COLUMNS\nK = 1\nC, 1, 0, 0, 0\n#MATLAB\nC = 1\n#EQUATIONS\n#ENDCFG");
    EXPECT_FALSE(state.settings.inputPath.has_value());
    EXPECT_TRUE(state.consts.entries.empty());
    ASSERT_EQ(state.columns.size(), 1u);
    EXPECT_EQ(state.columns[0].name, "C");
}

TEST(EvaluateConfig, UnbalancedParenthesesStopTheRun) {
    for (const char* text : {"#EQUATIONS\n0, A = (1 + 2))\n", "#COLUMNS\nC, 0, 1, 0, )input(\n",
                             "#WINDOW_FUNCTION\nW = input)\n"}) {
        EXPECT_EQ(ExpectStop([&] { Evaluate(text); }).kind, ErrorKind::UnbalancedParentheses) << text;
    }
}

RunConfig ValidState() {
    RunConfig state = Evaluate(
        "#CONSTANTS\nWINDOW_SIZE = 2\nSAMPLE_FREQ = 1\n#WINDOW_FUNCTION\nW = 1\n"
        "#COLUMNS\nX, 1, 2, 0, 1\n");
    return state;
}

TEST(ValidateRunSettings, AcceptsWorkableSettings) {
    EXPECT_NO_THROW(ValidateRunSettings(Evaluate(kDefaultConfig)));
    EXPECT_NO_THROW(ValidateRunSettings(ValidState()));
    RunConfig noFft = Evaluate("#CONSTANTS\nWINDOW_SIZE = 4\nSAMPLE_FREQ = 4\n#COLUMNS\nX, 1, 1, 0, 1\n");
    EXPECT_NO_THROW(ValidateRunSettings(noFft));  // no FFT-type column needs no window function
}

TEST(ValidateRunSettings, RefusesWhatLaterStagesCannotUse) {
    struct Case {
        void (*change)(RunConfig&);
        ErrorKind kind;
        int64_t number;  // the setting refused
        const char* name;
    } cases[] = {
        {[](RunConfig& s) { s.settings.windowSize = 1; }, ErrorKind::WindowSizeTooSmall, 1, ""},
        {[](RunConfig& s) { s.settings.windowSize = -5; }, ErrorKind::WindowSizeTooSmall, -5, ""},
        {[](RunConfig& s) { s.settings.sampleFreq = 0; }, ErrorKind::SampleFreqTooSmall, 0, ""},
        // Far more memory than any machine has: refused before anything is allocated.
        {[](RunConfig& s) {
             s.settings.windowSize = std::numeric_limits<int32_t>::max();
             s.columns.resize(64, s.columns[0]);
         },
         ErrorKind::WindowSizeTooLarge, std::numeric_limits<int32_t>::max(), ""},
        {[](RunConfig& s) { s.windowFunction.reset(); }, ErrorKind::NoWindowFunction, 0, "X"},
    };
    for (const Case& c : cases) {
        RunConfig state = ValidState();
        c.change(state);
        const Error stop = ExpectStop([&] { ValidateRunSettings(state); });
        EXPECT_EQ(stop.kind, c.kind) << c.number;
        EXPECT_EQ(stop.number, c.number);
        EXPECT_EQ(stop.name, c.name);
        if (c.kind == ErrorKind::WindowSizeTooLarge) {
            EXPECT_GT(stop.needed, stop.available);
        }
    }
}

}  // namespace

// Names an expression reads that nothing sets: a misspelt column, a constant
// whose line comes after the equation; not a later equation's result, a
// column, nor what the tool sets itself.
TEST(ConfigChecks, NamesThatNothingSets) {
    const RunConfig state = Evaluate(
        "#CONSTANTS\nWINDOW_SIZE = 8\n"
        "#WINDOW_FUNCTION\nW = 0.5 * (1 - cos((2 * PI * input) / WINDOW_SIZE))\n"
        "#EQUATIONS\n"
        "0, SENSOR = PRESS + OFFSET + LATE + count + input\n"
        "1, OFFSET = OFFSET + 1 + LINE_COUNT + W + SHORT_WINDOW\n"
        "0, TWICE = PRESS * PRESS\n"
        "#COLUMNS\nPRES, 0, 1, 0, input + SENSOR + GAIN + TWICE\nACC, 1, 2, 0, 1.5\n"
        "#CONSTANTS\nLATE = 3\nPI = 3.14\n#ENDCFG\n");
    std::string found;
    for (const UnsetName& u : FindUnsetNames(state)) {
        found += std::to_string(static_cast<int>(u.role)) + " " + u.expression + " " + u.name + "\n";
    }
    EXPECT_EQ(found, "0 W PI\n1 SENSOR PRESS\n1 SENSOR LATE\n1 TWICE PRESS\n2 PRES GAIN\n");
    EXPECT_TRUE(FindUnsetNames(Evaluate(kDefaultConfig)).empty());
}

TEST(ConfigChecks, MatlabVariableNames) {
    const std::string longest = std::string(59, 'a') + "_out";
    for (const std::string& name : {std::string("PRES_act"), std::string("x1_rot"), longest}) {
        EXPECT_TRUE(IsMatlabVariableName(name)) << name;
    }
    for (const std::string& name : {std::string(""), std::string("2nd_act"), std::string("_x_out"),
                                    std::string("a-b_out"), std::string("a b_pwr"), std::string("\xc3\xa9_out"),
                                    "b" + longest}) {
        EXPECT_FALSE(IsMatlabVariableName(name)) << name;
    }
}
