#include "config/config_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <functional>
#include <string>

#include "config/scratch_config.h"
#include "test_util.h"
#include "support/expect.h"

using namespace vux;

namespace {

using namespace config_test;

TEST(DefaultConfig, ExactBytes) {
    EXPECT_EQ(kDefaultConfig.size(), 4138u);
    EXPECT_TRUE(kDefaultConfig.starts_with("%%%%%%%%%% PROGRAM STRINGS %%%%%%%%%%\n#STRINGS\n"));
    EXPECT_TRUE(kDefaultConfig.ends_with("Z Lin Accel Pwr Spectral Density\n\n#ENDCFG"));
    EXPECT_EQ(kDefaultConfig.find('\r'), std::string_view::npos);
    // The five lines that end in blanks.
    for (const char* line : {"\n \n", "\nANGY, 1, 2, 1y0, 1.25    \n", "\nANGZ, 1, 2, 1z0, 1.27   \n",
                             "\nLINX, 1, 2, 2x0, 108.4 \n", "\nLINZ, 1, 2, 2z0, 104.3 \n"}) {
        EXPECT_NE(kDefaultConfig.find(line), std::string_view::npos) << line;
    }
    EXPECT_NE(kDefaultConfig.find("\nDATA_FILE = C:\\Users\\Pellam\\Downloads\\6June2014-nose-"
                                  "high-2\\Q417-nose-high-2-UNFILTERED.csv\n"),
              std::string_view::npos);
    if (auto expected = CaseFile("cli__first-run-no-config/expected", "vux_reader.cfg")) {
        EXPECT_EQ(kDefaultConfig, *expected);
    }
}

class OpenConfigTest : public ScratchDirTest {
protected:
    // Runs OpenConfig; returns the steps it told (kReading, kCreating) and
    // what the returned file reads, and keeps the backup it told of in
    // `warned_` ("backed up N bytes").
    std::pair<std::string, std::string> Open() {
        std::string told;
        warned_.clear();
        UniqueFile file = OpenConfig([&](const ConfigNote& note) { told += Told(note, warned_); });
        EXPECT_NE(file, nullptr);
        return {told, file ? ReadRest(file.get()) : ""};
    }

    static std::string Told(const ConfigNote& note, std::string& warned) {
        if (note.step == ConfigStep::ReadingFile) return "reading;";
        if (note.step == ConfigStep::WritingDefault) return "default;";
        if (note.step == ConfigStep::BackedUp) warned = "backed up " + std::to_string(note.bytes) + " bytes";
        return "";
    }

    std::string warned_;
};

const std::string kCreating = "default;";
const std::string kReading = "reading;";

TEST_F(OpenConfigTest, MissingFileGetsTheDefault) {
    auto [printed, content] = Open();
    EXPECT_EQ(printed, kCreating);
    EXPECT_EQ(content, kDefaultConfig);
    EXPECT_EQ(ReadFile(kConfigFileName), kDefaultConfig);
}

TEST_F(OpenConfigTest, SizeThresholdAndTheBackupOfAReplacedFile) {
    const std::string small(1000, 'x');
    WriteFile(kConfigFileName, small);
    ASSERT_EQ(::chmod(kConfigFileName, 0640), 0);
    // An older backup that is a link: replaced, never followed.
    WriteFile("elsewhere", "not to be touched");
    fs::create_symlink("elsewhere", kBackupConfigName);
    auto [printed, content] = Open();
    EXPECT_EQ(printed, kReading + kCreating);
    EXPECT_EQ(content, kDefaultConfig);
    EXPECT_EQ(ReadFile(kConfigFileName), kDefaultConfig);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(kBackupConfigName)));
    EXPECT_EQ(ReadFile(kBackupConfigName), small);
    EXPECT_EQ(ReadFile("elsewhere"), "not to be touched");
    struct stat info {};
    ASSERT_EQ(::stat(kBackupConfigName, &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(warned_, "backed up 1000 bytes");

    const std::string kept = "#STRINGS\n" + std::string(992, 'x');  // 1001 bytes
    WriteFile(kConfigFileName, kept);
    std::tie(printed, content) = Open();
    EXPECT_EQ(printed, kReading);
    EXPECT_EQ(content, kept);
    EXPECT_EQ(ReadFile(kConfigFileName), kept);
    EXPECT_EQ(ReadFile(kBackupConfigName), small);
    EXPECT_EQ(warned_, "");
}

TEST_F(OpenConfigTest, EmptyFileIsReplacedWithoutABackup) {
    WriteFile(kConfigFileName, "");
    auto [printed, content] = Open();
    EXPECT_EQ(printed, kReading + kCreating);
    EXPECT_EQ(content, kDefaultConfig);
    EXPECT_FALSE(fs::exists(kBackupConfigName));
    EXPECT_EQ(warned_, "");
}

TEST_F(OpenConfigTest, ABackupThatCannotBeMadeStopsTheRunBeforeTheDefaultIsWritten) {
    fs::create_directories(fs::path(kBackupConfigName) / "inside");  // no rename replaces it
    WriteFile(kConfigFileName, "tiny");
    std::string told;
    const Error stop = ExpectStop([&] { OpenConfig([&](const ConfigNote& n) { told += Told(n, warned_); }); });
    EXPECT_EQ(told, kReading);
    EXPECT_EQ(stop.kind, ErrorKind::ScratchConfigReplace);
    EXPECT_EQ(stop.path, kBackupConfigName);
    EXPECT_EQ(stop.cause.err, EISDIR);
    EXPECT_EQ(ReadFile(kConfigFileName), "tiny");
    EXPECT_FALSE(fs::exists(fs::symlink_status(kScratchConfigName)));
}

TEST_F(OpenConfigTest, ConformingCaseKeepsItsFile) {
    auto input = CaseFile("cfg__size-1001-kept/input", "vux_reader.cfg");
    if (!input) GTEST_SKIP() << "conformance cases not present";
    WriteFile(kConfigFileName, *input);
    auto [printed, content] = Open();
    EXPECT_EQ(printed, kReading);
    EXPECT_EQ(content, *input);
}

TEST_F(OpenConfigTest, ADirectoryInItsPlaceStopsTheRun) {
    fs::create_directory(kConfigFileName);
    const Error stop = ExpectStop([] { OpenConfig(); });
    EXPECT_EQ(stop.kind, ErrorKind::ConfigNotRegular);
    EXPECT_EQ(stop.path, kConfigFileName);
}

TEST_F(OpenConfigTest, UnreadableOrUncreatableFileStopsTheRun) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    WriteFile(kConfigFileName, std::string(2000, 'x'));
    fs::permissions(kConfigFileName, fs::perms::none);
    Error stop = ExpectStop([] { OpenConfig(); });
    EXPECT_EQ(stop.kind, ErrorKind::ConfigCannotOpen);
    EXPECT_EQ(stop.path, kConfigFileName);
    EXPECT_EQ(stop.cause.err, EACCES);

    fs::remove(kConfigFileName);
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    stop = ExpectStop([] { OpenConfig(); });
    EXPECT_EQ(stop.kind, ErrorKind::ScratchConfigCreate);
    EXPECT_EQ(stop.path, kConfigFileName);
    EXPECT_EQ(stop.cause.err, EACCES);
}

