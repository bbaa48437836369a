#include "output/plot_script.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>


#include "output/export.h"
#include "output/output_test_util.h"
#include "support/expect.h"

using namespace vux;

using namespace output_test;
using test_support::ExpectStop;

namespace {

const char* const kGroupFigures =
    "figure;\n"
    "subplot(3,1,1),loglog(ANGX_rot);\n"
    "xlabel('Hz'),ylabel('deg^2/s'),title('X Ang Rate Pwr Spectral Density');\n"
    "subplot(3,1,2),loglog(ANGY_rot);\n"
    "xlabel('Hz'),ylabel('deg^2/s'),title('Y Ang Rate Pwr Spectral Density');\n"
    "subplot(3,1,3),loglog(ANGZ_rot);\n"
    "xlabel('Hz'),ylabel('deg^2/s'),title('Z Ang Rate Pwr Spectral Density');\n"
    "figure;\n"
    "subplot(3,1,1),loglog(LINX_rot);\n"
    "xlabel('Hz'),ylabel('g^2/Hz'),title('X Lin Accel Pwr Spectral Density');\n"
    "subplot(3,1,2),loglog(LINY_rot);\n"
    "xlabel('Hz'),ylabel('g^2/Hz'),title('Y Lin Accel Pwr Spectral Density');\n"
    "subplot(3,1,3),loglog(LINZ_rot);\n"
    "xlabel('Hz'),ylabel('g^2/Hz'),title('Z Lin Accel Pwr Spectral Density');\n";

const char* const kPerWindowFigure =
    "figure;\n"
    "subplot(3,1,1),plot(PRES_act);\n"
    "xlabel('seconds'),ylabel('psia'),;\n"
    "subplot(3,1,2),plot(TEMP_act);\n"
    "xlabel('seconds'),ylabel('degreesCelsius'),;\n"
    "subplot(3,1,3),plot(HUMD_act);\n"
    "xlabel('seconds'),ylabel('RelativeHumidity'),;\n";

const std::string kHead = "function vuxplots()\n\n";

}  // namespace

TEST(PlotScript, DefaultConfigurationBesideTheOutputFile) {
    for (const std::string outputPath : {"D\\output.mat", "D/output.mat"}) {
        SCOPED_TRACE(outputPath);
        const RunConfig state = DefaultLikeConfig(outputPath);
        EXPECT_EQ(PlotScriptPath(outputPath), outputPath.substr(0, 2) + "vuxplots.m");
        EXPECT_EQ(PlotScriptText(state), kHead + "load output.mat\n" + kGroupFigures + kPerWindowFigure);
    }
}

TEST(PlotScript, FftFigureRowsCountEveryFftColumn) {
    std::vector<std::string> columns = kDefaultColumns;
    std::vector<std::string> plots = kDefaultPlots;
    columns.push_back("VIB, 1, 2, 0, 1");
    plots.push_back("VIB, loglog, Hz, g^2/Hz, Extra vibration");
    const RunConfig state = ConfigWith("out.mat", columns, plots);
    EXPECT_EQ(PlotScriptText(state), kHead + "load out.mat\n" + kGroupFigures +
                                         "figure;\n"
                                         "subplot(7,1,1),loglog(VIB_pwr);\n"
                                         "xlabel('Hz'),ylabel('g^2/Hz'),title('Extra vibration');\n" +
                                         kPerWindowFigure);

    // No groups: every FFT-type column in one figure, counted by position.
    const RunConfig ungrouped = ConfigWith("out.mat", {"A, 1, 2, 0, 1", "N, 1, 2, 0, 1", "B, 1, 2, 0, 1"},
                                           {"A, loglog, Hz, 0, A spectrum", "B, semilogy, 0, 0, 0"});
    EXPECT_EQ(PlotScriptText(ungrouped), kHead +
                                             "load out.mat\n"
                                             "figure;\n"
                                             "subplot(3,1,1),loglog(A_pwr);\n"
                                             "xlabel('Hz'),title('A spectrum');\n"
                                             "subplot(3,1,2),semilogy(B_pwr);\n"
                                             ";\n");
}

