// Whole runs that cannot write one of their files: each must stop with one
// message naming the file and the reason, status 255, never print a "done!"
// or a summary for the file it did not write, keep every file it would have
// replaced and leave no scratch file. And runs whose console takes nothing,
// which must say so on the error stream and end with status 255.

#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace test_support;

struct Case {
    const char* name;
    std::function<void(const fs::path& dir)> prepare;  // lays out the directory
    long long fileSizeLimit;  // -1: none; else as `ulimit -f` sets it (SIGXFSZ not ignored)
    bool readsData;           // reaches the output steps (needs a generated data file)
    const char* lastStep;     // the console text just before the message
    const char* message;
    bool ownConfig = false;   // prepare writes vux_reader.cfg, the run has no arguments
};

TEST(RunsThatCannotWrite, StopWithTheFileAndTheReasonAndClaimNothing) {
    ScratchDir data;
    std::string dataPath;
#ifdef VUX_GEN_PATH
    dataPath = (data.path / "flight.csv").string();
    ASSERT_EQ(RunProgram(Program(VUX_GEN_PATH, {"--duration", "2", "-o", dataPath})).exit.status, 0);
#endif

    const std::vector<Case> cases = {
        // Root ignores a read-only directory: a directory stands in the way.
        {"default configuration, scratch file blocked",
         [](const fs::path& dir) { fs::create_directories(dir / "recfg" / "inside"); }, -1, false,
         "\n\n", "\nCannot remove the old recfg: Directory not empty\n"},
        {"default configuration larger than the file size limit", [](const fs::path&) {}, 2000, false,
         "Config file not found or corrupted.  Creating new file......\n",
         "\nCannot write recfg: File too large\n"},
        {"MAT-file larger than the file size limit", [](const fs::path&) {}, 20000, true,
         "\nWriting data to matlab file...", "\nCannot write MAT-file out.mat: File too large\n"},
        // Found before the data file is read.
        {"plot script blocked", [](const fs::path& dir) { fs::create_directory(dir / "vuxplots.m"); },
         -1, true, "Config file processing complete!\n\n", "\nPlot script vuxplots.m is a directory, not a file\n"},
        // A title of 40000 bytes makes the script larger than the MAT-file
        // of windows of 64 samples (about 10 kB).
        {"plot script larger than the file size limit",
         [&](const fs::path& dir) {
             RunProgram(Tool(dir, {dataPath, "out.mat"}));
             std::string config = ReadFile(dir / "vux_reader.cfg");
             config.replace(config.find("WINDOW_SIZE = 10000"), 19, "WINDOW_SIZE = 64");
             config.replace(config.find("psia, 0"), 7, "psia, " + std::string(40000, 'T'));
             WriteFile(dir / "vux_reader.cfg", config);
             fs::remove(dir / "vuxplots.m");
         },
         30000, true, "\nCreating MATLAB autodisplay script...", "\nCannot write plot script vuxplots.m: File too large\n",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.readsData && dataPath.empty()) continue;
        ScratchDir dir;
        c.prepare(dir.path);
        WriteFile(dir.path / "out.mat", "earlier results");
        std::vector<std::string> args{c.readsData ? dataPath : "missing.csv", "out.mat"};
        if (c.ownConfig) args.clear();
        Launch launch = Tool(dir.path, args, Sink::Pipe());
        launch.fileSizeLimit = c.fileSizeLimit;
        const Ran ran = RunProgram(launch);
        const std::string& printed = ran.out;
        EXPECT_EQ(ran.exit.status, 255) << printed;
        EXPECT_TRUE(printed.ends_with(std::string(c.lastStep) + c.message)) << printed;
        EXPECT_EQ(printed.find("Analysis complete"), std::string::npos);
        EXPECT_FALSE(fs::is_regular_file(dir.path / "recfg"));
        // The configuration is there exactly when its write succeeded.
        EXPECT_EQ(fs::exists(dir.path / "vux_reader.cfg"), c.readsData);
        // The earlier MAT-file is kept, even when the new one was written
        // whole before the plot script failed.
        EXPECT_TRUE(ReadFile(dir.path / "out.mat") == "earlier results") << "out.mat was replaced";
        for (const std::string& name : EntriesIn(dir.path)) EXPECT_NE(name[0], '.') << "left behind: " << name;
    }
}