TEST_F(OpenConfigTest, ADefaultThatCannotBeWrittenLeavesTheOldFileAndNoScratch) {
    // In a child process limited to 100-byte files, writing the default fails;
    // the corrupt file it was to replace is still there, untouched.
    const std::string corrupt = "#STRINGS\nDATA_FILE = x\n";
    WriteFile(kConfigFileName, corrupt);
    EXPECT_EXIT(
        {
            LimitFileSize(100);
            const Error stop = ExpectStop([] { OpenConfig(); });
            bool reported = stop.kind == ErrorKind::ScratchConfigWrite && stop.cause.err == EFBIG;
            bool kept = ReadFile(kConfigFileName) == corrupt;
            std::_Exit(reported && kept && !fs::exists(kScratchConfigName) ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    // Without a file before it, none is left behind.
    fs::remove(kConfigFileName);
    EXPECT_EXIT(
        {
            LimitFileSize(100);
            ExpectStop([] { OpenConfig(); });
            std::_Exit(!fs::exists(kConfigFileName) && !fs::exists(kScratchConfigName) ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(OpenConfigTest, ScratchThatCannotBeCreatedStopsTheRunBeforeAnythingChanges) {
    // A directory that is not empty stands where the scratch file must be
    // created (works as root, where a read-only directory would not bind).
    fs::create_directories(fs::path(kScratchConfigName) / "inside");
    WriteFile(kConfigFileName, "tiny");
    std::string printed;
    const Error stop = ExpectStop([&] { OpenConfig([&](const ConfigNote& n) { printed += Told(n, warned_); }); });
    EXPECT_EQ(stop.kind, ErrorKind::ScratchConfigRemove);
    EXPECT_EQ(stop.path, kBackupConfigName);
    EXPECT_EQ(stop.cause.err, ENOTEMPTY);
    EXPECT_EQ(printed, kReading);  // the "Creating new file" line would be a lie
    EXPECT_EQ(ReadFile(kConfigFileName), "tiny");
    EXPECT_FALSE(fs::exists(kBackupConfigName));
    EXPECT_TRUE(fs::is_directory(kScratchConfigName));

    fs::remove(kConfigFileName);
    EXPECT_EQ(ExpectStop([] { OpenConfig(); }).path, kConfigFileName);  // removing the old recfg for it
}

TEST_F(OpenConfigTest, WhateverStandsAtTheScratchNameIsRemovedNeverFollowedOrRead) {
    WriteFile("target", "not to be touched");
    const std::function<void()> leftovers[] = {
        // A longer scratch file than the default: none of its bytes may stay.
        [] { WriteFile(kScratchConfigName, "#STRINGS\nDATA_FILE = stale.csv\n" + std::string(20000, 'z')); },
        [] { fs::create_symlink("target", kScratchConfigName); },
        [] { fs::create_symlink("nowhere", kScratchConfigName); },
        [] { ::mkfifo(kScratchConfigName, 0644); },  // opening it would wait for a writer
        [] { fs::create_directory(kScratchConfigName); },
    };
    for (const auto& leave : leftovers) {
        fs::remove(kConfigFileName);
        leave();
        auto [printed, content] = Open();
        EXPECT_EQ(printed, kCreating);
        EXPECT_EQ(content, kDefaultConfig);
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(kConfigFileName)));
        EXPECT_EQ(ReadFile(kConfigFileName), kDefaultConfig);
        EXPECT_FALSE(fs::exists(fs::symlink_status(kScratchConfigName)));
        EXPECT_EQ(ReadFile("target"), "not to be touched");
    }
    // Beside a configuration that is kept, a stale scratch file plays no part.
    WriteFile(kScratchConfigName, "#STRINGS\nDATA_FILE = stale.csv\n");
    auto [printed, content] = Open();
    EXPECT_EQ(printed, kReading);
    EXPECT_EQ(content, kDefaultConfig);
}

}  // namespace
