#include "output/scratch_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "output/output_test_util.h"

using namespace vux;

using namespace output_test;

namespace {

mode_t Permissions(const std::string& path) {
    struct stat info {};
    lstat(path.c_str(), &info);
    return info.st_mode & 0777;
}

}  // namespace

// What an installed file replaces, and what it leaves of the old one.
TEST(ScratchFile, InstalledFileTakesThePathWhole) {
    ScratchDir dir;
    const mode_t mask = umask(022);
    umask(mask);
    struct Case {
        const char* name;
        std::string path;
        std::function<void()> before;
        mode_t mode;  // of the installed file
    };
    const std::string longName = dir / std::string(255, 'L');
    const std::vector<Case> cases = {
        {"a new file", dir / "new.mat", [] {}, static_cast<mode_t>(0666 & ~mask)},
        {"a file the owner alone may read",
         dir / "private.mat",
         [&] {
             WriteFile(dir / "private.mat", "old");
             chmod((dir / "private.mat").c_str(), 0600);
         },
         0600},
        // The link is replaced; the file it pointed to is untouched.
        {"a link", dir / "link.mat",
         [&] {
             WriteFile(dir / "target", "target");
             symlink("target", (dir / "link.mat").c_str());
         },
         static_cast<mode_t>(0666 & ~mask)},
        {"a name of 255 bytes", longName, [] {}, static_cast<mode_t>(0666 & ~mask)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.before();
        ScratchFile file;
        ASSERT_FALSE(OpenScratchFile(c.path, file).refused);
        EXPECT_LE(file.scratchPath.size() - dir.path.string().size() - 1, 255u);
        std::fputs("new", file.stream);
        ASSERT_FALSE(InstallScratchFile(file).has_value());
        EXPECT_EQ(file.stream, nullptr);
        EXPECT_EQ(ReadFile(c.path), "new");
        EXPECT_EQ(Permissions(c.path), c.mode);
    }
    EXPECT_EQ(ReadFile(dir / "target"), "target");
    EXPECT_EQ(EntriesIn(dir.path), (std::vector<std::string>{std::string(255, 'L'), "link.mat", "new.mat",
                                                             "private.mat", "target"}));
}

// However a scratch file is let go of before it is installed, it is removed.
TEST(ScratchFile, AbandonedScratchFilesAreRemoved) {
    ScratchDir dir;
    WriteFile(dir / "out.mat", "old");
    const std::vector<std::pair<const char*, std::function<void(ScratchFile&)>>> endings = {
        {"discarded", [](ScratchFile& f) { DiscardScratchFile(f); }},
        {"opened again", [&](ScratchFile& f) { ASSERT_FALSE(OpenScratchFile(dir / "other.mat", f).refused); }},
        {"replaced by another", [](ScratchFile& f) { f = ScratchFile(); }},
        {"moved and dropped", [](ScratchFile& f) { ScratchFile taken(std::move(f)); }},
        {"destroyed", [](ScratchFile&) {}},
    };
    for (const auto& [name, ending] : endings) {
        SCOPED_TRACE(name);
        {
            ScratchFile file;
            ASSERT_FALSE(OpenScratchFile(dir / "out.mat", file).refused);
            std::fputs("partial", file.stream);
            ending(file);
        }
        EXPECT_EQ(EntriesIn(dir.path), std::vector<std::string>{"out.mat"});
        EXPECT_EQ(ReadFile(dir / "out.mat"), "old");
    }
}
