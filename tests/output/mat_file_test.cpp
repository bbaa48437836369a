#include "output/mat_file.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <functional>
#include <limits>
#include <regex>

#include "output/output_test_util.h"
#include "support/expect.h"

using namespace vux;

using namespace output_test;
using test_support::ExpectStop;

namespace {

constexpr size_t kHeader = 128;

// Writes the vectors (name, values) into a new file and returns its bytes.
std::string WriteMat(const std::string& path, const std::vector<std::pair<std::string, std::vector<double>>>& vectors) {
    MatFile mat = MatCreate(path);
    for (const auto& [name, values] : vectors) {
        MatWriteVector(mat, values.data(), name.c_str(), static_cast<int32_t>(values.size()));
    }
    MatClose(mat);
    return ReadFile(path);
}

std::string AscTimeWithoutNewline(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[64];
    asctime_r(&local, text);
    std::string out(text);
    if (!out.empty() && out.back() == '\n') {
        out.pop_back();
    }
    return out;
}

}  // namespace

TEST(MatFile, HeaderLayout) {
    ScratchDir dir;
    const std::time_t before = std::time(nullptr);
    const std::string bytes = WriteMat(dir / "h.mat", {});
    const std::time_t after = std::time(nullptr);

    ASSERT_EQ(bytes.size(), kHeader);
    EXPECT_EQ(bytes.substr(0, 52), "MATLAB 5.0 MAT-file, Platform: PCWIN64, Created on: ");
    const std::string date = bytes.substr(52, 24);
    EXPECT_TRUE(std::regex_match(date, std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] "
                                                  "[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}")))
        << date;
    EXPECT_TRUE(date == AscTimeWithoutNewline(before) || date == AscTimeWithoutNewline(after)) << date;
    EXPECT_EQ(bytes.substr(76, 40), std::string(40, ' '));
    EXPECT_EQ(bytes.substr(116, 8), std::string(8, '\0'));
    EXPECT_EQ(bytes.substr(124, 4), Bytes({0x00, 0x01, 0x49, 0x4D}));
}

TEST(MatFile, SingleValueElementIsByteExact) {
    ScratchDir dir;
    const std::string bytes = WriteMat(dir / "ab.mat", {{"ab", {1.0}}});
    const std::string expected = Bytes({
        0x0E, 0, 0, 0, 0x38, 0, 0, 0,     // miMATRIX, 56 bytes follow
        0x06, 0, 0, 0, 0x08, 0, 0, 0,     // array flags: miUINT32, 8 bytes
        0x06, 0, 0, 0, 0x00, 0, 0, 0,     // mxDOUBLE_CLASS, nzmax 0
        0x05, 0, 0, 0, 0x08, 0, 0, 0,     // dimensions: miINT32, 8 bytes
        0x01, 0, 0, 0, 0x01, 0, 0, 0,     // 1 x 1
        0x01, 0, 0x02, 0, 'a', 'b', 0, 0, // small name element
        0x09, 0, 0, 0, 0x08, 0, 0, 0,     // miDOUBLE, 8 bytes
        0, 0, 0, 0, 0, 0, 0xF0, 0x3F,     // 1.0
    });
    ASSERT_EQ(bytes.size(), kHeader + 64);
    EXPECT_EQ(bytes.substr(kHeader), expected);
}

