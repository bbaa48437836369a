// Interrupted runs of the built tool: SIGINT in the window loop, SIGTERM
// while it waits for the configuration and while it writes the MAT-file,
// every signal that ends a run while it rewrites the configuration and while
// it writes the MAT-file, and SIGINT and SIGTERM while its console is
// blocked. The run must die of the signal (never report completion), say so
// on the console when it can, and leave every file whole: the old MAT-file
// or the complete new one, vux_reader.cfg, and no scratch file. Also runs
// whose data file changes while it is read.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "run/messages.h"
#include "support/files.h"
#include "support/process.h"

using namespace vux;

namespace {

namespace fs = std::filesystem;
using namespace test_support;

constexpr const char* kConfig = "vux_reader.cfg";

// Replaces the value of the line that starts with `key` ("DATA_FILE = ").
std::string SetLine(std::string config, const std::string& key, const std::string& value) {
    const auto start = config.find("\n" + key);
    if (start == std::string::npos) return config;
    const auto end = config.find('\n', start + 1);
    return config.replace(start + 1, end - start - 1, key + value);
}

std::string InterruptLine(int sig) { return "\nInterrupted by signal " + std::to_string(sig) + "\n"; }

class InterruptedRun : public testing::Test {
protected:
    // One generated recording of 120 s (about 130 MB) and the default
    // configuration, shared by every test.
    static void SetUpTestSuite() {
#ifdef VUX_GEN_PATH
        data_ = new ScratchDir;
        const std::string flight = (data_->path / "flight.csv").string();
        if (RunProgram(Program(VUX_GEN_PATH, {"--duration", "120", "-o", flight})).exit.status != 0) return;
        RunProgram(Tool(data_->path, {"missing.csv"}));
        defaultConfig_ = ReadFile(data_->path / kConfig);
#endif
    }
    static void TearDownTestSuite() {
        delete data_;
        data_ = nullptr;
    }

    void SetUp() override {
        if (defaultConfig_.empty()) GTEST_SKIP() << "no generated data file (vux_gen not built)";
    }

    // The default configuration reading the shared recording into out.mat.
    static std::string ConfigFor(std::string config) {
        config = SetLine(config, "DATA_FILE = ", (data_->path / "flight.csv").string());
        return SetLine(config, "OUTPUT_FILE = ", "out.mat");
    }

