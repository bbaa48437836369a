// The launcher itself: what a test reads from it must be what the program
// did, or process tests would pass or fail for the wrong reasons.

#include "support/process.h"

#include <gtest/gtest.h>

#include "support/files.h"

namespace {

using namespace test_support;

TEST(Launcher, StatusStreamsTimeLimitAndEnvironment) {
    struct Case {
        const char* script;
        int status;
        const char* out;
        const char* err;
        bool timedOut = false;
    };
    const Case cases[] = {
        {"echo out; echo err >&2; exit 3", 3, "out\n", "err\n"},
        {"read line; echo \"[$line]\"", 0, "[]\n", ""},  // standard input is empty
        {"kill -TERM $$", 128 + SIGTERM, "", ""},
        {"echo started; exec sleep 10", 128 + SIGKILL, "started\n", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        Launch launch = Program("/bin/sh", {"-c", c.script});
        launch.out = Sink::Pipe();
        launch.err = Sink::Pipe();
        const Ran ran = RunProgram(launch, std::chrono::milliseconds(500));
        EXPECT_EQ(ran.exit.status, c.status);
        EXPECT_EQ(ran.exit.timedOut, c.timedOut);
        EXPECT_EQ(ran.out, c.out);
        EXPECT_EQ(ran.err, c.err);
    }
    EXPECT_EQ(RunProgram(Program("/no/such/program")).exit.status, 127);

    // Additions replace what the environment held under the same name.
    Launch env = Program("/usr/bin/env");
    env.out = Sink::Pipe();
    env.env = {"VUX_A=1", "HOME=/elsewhere"};
    std::string printed = "\n";
    printed += RunProgram(env).out;
    EXPECT_NE(printed.find("\nVUX_A=1\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("\nHOME=/elsewhere\n"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("\nHOME="), printed.rfind("\nHOME=")) << printed;
}

TEST(Launcher, HelperProcessRunsInTheDirectoryWithLimitsIntoAFile) {
    ScratchDir dir;
    Launch launch = Program("/bin/sh", {"-c", "pwd; ulimit -f; exec sleep 10"});
    launch.dir = dir.path.string();
    launch.out = Sink::File(dir.path / "out");
    launch.fileSizeLimit = 512 * 100;
    Launcher launcher;
    const Exit exit = launcher.Run(launch, std::chrono::milliseconds(300));
    EXPECT_TRUE(exit.timedOut);
    EXPECT_TRUE(exit.KilledBy(SIGKILL));
    EXPECT_GT(exit.peakKiB, 0);
    EXPECT_EQ(ReadFile(dir.path / "out"), dir.path.string() + "\n100\n");
}

}  // namespace