// Figures whose "figure;" line depends on the counts alone, group numbers with
// gaps in ascending order, and the single figures of every-sample columns.
TEST(PlotScript, FigureLinesGroupOrderAndSingleFigures) {
    const RunConfig state = ConfigWith(
        "out.mat",
        {"G3Z, 1, 2, 3z0, 1", "G1X, 1, 2, 1x0, 1", "G1Y, 1, 2, 1y0, 1", "NORM, 1, 1, 0, input",
         "RAW, 1, 0, 0x5, 0",  // an unrotated code's group entry takes part in nothing
         "SKIP, 0, 0, 0, 0", "NOPLOT, 1, 0, 0, 0", "OTHER, 1, 3, 0, 0"},
        {"G3Z, plot, 0, 0, z3", "G1X, plot, Hz, 0, 0",
         // G1Y has no plot type: its group figure still exists.
         "NORM, plot, s, v, every-sample normalised: not plotted", "RAW, loglog, s, raw, 0",
         "SKIP, plot, 0, 0, once per window, no operation: not plotted", "OTHER, stairs, 0, 0, 0"});

    EXPECT_EQ(PlotScriptText(state), kHead +
                                         "load out.mat\n"
                                         "figure;\n"  // group 1
                                         "subplot(3,1,1),plot(G1X_rot);\n"
                                         "xlabel('Hz'),;\n"
                                         "figure;\n"  // group 3
                                         "subplot(3,1,3),plot(G3Z_rot);\n"
                                         "title('z3');\n"
                                         "figure;\n"  // per-window figure: N1 = 1, nothing to draw
                                         "figure,plot(RAW_out);\n"
                                         "xlabel('s'),ylabel('raw'),;\n"
                                         "figure,plot(OTHER_out);\n"
                                         ";\n");
}

TEST(PlotScript, QuotesInTextsAreDoubled) {
    const RunConfig state = ConfigWith("out.mat", {"P, 0, 1, 0, input"}, {"P, plot, it's, a''b, Bob's 'run'"});
    EXPECT_EQ(PlotScriptText(state), kHead +
                                         "load out.mat\n"
                                         "figure;\n"
                                         "subplot(1,1,1),plot(P_act);\n"
                                         "xlabel('it''s'),ylabel('a''''b'),title('Bob''s ''run''');\n");
}

TEST(PlotScript, ScriptPathAndLoadLine) {
    const std::pair<std::string, std::string> scriptPaths[] = {
        {"out.mat", "vuxplots.m"},
        {"a/b/c.mat", "a/b/vuxplots.m"},
        {"a\\b.mat", "a\\vuxplots.m"},
        {"a/b\\c.mat", "a/b\\vuxplots.m"},
        {"/x.mat", "/vuxplots.m"},
    };
    for (const auto& [output, script] : scriptPaths) {
        EXPECT_EQ(PlotScriptPath(output), script) << output;
    }
    const std::pair<std::string, std::string> loadLines[] = {
        {"out.mat", "load out.mat\n"},
        {"results/run1.mat", "load run1.mat\n"},
        {"results\\run1.mat", "load run1.mat\n"},
        {"./a/b/run1.mat", "load run1.mat\n"},
        {"/data/flights/run1.mat", "load /data/flights/run1.mat\n"},
        {"\\\\server\\share\\run1.mat", "load \\\\server\\share\\run1.mat\n"},
        {"C:\\data\\run1.mat", "load C:\\data\\run1.mat\n"},
        {"d:run1.mat", "load d:run1.mat\n"},
        {"my dir/run 1.mat", "load('run 1.mat')\n"},
        {"/tmp/my dir/it's.mat", "load('/tmp/my dir/it''s.mat')\n"},
        {"a,b.mat", "load('a,b.mat')\n"},
    };
    for (const auto& [output, line] : loadLines) {
        EXPECT_EQ(PlotLoadLine(output), line) << output;
    }
}

TEST(PlotScript, WritesTheFileAndReportsIt) {
    ScratchDir dir;
    RunConfig state = DefaultLikeConfig(dir / "out.mat");
    WriteFile(dir / "vuxplots.m", std::string(5000, 'x'));  // an earlier, longer script is replaced
    OutputSet outputs;
    WritePlotScript(state, outputs);
    outputs.Commit();
    EXPECT_EQ(ReadFile(dir / "vuxplots.m"), PlotScriptText(state));
}

TEST(PlotScript, FailuresNameTheScriptAndStopTheRun) {
    ScratchDir dir;
    WriteFile(dir / "plain", "x");
    ASSERT_EQ(mkdir((dir / "full").c_str(), 0755), 0);
    ASSERT_EQ(symlink("/dev/full", (dir / "full/vuxplots.m").c_str()), 0);
    ASSERT_EQ(mkdir((dir / "old").c_str(), 0755), 0);
    WriteFile(dir / "old/vuxplots.m", "an earlier script");
    struct Case {
        std::string outputPath;
        ErrorKind kind;
        int err;
        FileFault fault = FileFault::None;
        long long fileSizeLimit = -1;
    };
    std::vector<Case> cases = {
        {dir / "missing/out.mat", ErrorKind::PlotScriptCreate, ENOENT},
        {dir / "plain/out.mat", ErrorKind::PlotScriptCreate, ENOTDIR},
        // A link to a device is refused, never written through.
        {dir / "full/out.mat", ErrorKind::PlotScriptCreate, 0, FileFault::Device},
        {dir / "old/out.mat", ErrorKind::PlotScriptWrite, EFBIG, FileFault::None, 100},
    };
    if (geteuid() != 0) {
        ASSERT_EQ(mkdir((dir / "ro").c_str(), 0555), 0);
        cases.push_back({dir / "ro/out.mat", ErrorKind::PlotScriptDirectory, EACCES});
    }
    for (const Case& c : cases) {
        const RunConfig state = DefaultLikeConfig(c.outputPath);
        Error stop;
        {
            const FileSizeLimit limit(c.fileSizeLimit);
            stop = ExpectStop([&] {
                OutputSet outputs;
                WritePlotScript(state, outputs);
                outputs.Commit();
            });
        }
        EXPECT_EQ(stop.kind, c.kind) << c.outputPath;
        EXPECT_EQ(stop.path, PlotScriptPath(c.outputPath));
        EXPECT_EQ(stop.cause.err, c.err) << c.outputPath;
        EXPECT_EQ(stop.cause.fault, c.fault) << c.outputPath;
    }
    // The earlier script is kept whole, and no scratch file is left.
    EXPECT_EQ(ReadFile(dir / "old/vuxplots.m"), "an earlier script");
    EXPECT_EQ(EntriesIn(dir.path / "old"), std::vector<std::string>{"vuxplots.m"});
    EXPECT_EQ(EntriesIn(dir.path / "full"), std::vector<std::string>{"vuxplots.m"});
}