    static inline ScratchDir* data_ = nullptr;
    static inline std::string defaultConfig_;
    ScratchDir dir_;
};

TEST_F(InterruptedRun, SigintInTheWindowLoopKeepsTheOldResultsAndTheConfiguration) {
    // Twenty equations evaluated at every sample make each window take a while.
    std::string slow = ConfigFor(defaultConfig_);
    std::string equations;
    for (int i = 0; i < 20; ++i) {
        equations += "1, SLOW" + std::to_string(i) + " = (TEMP + ADC_OFFSET) / ((5000 - (TEMP + " +
                     "ADC_OFFSET)) / 4000) + SENSOR_PRES * " + std::to_string(i) + "\n";
    }
    slow.insert(slow.find("#EQUATIONS\n") + 11, equations);
    WriteFile(dir_.path / kConfig, slow);
    const std::string previous = "results of an earlier run";
    WriteFile(dir_.path / "out.mat", previous);

    Process tool = Start(Tool(dir_.path, {}, Sink::Pipe()));
    std::string printed;
    const bool reached = ReadUntil(tool, printed, "Window 3...", std::chrono::seconds(60));
    ::kill(tool.pid, SIGINT);
    ReadToEnd(tool, printed);
    const Exit exit = Wait(tool);
    ASSERT_TRUE(reached) << printed;

    EXPECT_TRUE(exit.KilledBy(SIGINT)) << "shell status " << exit.status;
    EXPECT_TRUE(printed.ends_with(InterruptLine(SIGINT))) << printed.substr(printed.size() - 200);
    EXPECT_EQ(printed.find("Writing data to matlab file"), std::string::npos);
    EXPECT_EQ(ReadFile(dir_.path / "out.mat"), previous);
    EXPECT_EQ(ReadFile(dir_.path / kConfig), slow);
    EXPECT_FALSE(fs::exists(dir_.path / "recfg"));
    EXPECT_FALSE(fs::exists(dir_.path / "vuxplots.m"));
}

TEST_F(InterruptedRun, SigtermWhileWaitingForTheConfigurationLeavesNothingBehind) {
    // Another run holds the configuration: this one waits for it.
    const int held = ::open(dir_.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const std::vector<std::string> args{(data_->path / "flight.csv").string(), "out.mat"};

    Process tool = Start(Tool(dir_.path, args, Sink::Pipe()));
    ::usleep(300'000);
    EXPECT_EQ(::waitpid(tool.pid, nullptr, WNOHANG), 0) << "the run did not wait";
    ::kill(tool.pid, SIGTERM);
    std::string printed;
    ReadToEnd(tool, printed);
    const Exit exit = Wait(tool);
    ::close(held);

    EXPECT_TRUE(exit.KilledBy(SIGTERM)) << "shell status " << exit.status;
    EXPECT_TRUE(fs::is_empty(dir_.path));

    // The lock went with the process: the next run is not held up.
    const Ran again = RunProgram(Tool(dir_.path, args, Sink::Pipe()));
    EXPECT_EQ(again.exit.status, 10) << again.out;
    // The banner, the first paragraph of every run, printed before the wait
    // is not lost.
    const std::string banner = again.out.substr(0, again.out.find("\n\n", 1) + 2);
    EXPECT_EQ(printed, banner + InterruptLine(SIGTERM));
}

// What standard readers see: scipy.io.loadmat must load `path`. Skipped
// (true) when Debian's python3 has no scipy.
bool ScipyLoads(const fs::path& path) {
    static const bool haveScipy =
        RunProgram(Program("/usr/bin/python3", {"-c", "import scipy.io"})).exit.status == 0;
    return !haveScipy ||
           RunProgram(Program("/usr/bin/python3",
                              {"-c", "import sys, scipy.io; scipy.io.loadmat(sys.argv[1])", path.string()}))
                   .exit.status == 0;
}

TEST_F(InterruptedRun, SigtermWhileWritingTheMatFileLeavesThePreviousFileOrTheWholeNewOne) {
    // One window of 1.2 million samples: the MAT-file holds about 38 MB.
    const std::string big =
        SetLine(ConfigFor(defaultConfig_), "WINDOW_SIZE = ", "1200000 % in samples");
    ScratchDir reference;
    WriteFile(reference.path / kConfig, big);
    ASSERT_EQ(RunProgram(Tool(reference.path)).exit.status, 10);
    const std::string whole = ReadFile(reference.path / "out.mat");
    // The result of an earlier run, with windows of 1000 samples.
    ScratchDir earlier;
    WriteFile(earlier.path / kConfig, SetLine(ConfigFor(defaultConfig_), "WINDOW_SIZE = ", "1000"));
    ASSERT_EQ(RunProgram(Tool(earlier.path)).exit.status, 10);
    const std::string previous = ReadFile(earlier.path / "out.mat");

    // The signal follows the start of the export after 0, 25, 50 and 75 ms,
    // so it lands at different points of the write (the export takes about
    // 0.1 s and its sync to disk). On a busy machine it may come too late;
    // every run must be consistent and at least one must be interrupted.
    int interrupted = 0;
    for (int delayMs : {0, 25, 50, 75}) {
        SCOPED_TRACE("signal " + std::to_string(delayMs) + " ms after the export began");
        WriteFile(dir_.path / "out.mat", previous);
        fs::remove(dir_.path / "vuxplots.m");  // an earlier round may have written it
        WriteFile(dir_.path / kConfig, big);
        Process tool = Start(Tool(dir_.path, {}, Sink::Pipe()));
        std::string printed;
        const std::string marker = "Writing data to matlab file...";
        const bool reached = ReadUntil(tool, printed, marker, std::chrono::seconds(60));
        ::usleep(static_cast<useconds_t>(delayMs) * 1000);
        ::kill(tool.pid, SIGTERM);
        ReadToEnd(tool, printed);
        const Exit exit = Wait(tool);
        ASSERT_TRUE(reached) << printed;
        EXPECT_EQ(ReadFile(dir_.path / kConfig), big);
        for (const std::string& name : EntriesIn(dir_.path)) EXPECT_NE(name[0], '.') << "left behind: " << name;
        EXPECT_TRUE(ScipyLoads(dir_.path / "out.mat"));

        // The signal may come after the whole run was printed, while the
        // process is ending (a sanitizer's exit checks make that stretch
        // long): then every output is complete, whatever the status says.
        // Likewise when it lands after both files were written (then
        // renamed into place): the MAT-file is then complete.
        const bool exported = printed.find(marker + "done!") != std::string::npos;
        const std::string written = ReadFile(dir_.path / "out.mat");
        if (exit.Exited() || written != previous) {
            if (exit.Exited()) {
                EXPECT_EQ(exit.status, 10);
                EXPECT_EQ(printed.find("Interrupted"), std::string::npos);
            } else {
                EXPECT_TRUE(exit.KilledBy(SIGTERM)) << "shell status " << exit.status;
                EXPECT_TRUE(exported);
            }
            // Never a part of the new file: the whole file but its creation
            // date (bytes 52 to 75).
            ASSERT_EQ(written.size(), whole.size());
            EXPECT_EQ(written.compare(0, 52, whole, 0, 52), 0);
            EXPECT_EQ(written.compare(76, std::string::npos, whole, 76), 0);
            continue;
        }
        ++interrupted;
        EXPECT_TRUE(exit.KilledBy(SIGTERM)) << "shell status " << exit.status;
        EXPECT_TRUE(printed.ends_with(InterruptLine(SIGTERM)));
        EXPECT_FALSE(fs::exists(dir_.path / "vuxplots.m"));
    }
    RecordProperty("interrupted_runs", interrupted);
    EXPECT_GT(interrupted, 0) << "no signal arrived while the MAT-file was written";
}

// Waits until `dir` holds an entry whose name starts with `prefix` (true),
// or the run ends or 60 s pass (false).
bool WaitForEntry(const Process& tool, const fs::path& dir, const std::string& prefix) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        for (const std::string& name : EntriesIn(dir)) {
            if (name.starts_with(prefix)) return true;
        }
        siginfo_t ended{};
        if (::waitid(P_PID, static_cast<id_t>(tool.pid), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            ended.si_pid == tool.pid) {
            return false;
        }
        ::usleep(200);
    }
    return false;
}

// Every signal whose default action ends the process, sent while the
// configuration is rewritten (recfg on disk) and while the MAT-file is
// written (its scratch file on disk): the run dies of it within 2 s, says
// so, and leaves no scratch file; the configuration and the MAT-file are
// each the previous or the complete new file. A SIGHUP the run was started
// with ignored (nohup) stays ignored.
TEST_F(InterruptedRun, EverySignalThatWouldEndTheRunLeavesNoScratchFile) {
#ifdef VUX_GEN_PATH
    ScratchDir flight;  // 20 s, so that each run is short
    const std::string data = (flight.path / "flight.csv").string();
    ASSERT_EQ(RunProgram(Program(VUX_GEN_PATH, {"--duration", "20", "-o", data})).exit.status, 0);
    const std::string base = SetLine(ConfigFor(defaultConfig_), "DATA_FILE = ", data);
    // Windows of 200000 samples make a MAT-file of a few MB.
    const std::string big = SetLine(base, "WINDOW_SIZE = ", "200000 % in samples");
    ScratchDir reference;
    WriteFile(reference.path / kConfig, big);
    ASSERT_EQ(RunProgram(Tool(reference.path)).exit.status, 10);
    const std::string whole = ReadFile(reference.path / "out.mat");
    // 3 MB of comment lines make the rewrite take a while.
    std::string bulky = base;
    std::string comments;
    for (int i = 0; i < 40000; ++i) comments += "% " + std::string(76, 'c') + "\n";
    bulky.insert(bulky.find("#ENDCFG"), comments);

    struct Phase {
        const char* name;
        const std::string& config;
        std::vector<std::string> args;  // the rewrite writes the values the file holds
        std::string scratch;            // how the scratch file's name starts
    };
    const Phase rewrite{"rewrite", bulky, {data, "out.mat"}, "recfg"};
    const Phase matWrite{"MAT-file write", big, {}, ".out.mat."};
    struct Row {
        int sig;
        const Phase& phase;
        bool ignoredAtStart = false;
    };
    std::vector<Row> rows;
    for (const Phase* phase : {&rewrite, &matWrite}) {
        for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU}) {
            rows.push_back({sig, *phase});
        }
    }
    rows.push_back({SIGHUP, matWrite, true});