// Every name length gets its own element form and byte count B; the values
// always follow the name subelement and each element ends on an 8-byte boundary.
TEST(MatFile, NameFormsAndByteCounts) {
    struct Case {
        size_t length;
        int32_t n;
        uint32_t byteCount;
        size_t nameSubelement;
    };
    const Case cases[] = {
        {0, 2, 48 + 16, 8},     {2, 3, 48 + 24, 8},       {4, 1, 48 + 8, 8},
        {5, 1, 56 + 8, 16},     {8, 10000, 80056, 16},    {9, 2, 64 + 16, 24},
        {16, 1, 64 + 8, 24},    {17, 0, 72, 32},          {122, 1, 48 + 128 + 8, 136},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("name length " + std::to_string(c.length));
        std::string name;
        for (size_t i = 0; i < c.length; ++i) {
            name.push_back(static_cast<char>('A' + i % 26));
        }
        std::vector<double> values(static_cast<size_t>(c.n));
        for (size_t i = 0; i < values.size(); ++i) {
            values[i] = 0.5 * static_cast<double>(i) - 3.0;
        }
        ScratchDir dir;
        const std::string bytes = WriteMat(dir / "n.mat", {{name, values}});
        const std::string element = bytes.substr(kHeader);

        EXPECT_EQ(MatElementByteCount(c.length, static_cast<uint64_t>(c.n)), c.byteCount);
        ASSERT_EQ(element.size(), 8u + c.byteCount);
        EXPECT_EQ(element.size() % 8, 0u);
        EXPECT_EQ(Word(element, 4), c.byteCount);
        EXPECT_EQ(Word(element, 32), static_cast<uint32_t>(c.n));  // rows
        EXPECT_EQ(Word(element, 36), 1u);                          // columns
        const std::string sub = element.substr(40, c.nameSubelement);
        if (c.length <= 4) {
            EXPECT_EQ(sub.substr(0, 4), Bytes({1, 0, static_cast<int>(c.length), 0}));
            EXPECT_EQ(sub.substr(4), name + std::string(4 - c.length, '\0'));
        } else {
            EXPECT_EQ(Word(sub, 0), 1u);
            EXPECT_EQ(Word(sub, 4), c.length);
            EXPECT_EQ(sub.substr(8), name + std::string(c.nameSubelement - 8 - c.length, '\0'));
        }
        const size_t real = 40 + c.nameSubelement;
        EXPECT_EQ(Word(element, real), 9u);
        EXPECT_EQ(Word(element, real + 4), 8u * static_cast<uint32_t>(c.n));
        EXPECT_EQ(element.substr(real + 8),
                  std::string(reinterpret_cast<const char*>(values.data()), values.size() * 8));
    }
}

TEST(MatFile, ElementsGoToAScratchFileAndThePathGetsTheWholeFileOnClose) {
    ScratchDir dir;
    const std::string path = dir / "f.mat";
    WriteFile(path, "earlier results");
    MatFile mat = MatCreate(path);
    const std::string scratch = mat.out.scratchPath;
    EXPECT_EQ(scratch.rfind(dir / ".f.mat.", 0), 0u) << scratch;  // hidden, beside the path
    EXPECT_EQ(ReadFile(scratch).size(), kHeader);
    const double first[] = {1.0, 2.0};
    MatWriteVector(mat, first, "first", 2);
    EXPECT_EQ(ReadFile(scratch).size(), kHeader + 8 + 56 + 16);  // flushed as written
    MatWriteVector(mat, first, "b", 0);
    EXPECT_EQ(ReadFile(path), "earlier results");  // until the file is complete
    MatClose(mat);
    EXPECT_EQ(ReadFile(path).size(), kHeader + 8 + 56 + 16 + 8 + 48);
    EXPECT_EQ(mat.out.stream, nullptr);
    EXPECT_EQ(EntriesIn(dir.path), std::vector<std::string>{"f.mat"});
    MatClose(mat);  // closing twice does nothing
}

TEST(MatFile, CreateFailuresNameThePathAndCause) {
    ScratchDir dir;
    WriteFile(dir / "plain", "x");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
    struct Case {
        std::string path;
        int err;
        FileFault fault;
    };
    std::vector<Case> cases = {
        {dir / "missing/out.mat", ENOENT, FileFault::None},
        {dir / "plain/out.mat", ENOTDIR, FileFault::None},
        {dir.path.string(), EISDIR, FileFault::None},
        {dir / std::string(256, 'n'), ENAMETOOLONG, FileFault::None},
        {dir / "fifo", 0, FileFault::Fifo},
        {"/dev/null", 0, FileFault::Device},
    };
    for (const Case& c : cases) {
        const Error stop = ExpectStop([&] { MatCreate(c.path); });
        EXPECT_EQ(stop.kind, ErrorKind::MatCreate) << c.path;
        EXPECT_EQ(stop.path, c.path);
        EXPECT_EQ(stop.cause.err, c.err) << c.path;
        EXPECT_EQ(stop.cause.fault, c.fault) << c.path;
    }
    if (geteuid() != 0) {
        ASSERT_EQ(mkdir((dir / "ro").c_str(), 0555), 0);
        const Error stop = ExpectStop([&] { MatCreate(dir / "ro/out.mat"); });
        EXPECT_EQ(stop.kind, ErrorKind::MatDirectory);
        EXPECT_EQ(stop.other, dir / "ro");
        EXPECT_EQ(stop.cause.err, EACCES);
    }
    std::vector<std::string> left = EntriesIn(dir.path);
    left.erase(std::remove(left.begin(), left.end(), "ro"), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"fifo", "plain"}));
}

