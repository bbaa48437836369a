// The tool as a user sees it: whole runs of the built binary in a fresh
// directory, with standard output pinned in golden files under
// tests/run/golden/ (set VUX_UPDATE_GOLDEN=1 to rewrite them after a
// deliberate change, then review the diff).

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "run/command_line.h"
#include "support/scratch_files.h"

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
         {std::vector<std::string>{"--version"}, {"--version", "a.csv", "b.mat", "1"}}) {
        const RunResult r = Run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, VersionLine());
    }
    EXPECT_TRUE(Files().empty());
}

TEST_F(ToolRun, NearHelpWordIsTakenAsTheInputPath) {
    const RunResult r = Run({"/?"});
    EXPECT_EQ(r.status, 0);
    ExpectGolden("near_help_word", r.out);
}

TEST_F(ToolRun, InputNameEndingInASeparatorIsInvalidBeforeTheOutputIsLookedAt) {
    for (const std::string input : {"data/", "C:\\data\\"}) {
        fs::remove(dir_ / "vux_reader.cfg");
        const RunResult r = Run({input, "out/"});
        EXPECT_EQ(r.status, 255);
        ExpectGolden("invalid_input_name", r.out);
    }
}

TEST_F(ToolRun, OutputNameEndingInASeparatorIsInvalid) {
    const RunResult r = Run({"data/run1.csv", "results\\"});
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

}  // namespace