    const std::string previous = "results of an earlier run";
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(::sigabbrev_np(row.sig)) + " during the " + row.phase.name +
                     (row.ignoredAtStart ? ", ignored from the start" : ""));
        // The scratch file lives for some tens of milliseconds: on a busy
        // machine this test may not look while it does. Such a run proves
        // nothing and is made again, a few times at most.
        bool reached = false;
        std::string printed;
        Exit exit;
        double seconds = 0.0;
        for (int attempt = 0; attempt < 8 && !reached; ++attempt) {
            for (const std::string& name : EntriesIn(dir_.path)) fs::remove_all(dir_.path / name);
            WriteFile(dir_.path / kConfig, row.phase.config);
            WriteFile(dir_.path / "out.mat", previous);
            Launch launch = Tool(dir_.path, row.phase.args, Sink::Pipe());
            if (row.ignoredAtStart) launch.ignored = {row.sig};
            Process tool = Start(launch);
            reached = WaitForEntry(tool, dir_.path, row.phase.scratch);
            ::kill(tool.pid, row.sig);
            const auto signalled = std::chrono::steady_clock::now();
            printed.clear();
            ReadUntil(tool, printed, {}, std::chrono::seconds(10));
            exit = Wait(tool, std::chrono::seconds(10));
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
        }
        ASSERT_TRUE(reached) << "no scratch file appeared in 8 runs: " << printed;

        EXPECT_EQ(exit.status, row.ignoredAtStart ? 10 : 128 + row.sig);
        for (const std::string& name : EntriesIn(dir_.path)) {
            EXPECT_TRUE(name[0] != '.' && name != "recfg") << "left behind: " << name;
        }
        EXPECT_EQ(ReadFile(dir_.path / kConfig), row.phase.config);
        const std::string written = ReadFile(dir_.path / "out.mat");
        if (written == previous) {
            EXPECT_FALSE(fs::exists(dir_.path / "vuxplots.m"));
        } else {
            // Complete: all but its creation date (bytes 52 to 75).
            ASSERT_EQ(written.size(), whole.size());
            EXPECT_EQ(written.compare(0, 52, whole, 0, 52), 0);
            EXPECT_EQ(written.compare(76, std::string::npos, whole, 76), 0);
        }
        if (row.ignoredAtStart) continue;
        EXPECT_LT(seconds, 3.0);
        EXPECT_TRUE(printed.ends_with(InterruptLine(row.sig))) << printed;
    }