// A directory that refuses new files is named as the cause, not the file.
// Permissions do not bind root: a root test runs the tool as user 65534.
TEST(RunsThatCannotWrite, ADirectoryThatRefusesTheFilesIsNamed) {
#ifndef VUX_GEN_PATH
    GTEST_SKIP() << "no generated data file (vux_gen not built)";
#else
    ScratchDir data;
    const std::string dataPath = (data.path / "flight.csv").string();
    ASSERT_EQ(RunProgram(Program(VUX_GEN_PATH, {"--duration", "2", "-o", dataPath})).exit.status, 0);
    ScratchDir dir;
    fs::create_directory(dir.path / "ro");
    fs::permissions(data.path, static_cast<fs::perms>(0755));
    fs::permissions(dir.path, static_cast<fs::perms>(0777));  // the configuration is rewritten there
    fs::permissions(dir.path / "ro", static_cast<fs::perms>(0555));
    Launch launch = Tool(dir.path, {dataPath, "ro/o.mat"}, Sink::Pipe());
    if (::geteuid() == 0) launch.user = 65534;
    const Ran ran = RunProgram(launch);
    EXPECT_EQ(ran.exit.status, 255) << ran.out;
    EXPECT_TRUE(ran.out.ends_with("\nWriting data to matlab file...\nCannot create MAT-file ro/o.mat: "
                                  "directory ro cannot be written: Permission denied\n"))
        << ran.out;
    EXPECT_TRUE(fs::is_empty(dir.path / "ro"));
#endif
}

TEST(RunsThatCannotWrite, TheirConsoleSayItOnTheErrorStreamAfterWritingTheFiles) {
#ifndef VUX_GEN_PATH
    GTEST_SKIP() << "no generated data file (vux_gen not built)";
#else
    ScratchDir data;
    const std::string dataPath = (data.path / "flight.csv").string();
    ASSERT_EQ(RunProgram(Program(VUX_GEN_PATH, {"--duration", "2", "-o", dataPath})).exit.status, 0);
    const std::vector<std::string> args{dataPath, "out.mat"};
    ScratchDir reference;
    ASSERT_EQ(RunProgram(Tool(reference.path, args)).exit.status, 10);
    const std::string whole = ReadFile(reference.path / "out.mat");

    struct Case {
        const char* name;
        Sink console;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"closed", Sink::Closed(), "Bad file descriptor"},
        {"a full device", Sink::File("/dev/full"), "No space left on device"},
        {"a pipe whose reader is gone", Sink::BrokenPipe(), "Broken pipe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        ScratchDir errors;
        Launch launch = Tool(dir.path, args, c.console);
        launch.err = Sink::File(errors.path / "stderr");
        EXPECT_EQ(RunProgram(launch).exit.status, 255);
        EXPECT_EQ(ReadFile(errors.path / "stderr"),
                  std::string("vux_reader: error: standard output could not be written: ") + c.reason + "\n");
        // The files are whole (none took the console's place): all but the
        // MAT-file's creation date (bytes 52 to 75) as in a normal run.
        const std::string mat = ReadFile(dir.path / "out.mat");
        ASSERT_EQ(mat.size(), whole.size());
        EXPECT_EQ(mat.compare(0, 52, whole, 0, 52), 0);
        EXPECT_EQ(mat.compare(76, std::string::npos, whole, 76), 0);
        EXPECT_EQ(ReadFile(dir.path / "vuxplots.m"), ReadFile(reference.path / "vuxplots.m"));
        EXPECT_EQ(EntriesIn(dir.path), (std::vector<std::string>{"out.mat", "vux_reader.cfg", "vuxplots.m"}));
    }
#endif
}

}  // namespace
