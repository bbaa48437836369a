// Runs of the built tool that meet in one working directory: two runs with
// arguments started together, and runs killed while they write the
// configuration. vux_reader.cfg must always be one run's whole result (or the
// file it replaces), never a mix, a torn file or missing.

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/files.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace test_support;
using Args = std::vector<std::string>;

constexpr const char* kConfig = "vux_reader.cfg";
constexpr const char* kScratch = "recfg";

// Same number of arguments for both runs: each one then replaces every value
// the other wrote, so whichever goes last leaves exactly its own result.
const Args kArgsA{"a_in.csv", "a_out.mat", "1", "2", "3"};
const Args kArgsB{"b_input_file_with_a_longer_name.csv", "b.mat", "-45.5", "90", "0.25"};

struct Outcome {
    std::string config;
    std::string printed;
};

// The configuration and console output of one run alone in a directory that
// starts with `initial` as its configuration (none when empty).
Outcome RunAlone(const std::string& initial, const Args& args) {
    ScratchDir dir;
    if (!initial.empty()) WriteFile(dir.path / kConfig, initial);
    const Ran ran = RunProgram(Tool(dir.path, args, Sink::Pipe()));
    Outcome outcome{{}, ran.out};
    EXPECT_EQ(ran.exit.status, 0) << outcome.printed;
    outcome.config = ReadFile(dir.path / kConfig);
    return outcome;
}

// A configuration of more than 1000 bytes that the runs keep: the default's
// keys in a different layout, with CR LF line ends.
std::string ExistingConfig() {
    std::string text =
        "% kept configuration\r\n#STRINGS\r\nDATA_FILE = old.csv % input\r\n"
        "OUTPUT_FILE = old.mat\r\n#CONSTANTS\r\nWINDOW_SIZE = 100\r\nSAMPLE_FREQ = 100\r\n"
        "THETA_X = 0\r\nTHETA_Y = 0\r\nTHETA_Z = 0\r\n#WINDOW_FUNCTION\r\nWINDOW_FUNCTION = 1\r\n"
        "#COLUMNS\r\nTIME, 1, 0, 0, 0\r\n#MATLAB\r\nTIME, 0, 0, 0, 0\r\n";
    for (int i = 0; i < 40; ++i) text += "% padding line " + std::to_string(i) + "\r\n";
    return text + "#ENDCFG\r\n";
}

// The last line a run prints when its input file does not exist names the
// input it read from the configuration: proof that it read its own rewrite.
std::string LastLine(const std::string& printed) {
    const auto end = printed.find_last_not_of('\n');
    const auto start = printed.rfind('\n', end);
    return printed.substr(start + 1, end - start);
}

// Starts both runs together in one directory that starts with `initial`
// (none when empty), `rounds` times.
void RaceRounds(const std::string& initial, int rounds) {
    const Outcome a = RunAlone(initial, kArgsA);
    const Outcome b = RunAlone(initial, kArgsB);
    ASSERT_NE(a.config, b.config);
    ASSERT_NE(LastLine(a.printed).find(kArgsA[0]), std::string::npos) << a.printed;
    ASSERT_NE(LastLine(b.printed).find(kArgsB[0]), std::string::npos) << b.printed;

    int aLast = 0;
    for (int round = 0; round < rounds; ++round) {
        ScratchDir dir;
        if (!initial.empty()) WriteFile(dir.path / kConfig, initial);
        Process first = Start(Tool(dir.path, kArgsA, Sink::Pipe()));
        Process second = Start(Tool(dir.path, kArgsB, Sink::Pipe()));
        std::string printedA, printedB;
        ReadToEnd(first, printedA);
        ReadToEnd(second, printedB);
        EXPECT_EQ(Wait(first).status, 0) << printedA;
        EXPECT_EQ(Wait(second).status, 0) << printedB;

        const std::string config = ReadFile(dir.path / kConfig);
        EXPECT_TRUE(config == a.config || config == b.config)
            << "round " << round << ": vux_reader.cfg is neither run's result (" << config.size()
            << " bytes)";
        aLast += config == a.config ? 1 : 0;
        EXPECT_FALSE(fs::exists(dir.path / kScratch)) << "round " << round;
        EXPECT_EQ(LastLine(printedA), LastLine(a.printed)) << "round " << round;
        EXPECT_EQ(LastLine(printedB), LastLine(b.printed)) << "round " << round;
        if (testing::Test::HasFailure()) break;
    }
    testing::Test::RecordProperty("rounds_where_a_went_last", aLast);
}