#endif
}

TEST_F(InterruptedRun, SignalsEndARunBlockedOnAConsoleNobodyReads) {
    // Windows of 2 samples print a progress line each: the pipe, never read,
    // fills at once and the run blocks in a write, holding the console.
    const std::string chatty = SetLine(ConfigFor(defaultConfig_), "WINDOW_SIZE = ", "2 % in samples");
    for (int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE("signal " + std::to_string(sig));
        WriteFile(dir_.path / kConfig, chatty);
        Process tool = Start(Tool(dir_.path, {}, Sink::Pipe()));
        int queued = 0;
        for (int i = 0; i < 2000 && queued < 60000; ++i) {
            ::usleep(10'000);
            ::ioctl(tool.out, FIONREAD, &queued);
        }
        ASSERT_GE(queued, 60000) << "the console did not fill up";
        ::usleep(100'000);

        const auto signalled = std::chrono::steady_clock::now();
        ::kill(tool.pid, sig);
        const Exit exit = Wait(tool, std::chrono::seconds(10));  // a run still going then is killed
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
        EXPECT_TRUE(exit.KilledBy(sig)) << "shell status " << exit.status;
        EXPECT_LT(seconds, 3.0);
        EXPECT_EQ(EntriesIn(dir_.path), std::vector<std::string>{kConfig});
    }
}

// A recorder still writing, or a file replaced in place, gives results that
// belong to no one file: the run stops after the window loop, before any
// output is written.
TEST_F(InterruptedRun, DataFileChangedWhileReadStopsTheRunBeforeAnyOutput) {
    const fs::path copy = dir_.path / "changing.csv";
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"truncated", [&] { fs::resize_file(copy, fs::file_size(copy) / 2); }},
        {"appended to", [&] { std::ofstream(copy, std::ios::app) << "120.0001,1,2,3,4,5,6,7,8,9\r\n"; }},
        {"rewritten in place",
         [&] {
             const int fd = ::open(copy.c_str(), O_WRONLY | O_CLOEXEC);
             ::pwrite(fd, "9", 1, static_cast<off_t>(fs::file_size(copy) - 10));
             ::close(fd);
         }},
    };
    const std::string config = SetLine(ConfigFor(defaultConfig_), "DATA_FILE = ", copy.string());
    const std::string message = "\nData file " + copy.string() +
                                " changed while it was read: its size or modification time differs from when "
                                "it was opened\n";
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        fs::copy_file(data_->path / "flight.csv", copy, fs::copy_options::overwrite_existing);
        WriteFile(dir_.path / kConfig, config);
        WriteFile(dir_.path / "out.mat", "results of an earlier run");

        Process tool = Start(Tool(dir_.path, {}, Sink::Pipe()));
        std::string printed;
        const bool reached = ReadUntil(tool, printed, "Window 2...", std::chrono::seconds(60));
        change();
        ReadToEnd(tool, printed);
        const Exit exit = Wait(tool);
        ASSERT_TRUE(reached) << printed;

        EXPECT_EQ(exit.status, 255);
        EXPECT_TRUE(printed.ends_with(message)) << printed.substr(printed.size() - 300);
        EXPECT_EQ(printed.find("Post-processing"), std::string::npos);
        EXPECT_EQ(ReadFile(dir_.path / "out.mat"), "results of an earlier run");
        EXPECT_EQ(EntriesIn(dir_.path), (std::vector<std::string>{"changing.csv", "out.mat", kConfig}));
    }
}

}  // namespace