// A full disk (here the file size limit) or a failing rename at any step
// stops the run, removes the scratch file and leaves the previous file.
TEST(MatFile, WriteFlushAndInstallFailuresKeepThePreviousFile) {
    ScratchDir dir;
    const std::string path = dir / "out.mat";
    const std::vector<double> values(100000, 1.0);
    MatFile mat;
    struct Case {
        const char* name;
        long long limit;  // file size limit in bytes, -1: none
        std::function<void()> steps;
        std::string path;  // the MAT-file named
        int err;
    };
    const std::vector<Case> cases = {
        {"the header's flush", 100, [&] { mat = MatCreate(path); }, path, EFBIG},
        {"a large element", 300,
         [&] {
             mat = MatCreate(path);
             MatWriteVector(mat, values.data(), "v", 1);
             MatWriteVector(mat, values.data(), "v", 100000);
         },
         path, EFBIG},
        {"data still buffered at the close", 200,
         [&] {
             mat = MatCreate(path);
             std::fputs(std::string(100, 'p').c_str(), mat.out.stream);
             MatClose(mat);
         },
         path, EFBIG},
        {"the rename", -1,
         [&] {
             mat = MatCreate(dir / "later");
             mkdir((dir / "later").c_str(), 0755);  // the path became a directory meanwhile
             MatClose(mat);
         },
         dir / "later", EISDIR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(path, "earlier results");
        Error stop;
        {
            const FileSizeLimit limit(c.limit);
            stop = ExpectStop(c.steps);
        }
        EXPECT_EQ(stop.kind, ErrorKind::MatWrite);
        EXPECT_EQ(stop.path, c.path);
        EXPECT_EQ(stop.cause.err, c.err);
        EXPECT_EQ(mat.out.stream, nullptr);  // closed before stopping
        EXPECT_EQ(ReadFile(path), "earlier results");
        std::vector<std::string> left = EntriesIn(dir.path);
        left.erase(std::remove(left.begin(), left.end(), "later"), left.end());
        EXPECT_EQ(left, std::vector<std::string>{"out.mat"});
    }
}

TEST(MatFile, VectorsBeyondThe32BitByteCountAreRefused) {
    // The largest vector whose element still fits: B = 48 + 8n <= 0xFFFFFFFF.
    EXPECT_EQ(MatElementByteCount(2, (1u << 29) - 7), 0xFFFFFFF8u);
    EXPECT_GT(MatElementByteCount(2, (1u << 29) - 6), 0xFFFFFFFFu);
    EXPECT_GT(MatElementByteCount(0, 1u << 29), 0xFFFFFFFFu);

    ScratchDir dir;
    const std::string path = dir / "big.mat";
    MatFile mat = MatCreate(path);
    const double one = 1.0;  // never read: the refusal comes before any write
    const Error stop = ExpectStop([&] { MatWriteVector(mat, &one, "big", 1 << 29); });
    EXPECT_EQ(stop.kind, ErrorKind::MatVectorSize);
    EXPECT_EQ(stop.path, path);
    EXPECT_EQ(stop.name, "big");
    EXPECT_EQ(stop.number, 1 << 29);
    EXPECT_EQ(mat.out.stream, nullptr);
    EXPECT_TRUE(EntriesIn(dir.path).empty());  // no part of a file is left behind
    const Error next = ExpectStop([&] { MatWriteVector(mat, &one, "next", 1); });
    EXPECT_EQ(next.kind, ErrorKind::MatWrite);
    EXPECT_EQ(next.cause.fault, FileFault::NotOpen);
}

// 2-D matrices: doubles from memory, singles (padded to 8 bytes) copied from
// a file, in the kernel on one file system and through a buffer from
// another (/dev/shm, where there is one); a copy that would go past the
// 2^31 - 1 byte limit, or whose source ends early, is refused.
TEST(MatFile, MatricesOfDoublesAndCopiedSinglesAreByteExact) {
    ScratchDir dir;
    const std::vector<double> doubles = {1, 2, 3, 4, 5, 6};  // 2 x 3, column-major
    const float singles[3] = {0.5f, -1.0f, 3.0f};
    std::vector<std::string> sources = {dir / "rows"};
    if (access("/dev/shm", W_OK) == 0) sources.push_back("/dev/shm/vux_mat_test_rows." + std::to_string(getpid()));
    for (const std::string& source : sources) {
        SCOPED_TRACE(source);
        WriteFile(source, std::string(reinterpret_cast<const char*>(singles), sizeof singles));
        const UniqueFd fd(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
        ::unlink(source.c_str());
        MatFile mat = MatCreate(dir / "m.mat");
        MatWriteMatrix(mat, "m", 2, 3, doubles.data());
        MatCopyMatrix(mat, "s", MatClass::Single, 3, 1, fd);
        MatClose(mat);
        const std::string bytes = ReadFile(dir / "m.mat").substr(kHeader);
        EXPECT_EQ(MatMatrixByteCount(1, 2, 3, MatClass::Double), 96u);
        EXPECT_EQ(MatMatrixByteCount(1, 3, 1, MatClass::Single), 64u);
        const std::string m = bytes.substr(0, 104);
        EXPECT_EQ(m.substr(0, 40), Bytes({0x0E, 0, 0, 0, 96, 0, 0, 0, 6, 0, 0, 0, 8, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0,
                                          5, 0, 0, 0, 8, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0}));
        EXPECT_EQ(Word(m, 48), 9u);
        EXPECT_EQ(Word(m, 52), 48u);
        EXPECT_EQ(m.substr(56), std::string(reinterpret_cast<const char*>(doubles.data()), 48));
        const std::string s = bytes.substr(104);
        ASSERT_EQ(s.size(), 72u);
        EXPECT_EQ(s.substr(0, 40), Bytes({0x0E, 0, 0, 0, 64, 0, 0, 0, 6, 0, 0, 0, 8, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0,
                                          5, 0, 0, 0, 8, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0}));
        EXPECT_EQ(Word(s, 48), 7u);  // miSINGLE, 12 bytes
        EXPECT_EQ(Word(s, 52), 12u);
        EXPECT_EQ(s.substr(56), std::string(reinterpret_cast<const char*>(singles), 12) + std::string(4, '\0'));
    }

    const UniqueFd short_(::open((dir / "short").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    const std::string path = dir / "refused.mat";
    struct Case {
        int32_t rows, cols;
        ErrorKind kind;
        FileFault fault;
    };
    const Case refusals[] = {
        {65536, 8192, ErrorKind::MatMatrixSize, FileFault::None},
        {-1, 1, ErrorKind::MatMatrixSize, FileFault::None},
        {2, 1, ErrorKind::MatWrite, FileFault::ScratchShort},
    };
    for (const Case& c : refusals) {
        MatFile mat = MatCreate(path);
        const Error stop = ExpectStop([&] { MatCopyMatrix(mat, "big", MatClass::Single, c.rows, c.cols, short_); });
        EXPECT_EQ(stop.kind, c.kind);
        EXPECT_EQ(stop.path, path);
        EXPECT_EQ(stop.cause.fault, c.fault);
        if (c.kind == ErrorKind::MatMatrixSize) {
            EXPECT_EQ(stop.name, "big");
            EXPECT_EQ(stop.number, c.rows);
            EXPECT_EQ(stop.needed, c.cols);
        }
        EXPECT_EQ(mat.out.stream, nullptr);
        EXPECT_FALSE(std::filesystem::exists(path));
    }
}

// Independent readers: what Python's scipy and GNU Octave load from the file.
namespace {

const std::vector<std::pair<std::string, std::vector<double>>>& ReaderVectors() {
    static const std::vector<std::pair<std::string, std::vector<double>>> vectors = {
        {"ab", {1.0}},
        {"abcd", {}},
        {"abcde", {-0.0, 4.9406564584124654e-324, std::numeric_limits<double>::max(), M_PI}},
        {"TIME_out", {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                      std::numeric_limits<double>::quiet_NaN(), 1e-300, -123456.789}},
        {"ABCDEFGHIJKLMNOP", {0.1, 0.2, 0.3}},
        {std::string(60, 'L') + "_out", {2.5, -2.5}},
    };
    return vectors;
}

std::string ExpectedListing() {
    std::string listing;
    for (const auto& [name, values] : ReaderVectors()) {
        listing += ListingLine(name, values);
    }
    return listing;
}

}  // namespace

TEST(MatFileReaders, ScipyLoadsNamesShapesAndExactValues) {
    if (const std::string missing = MissingScipy(); !missing.empty()) {
        GTEST_SKIP() << missing << " (Debian packages python3-scipy, python3-numpy)";
    }
    ScratchDir dir;
    const std::string path = dir / "r.mat";
    WriteMat(path, ReaderVectors());
    const CommandResult result =
        RunCommand(std::string(kPython) + " " + ShellQuote(ScriptDir() + "/read_mat.py") + " " + ShellQuote(path), false);
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output, ExpectedListing());
}

TEST(MatFileReaders, OctaveLoadsNamesShapesAndExactValues) {
    if (const std::string missing = MissingOctave(); !missing.empty()) {
        GTEST_SKIP() << missing << " (Debian package octave)";
    }
    ScratchDir dir;
    const std::string path = dir / "r.mat";
    WriteMat(path, ReaderVectors());
    const CommandResult result = RunCommand(OctaveCommand("addpath('" + ScriptDir() + "'); read_mat('" + path + "')"), false);
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output, ExpectedListing());
}

// Both readers keep the last of two variables with the same name; scipy lists
// both in file order.
TEST(MatFileReaders, RepeatedNamesKeepTheLastVector) {
    if (const std::string missing = MissingScipy(); !missing.empty()) {
        GTEST_SKIP() << missing << " (Debian packages python3-scipy, python3-numpy)";
    }
    ScratchDir dir;
    const std::string path = dir / "d.mat";
    WriteMat(path, {{"dup", {1.0}}, {"x", {2.0}}, {"dup", {3.0, 4.0}}});
    const CommandResult result = RunCommand(std::string(kPython) + " " + ShellQuote(ScriptDir() + "/read_mat.py") +
                                            " --list " + ShellQuote(path), false);
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output, "dup 1 1 double\nx 1 1 double\ndup 2 1 double\n");
}

// An empty name is a valid element: the vectors after it stay readable. (scipy
// files it under its function-workspace name; Octave's load stops at it, so
// the export never writes one: a column's name always carries a suffix.)
TEST(MatFileReaders, ElementsAfterAnEmptyNameStayReadable) {
    if (const std::string missing = MissingScipy(); !missing.empty()) {
        GTEST_SKIP() << missing << " (Debian packages python3-scipy, python3-numpy)";
    }
    ScratchDir dir;
    const std::string path = dir / "e.mat";
    WriteMat(path, {{"", {1.0, 2.0}}, {"after", {3.0}}});
    const CommandResult result = RunCommand(std::string(kPython) + " " + ShellQuote(ScriptDir() + "/read_mat.py") +
                                                " --list " + ShellQuote(path), false);
    ASSERT_EQ(result.status, 0) << result.output;
    const size_t firstLineEnd = result.output.find('\n');
    ASSERT_NE(firstLineEnd, std::string::npos);
    EXPECT_TRUE(result.output.substr(0, firstLineEnd).ends_with(" 2 1 double")) << result.output;
    EXPECT_EQ(result.output.substr(firstLineEnd + 1), "after 1 1 double\n");
}
