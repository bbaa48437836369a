// Whole runs that cannot write one of their files: each must stop with one
// message naming the file and the reason, status 255, and never print a
// "done!" or a summary for the file it did not write.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tool_process.h"

namespace {

using namespace tool_test;

struct Case {
    const char* name;
    std::function<void(const fs::path& dir)> prepare;  // lays out the directory
    long long fileSizeLimit;  // -1: none
    bool readsData;           // reaches the output steps (needs a generated data file)
    const char* lastStep;     // the console text just before the message
    const char* message;
};

TEST(RunsThatCannotWrite, StopWithTheFileAndTheReasonAndClaimNothing) {
    ScratchDir data;
    std::string dataPath;
#ifdef VUX_GEN_PATH
    dataPath = (data.path / "flight.csv").string();
    const std::string command = std::string("'") + VUX_GEN_PATH + "' --duration 2 -o '" + dataPath + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
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
        {"plot script blocked", [](const fs::path& dir) { fs::create_directory(dir / "vuxplots.m"); },
         -1, true, "\nCreating MATLAB autodisplay script...",
         "\nCannot create plot script vuxplots.m: Is a directory\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.readsData && dataPath.empty()) continue;
        ScratchDir dir;
        c.prepare(dir.path);
        std::string printed;
        const int raw = RunTool(dir.path, {c.readsData ? dataPath : "missing.csv", "out.mat"}, &printed,
                                c.fileSizeLimit);
        EXPECT_EQ(ShellStatus(raw), 255) << printed;
        EXPECT_TRUE(printed.ends_with(std::string(c.lastStep) + c.message)) << printed;
        EXPECT_EQ(printed.find("Analysis complete"), std::string::npos);
        EXPECT_FALSE(fs::is_regular_file(dir.path / "recfg"));
        // The configuration is there exactly when its write succeeded.
        EXPECT_EQ(fs::exists(dir.path / "vux_reader.cfg"), c.readsData);
    }
}

}  // namespace