// 50 rounds each; both variants together take about a second.
TEST(ConcurrentRuns, TwoRunsWithArgumentsInAFreshDirectory50Rounds) { RaceRounds("", 50); }

TEST(ConcurrentRuns, TwoRunsWithArgumentsOnAnExistingConfiguration50Rounds) {
    RaceRounds(ExistingConfig(), 50);
}

// Ends runs with `sig` after a random delay, from before the start of the
// configuration write to after its end, and checks after each that
// vux_reader.cfg is exactly the old or the new file. Returns how many runs
// left a scratch file behind (killed while it was being written).
int KillRounds(const std::string& initial, const Args& args, const std::string& replaced,
               int rounds, int sig = SIGKILL) {
    const Outcome whole = RunAlone(initial, args);
    EXPECT_FALSE(whole.config.empty());

    // Calibrate the delays on one undisturbed run: they spread over its span.
    ScratchDir timing;
    if (!initial.empty()) WriteFile(timing.path / kConfig, initial);
    const auto start = std::chrono::steady_clock::now();
    RunProgram(Tool(timing.path, args));
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);

    std::mt19937 random(12345);
    std::uniform_int_distribution<long> delay(0, span.count() * 6 / 5);
    ScratchDir dir;
    int midWrite = 0;
    for (int round = 0; round < rounds; ++round) {
        fs::remove(dir.path / kConfig);
        if (!initial.empty()) WriteFile(dir.path / kConfig, initial);
        Process tool = Start(Tool(dir.path, args));
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(tool.pid, sig);
        Wait(tool);

        const bool exists = fs::exists(dir.path / kConfig);
        const std::string config = exists ? ReadFile(dir.path / kConfig) : std::string();
        if (replaced.empty()) {
            // No file before: none yet, or the complete new one.
            EXPECT_TRUE(!exists || config == whole.config)
                << "round " << round << ": torn vux_reader.cfg of " << config.size() << " bytes";
        } else {
            EXPECT_TRUE(exists) << "round " << round << ": vux_reader.cfg is missing";
            EXPECT_TRUE(config == replaced || config == whole.config)
                << "round " << round << ": torn vux_reader.cfg of " << config.size() << " bytes";
        }
        if (fs::exists(dir.path / kScratch)) ++midWrite;
        if (testing::Test::HasFailure()) break;
    }
    // A scratch file left behind is overwritten by the next run, never read.
    if (!initial.empty()) WriteFile(dir.path / kConfig, initial);
    RunProgram(Tool(dir.path, args));
    EXPECT_EQ(ReadFile(dir.path / kConfig), whole.config);
    EXPECT_FALSE(fs::exists(dir.path / kScratch));
    return midWrite;
}

// The default configuration, as a first run writes it.
std::string DefaultConfig() { return RunAlone("", {}).config; }

// The default configuration padded to 2 MB with comment lines before its end
// marker, so that rewriting it takes a while.
std::string LargeConfig() {
    std::string large = DefaultConfig();
    std::string padding;
    while (padding.size() < 2'000'000) {
        padding += "% padding so that the rewrite takes measurable time, line " +
                   std::to_string(padding.size()) + "\n";
    }
    return large.insert(large.rfind("#ENDCFG"), padding);
}

// A rewrite of the large configuration killed 100 times.
TEST(KilledRuns, RewriteOfALargeConfigurationKilled100Times) {
    const std::string large = LargeConfig();
    const int midWrite = KillRounds(large, {"in.csv", "out.mat"}, large, 100);
    RecordProperty("kills_during_the_write", midWrite);
    EXPECT_GT(midWrite, 0) << "no kill landed while the configuration was being written";
}

// The same rewrite interrupted (SIGTERM) 50 times with the same spread of
// delays: an interrupted run lets its configuration write end (renamed or
// removed) before it dies, so it never leaves a scratch file.
TEST(KilledRuns, RewriteOfALargeConfigurationInterrupted50TimesLeavesNoScratchFile) {
    const std::string large = LargeConfig();
    EXPECT_EQ(KillRounds(large, {"in.csv", "out.mat"}, large, 50, SIGTERM), 0);
}

// The default written over a corrupt (short) file, and into an empty
// directory, killed 100 times each.
TEST(KilledRuns, DefaultWriteKilled100TimesEach) {
    const std::string corrupt = "#STRINGS\nDATA_FILE = x.csv\n";
    KillRounds(corrupt, {}, corrupt, 100);
    KillRounds("", {}, "", 100);
}

}  // namespace