// The exported file and its script, run headless in GNU Octave from the
// script's own directory: every figure is drawn and printed to PNG.
TEST(PlotScriptOctave, ScriptRunsBesideItsMatFile) {
    if (const std::string missing = MissingOctave(); !missing.empty()) {
        GTEST_SKIP() << missing << " (Debian package octave)";
    }
    const CommandResult toolkits =
        RunCommand(OctaveCommand("exit(~any(strcmp(available_graphics_toolkits(), 'gnuplot')))"));
    if (toolkits.status != 0) {
        GTEST_SKIP() << "Octave has no gnuplot toolkit to draw headless figures (Debian package gnuplot-nox)";
    }
    if (access("/usr/share/fonts/opentype/freefont/FreeSans.otf", R_OK) != 0) {
        GTEST_SKIP() << "Octave's default font is missing (Debian package fonts-freefont-otf)";
    }

    ScratchDir dir;
    ASSERT_EQ(mkdir((dir / "results").c_str(), 0755), 0);
    const std::string relativeOutput = "results/Bob's run.mat";  // relative, with a blank and a quote
    std::vector<std::string> columns = kDefaultColumns;
    std::vector<std::string> plots = kDefaultPlots;
    plots[4] = "ANGX, loglog, Hz, deg^2/s, Bob's X Ang Rate";
    columns.push_back("VIB, 1, 2, 0, 1");
    plots.push_back("VIB, loglog, Hz, g^2/Hz, Extra vibration");
    columns.push_back("RAW, 1, 0, 0, 0");
    plots.push_back("RAW, plot, sample, counts, 0");
    const RunConfig state = ConfigWith(relativeOutput, columns, plots, 64);
    ReduceResult reduced = EmptyResult(state);
    reduced.processedWindows = 64;
    for (size_t c = 0; c < state.columns.size(); ++c) {
        for (size_t i = 0; i < 64; ++i) {
            reduced.samples[c].push_back(1.0 + static_cast<double>(i % 7));
        }
        reduced.spectra[c].density.assign(65, 0.25);
        reduced.rotated[c].assign(33, 0.5);
    }

    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    try {
        OutputSet outputs;
        ExportResults(state, reduced, outputs);
        WritePlotScript(state, outputs);
        outputs.Commit();
    } catch (const Error& error) {
        ADD_FAILURE() << testing::PrintToString(error);
    }
    ASSERT_EQ(chdir(previous), 0);
    ASSERT_NE(ReadFile(dir / "results/vuxplots.m").find("load('Bob''s run.mat')\n"), std::string::npos);

    const std::string code =
        "graphics_toolkit('gnuplot'); set(0, 'defaultfigurevisible', 'off');"
        "vuxplots();"
        "figures = sort(get(0, 'children'));"
        "for i = 1:numel(figures), print(figures(i), sprintf('figure%d.png', i), '-dpng'); end;"
        "printf('figures %d\\n', numel(figures));"
        "titles = get(findall(0, 'type', 'axes'), 'title');"
        "for i = 1:numel(titles), printf('title %s\\n', get(titles{i}, 'string')); end;";
    const CommandResult result =
        RunCommand("cd " + ShellQuote(dir / "results") + " && " + OctaveCommand(code), false);
    ASSERT_EQ(result.status, 0) << result.output;
    // Two group figures, the FFT figure, the per-window figure, RAW's figure.
    EXPECT_NE(result.output.find("figures 5\n"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("title Bob's X Ang Rate\n"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("title Extra vibration\n"), std::string::npos) << result.output;
    for (int i = 1; i <= 5; ++i) {
        const std::string png = ReadFile(dir / ("results/figure" + std::to_string(i) + ".png"));
        EXPECT_EQ(png.substr(0, 4), "\x89PNG") << "figure " << i;
    }
}
