// The words of every way a run stops, pinned in one golden file,
// tests/run/golden/messages.txt (set VUX_UPDATE_GOLDEN=1 to rewrite it after
// a deliberate change, then review the diff). Lower layers throw kinds and
// facts; these are the messages the run prints for them.

#include "run/messages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "run/command_line.h"
#include "support/files.h"

using namespace vux;

namespace {

Error E(ErrorKind kind, std::string path = {}, Cause cause = {}, std::string name = {}, std::string other = {},
        int64_t number = 0) {
    Error e;
    e.kind = kind;
    e.path = std::move(path);
    e.cause = cause;
    e.name = std::move(name);
    e.other = std::move(other);
    e.number = number;
    return e;
}

Error TooLarge() {
    Error e = E(ErrorKind::WindowSizeTooLarge, {}, {}, {}, {}, 2147483647);
    e.needed = 3367254360064.0;
    e.available = 25769803776.0;
    return e;
}

TEST(Messages, EveryKindAsTheRunPrintsIt) {
    using K = ErrorKind;
    using F = FileFault;
    const std::vector<std::pair<const char*, Error>> cases = {
        {"Usage", E(K::Usage)},
        {"ArgumentLineBreak", E(K::ArgumentLineBreak)},
        {"ArgumentRefused LineBreak", E(K::ArgumentRefused, {}, {}, "DATA_FILE", "a\nb", 0)},
        {"ArgumentRefused Blank", E(K::ArgumentRefused, {}, {}, "DATA_FILE", "da ta.csv", 1)},
        {"ArgumentRefused Percent", E(K::ArgumentRefused, {}, {}, "OUTPUT_FILE", "a%b.mat", 2)},
        {"ArgumentRefused Empty", E(K::ArgumentRefused, {}, {}, "DATA_FILE", "", 3)},
        {"ArgumentRefused NoFileName", E(K::ArgumentRefused, {}, {}, "OUTPUT_FILE", "out/", 4)},
        {"ArgumentRefused LeadingDash", E(K::ArgumentRefused, {}, {}, "DATA_FILE", "-x.csv", 5)},
        {"ArgumentRefused NotANumber", E(K::ArgumentRefused, {}, {}, "THETA_X", "ninety", 6)},
        {"ArgumentRefused NotFinite", E(K::ArgumentRefused, {}, {}, "THETA_Y", "1e999", 7)},
        {"InvalidInputName", E(K::InvalidInputName)},
        {"InvalidOutputName", E(K::InvalidOutputName)},
        {"OutputIsPlotScript", E(K::OutputIsPlotScript, "vuxplots.m")},
        {"TargetIsDataFile", E(K::TargetIsDataFile, "out.mat", {}, {}, "data.csv")},
        {"TargetIsConfig plot script", E(K::TargetIsConfig, "vuxplots.m", {}, {}, {}, 1)},
        {"TargetIsScratchConfig", E(K::TargetIsScratchConfig, "recfg")},
        {"TargetIsSpecial FIFO", E(K::TargetIsSpecial, "pipe.mat", {0, F::Fifo})},
        {"TargetIsSpecial socket", E(K::TargetIsSpecial, "link.mat", {0, F::Socket})},
        {"TargetIsSpecial device", E(K::TargetIsSpecial, "vuxplots.m", {0, F::Device}, {}, {}, 1)},
        {"TargetIsDirectory", E(K::TargetIsDirectory, "res.mat")},
        {"TargetIsOtherOutput run record", E(K::TargetIsOtherOutput, "link.json", {}, {}, "res.mat", 2)},
        {"OutputDirectoryMissing", E(K::OutputDirectoryMissing, "out", {ENOENT}, {}, "out/res.mat")},
        {"OutputDirectoryMissing unreachable", E(K::OutputDirectoryMissing, "out", {EACCES}, {}, "out/res.mat")},
        {"OutputDirectoryNotADirectory", E(K::OutputDirectoryNotADirectory, "out", {}, {}, "out/res.mat")},
        {"UnbalancedParentheses", E(K::UnbalancedParentheses)},
        {"MissingOperand", E(K::MissingOperand, {}, {}, "MY_EQ", "*")},
        {"WindowSizeTooSmall", E(K::WindowSizeTooSmall, {}, {}, {}, {}, 1)},
        {"WindowSizeTooLarge", TooLarge()},
        {"SampleFreqTooSmall", E(K::SampleFreqTooSmall, {}, {}, {}, {}, 0)},
        {"NoWindowFunction", E(K::NoWindowFunction, {}, {}, "X")},
        {"FftOncePerWindow", E(K::FftOncePerWindow, {}, {}, "F")},
        {"InputMissing", E(K::InputMissing, "data/nosuch.csv")},
        {"DataUnreadable directory", E(K::DataUnreadable, "data.csv", {0, F::Directory})},
        {"DataUnreadable FIFO", E(K::DataUnreadable, "data.csv", {0, F::Fifo})},
        {"DataUnreadable socket", E(K::DataUnreadable, "data.csv", {0, F::Socket})},
        {"DataUnreadable device", E(K::DataUnreadable, "/dev/zero", {0, F::Device})},
        {"DataUnreadable other kind", E(K::DataUnreadable, "data.csv", {0, F::NotRegular})},
        {"DataUnreadable errno", E(K::DataUnreadable, "locked.csv", {EACCES})},
        {"DataReadFailed", E(K::DataReadFailed, "data.csv", {EIO})},
        {"DataNoMarker", E(K::DataNoMarker, "data.csv")},
        {"DataCrLineEnds", E(K::DataCrLineEnds, "data.csv")},
        {"DataHeadingsIncomplete", E(K::DataHeadingsIncomplete, "data.csv")},
        {"DataHeadingsTooLong", E(K::DataHeadingsTooLong, "data.csv", {}, {}, {}, 16)},
        {"DataChanged", E(K::DataChanged, "data.csv")},
        {"ConfigNotRegular", E(K::ConfigNotRegular, "vux_reader.cfg")},
        {"ConfigCannotOpen", E(K::ConfigCannotOpen, "vux_reader.cfg", {EACCES})},
        {"ConfigCannotRead", E(K::ConfigCannotRead, "vux_reader.cfg", {EIO})},
        {"ConfigReadFailed", E(K::ConfigReadFailed, "vux_reader.cfg", {EIO})},
        {"LockDirectoryOpen", E(K::LockDirectoryOpen, ".", {EMFILE})},
        {"LockDirectory", E(K::LockDirectory, ".", {ENOLCK})},
        {"ScratchConfigRemove", E(K::ScratchConfigRemove, "vux_reader.cfg", {ENOTEMPTY})},
        {"ScratchConfigRemove for the backup", E(K::ScratchConfigRemove, "vux_reader.cfg.bak", {ENOTEMPTY})},
        {"ScratchConfigCreate", E(K::ScratchConfigCreate, "vux_reader.cfg", {EACCES})},
        {"ScratchConfigWrite", E(K::ScratchConfigWrite, "vux_reader.cfg", {EFBIG})},
        {"ScratchConfigWrite without errno", E(K::ScratchConfigWrite, "vux_reader.cfg")},
        {"ScratchConfigReplace", E(K::ScratchConfigReplace, "vux_reader.cfg.bak", {EISDIR})},
        {"ArgumentKeyMissing", E(K::ArgumentKeyMissing, "vux_reader.cfg", {}, "DATA_FILE", "#STRINGS")},
        {"ArgumentValueBlanks", E(K::ArgumentValueBlanks, "vux_reader.cfg", {}, "THETA_Z", "#CONSTANTS", 7)},
        {"MatCreate errno", E(K::MatCreate, "missing/out.mat", {ENOENT})},
        {"MatCreate FIFO", E(K::MatCreate, "fifo", {0, F::Fifo})},
        {"MatCreate socket", E(K::MatCreate, "sock", {0, F::Socket})},
        {"MatCreate device", E(K::MatCreate, "/dev/null", {0, F::Device})},
        {"MatDirectory", E(K::MatDirectory, "ro/out.mat", {EACCES}, {}, "ro")},
        {"MatDirectory working directory", E(K::MatDirectory, "out.mat", {EROFS})},
        {"MatWrite", E(K::MatWrite, "out.mat", {EFBIG})},
        {"MatWrite not open", E(K::MatWrite, "out.mat", {0, F::NotOpen})},
        {"MatWrite not complete", E(K::MatWrite, "out.mat", {0, F::NotComplete})},
        {"MatVectorSize too large", E(K::MatVectorSize, "big.mat", {}, "big", {}, 536870912)},
        {"MatVectorSize negative", E(K::MatVectorSize, "big.mat", {}, "neg", {}, -1)},
        {"PlotScriptCreate", E(K::PlotScriptCreate, "full/vuxplots.m", {0, F::Device})},
        {"PlotScriptDirectory", E(K::PlotScriptDirectory, "ro/vuxplots.m", {EACCES}, {}, "ro")},
        {"PlotScriptWrite", E(K::PlotScriptWrite, "old/vuxplots.m", {EFBIG})},
        {"RecordCreate", E(K::RecordCreate, "out.json", {0, F::Fifo})},
        {"RecordDirectory", E(K::RecordDirectory, "ro/out.json", {EACCES}, {}, "ro")},
        {"RecordWrite", E(K::RecordWrite, "out.json", {ENOSPC})},
        {"OutOfMemory", E(K::OutOfMemory)},
    };
    std::string text;
    for (const auto& [label, error] : cases) {
        text += "-- ";
        text += label;
        text += "\n";
        text += Message(error);
        text += "\n";
    }
    const char* src = std::getenv("VUX_SOURCE_DIR");
    ASSERT_NE(src, nullptr);
    const std::filesystem::path golden = std::filesystem::path(src) / "tests/run/golden/messages.txt";
    if (std::getenv("VUX_UPDATE_GOLDEN") != nullptr) test_support::WriteFile(golden, text);
    EXPECT_EQ(text, test_support::ReadFile(golden)) << "golden file " << golden;
}

}  // namespace
