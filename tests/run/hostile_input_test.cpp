// Hostile inputs for whole runs of the built tool: broken, binary, huge and
// deeply nested configurations, data files that are no files, that never end
// a line, that hold NUL bytes or gigabytes of nothing, and paths that would
// make the run destroy what it reads. Every run has a time limit (a run
// still going is a hang) and a memory limit (RLIMIT_AS, and its peak resident
// size as wait4 reports it); it must end by itself with the expected status
// and message, never by a signal.

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support/files.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace test_support;

// AddressSanitizer reserves terabytes of address space: an address-space
// limit would stop it from starting, so such builds are held to the peak
// resident size only.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr long long kMiB = 1 << 20;
constexpr long long kAddressSpaceLimit = 1024 * kMiB;

constexpr const char* kMarker = "Data Starts Here,,,,,,,,,,,,,,,,,,,\n";

// Replaces the first `from` of `text` with `to`; a table row that names text
// the base does not hold is a fault of the row.
std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at == std::string::npos) throw std::logic_error("no \"" + from + "\" to replace");
    return text.replace(at, from.size(), to);
}

std::string Repeat(const std::string& piece, size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (size_t i = 0; i < times; ++i) out += piece;
    return out;
}

// Four columns (every-sample time, normalised, FFT-type in rotation group 1,
// once per window) in windows of 4. The comment up front keeps the file above
// the size under which it would be replaced by the default.
std::string BaseConfig() {
    return "%" + std::string(1000, '-') + "\n" +
           "#STRINGS\n"
           "DATA_FILE = data.csv\n"
           "OUTPUT_FILE = out.mat\n"
           "#CONSTANTS\n"
           "WINDOW_SIZE = 4\n"
           "SAMPLE_FREQ = 100\n"
           "PI = 3.14159265358979323846\n"
           "THETA_X = 0\n"
           "THETA_Y = 0\n"
           "THETA_Z = 0\n"
           "#WINDOW_FUNCTION\n"
           "WINDOW_FUNCTION = 1\n"
           "#EQUATIONS\n"
           "0, E = T + 1\n"
           "#COLUMNS\n"
           "T, 1, 0, 0, 0\n"
           "A, 1, 1, 0, input * 2\n"
           "B, 1, 2, 1x0, 1\n"
           "C, 0, 1, 0, input + E\n"
           "#MATLAB\n"
           "A, plot, s, a, A title\n"
           "#ENDCFG\n";
}

std::string BaseConfigWith(const std::string& from, const std::string& to) {
    return Replace(BaseConfig(), from, to);
}

// The base configuration with the time history asked for.
std::string HistoryConfig() { return BaseConfigWith("THETA_Z = 0\n", "THETA_Z = 0\nTIME_HISTORY = 1\n"); }

// The base configuration with `lines` in place of its one equation.
std::string EquationConfig(const std::string& lines) { return BaseConfigWith("0, E = T + 1", lines); }

// Rows i = 0..count-1: time i/100, then i, i mod 3, i*i, and a trailing comma.
std::string BaseRows(int count) {
    std::string rows;
    for (int i = 0; i < count; ++i) {
        rows += "0.0" + std::to_string(i) + "," + std::to_string(i) + "," + std::to_string(i % 3) + "," +
                std::to_string(i * i) + ",\n";
    }
    return rows;
}

// A free header line, the marker, the headings and ten rows: windows of 4, 4
// and 2 rows.
std::string BaseData() { return std::string("free header\n") + kMarker + "T,A,B,C,\n" + BaseRows(10); }

void WriteData(const fs::path& work, const std::string& bytes) { WriteFile(work / "data.csv", bytes); }

std::string BaseDataWith(const std::string& from, const std::string& to) { return Replace(BaseData(), from, to); }

// splitmix64: the same bytes on every platform and library.
std::string NoiseBytes(size_t count, uint64_t seed) {
    std::string bytes;
    bytes.reserve(count);
    uint64_t state = seed;
    while (bytes.size() < count) {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        for (int b = 0; b < 8 && bytes.size() < count; ++b) bytes.push_back(static_cast<char>(z >> (8 * b)));
    }
    return bytes;
}

// The data file: `before`, then `holeBytes` bytes never written (they read
// as NUL and take no disk space), then `after`.
void WriteDataWithHole(const fs::path& work, const std::string& before, uint64_t holeBytes,
                       const std::string& after) {
    const fs::path path = work / "data.csv";
    WriteFile(path, before);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0) << path;
    const off_t end = static_cast<off_t>(before.size() + holeBytes);
    ASSERT_EQ(::ftruncate(fd, end), 0);
    ASSERT_EQ(::pwrite(fd, after.data(), after.size(), end), static_cast<ssize_t>(after.size()));
    ::close(fd);
}

struct HostileRow {
    const char* name;
    std::string (*config)();                   // vux_reader.cfg; nullptr: none
    void (*data)(const fs::path& work);         // lays out the data file(s); nullptr: none
    std::vector<std::string> args;
    int status;                                 // as the shell sees it
    std::vector<std::string> fragments;         // each must be printed
    std::vector<std::string> matVectors = {};   // names out.mat must hold (a complete run)
    long long peakMiB = 1024;                   // bound of the peak resident size
    bool configMayChange = false;               // the arguments are written into it
    int timeLimitSeconds = 20;                  // a run still going then is a hang
};

void PrintTo(const HostileRow& row, std::ostream* os) { *os << row.name; }

// Every run is started from a launcher forked when the test program starts,
// while it is small: the peak resident size of a run then does not count
// what this process grows to while it generates the inputs.
Launcher gLauncher;

// The start and the end of a long console text.
std::string Excerpt(const std::string& out) {
    if (out.size() <= 3000) return out;
    return out.substr(0, 1500) + "\n[... " + std::to_string(out.size() - 3000) + " bytes ...]\n" +
           out.substr(out.size() - 1500);
}

// Contents of small regular files, to tell whether a run changed them.
std::string Snapshot(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(path, ec)) || fs::file_size(path, ec) > 64 * kMiB) return {};
    return ReadFile(path);
}

void CheckRow(const HostileRow& row) {
    ScratchDir scratch;
    ASSERT_FALSE(scratch.path.empty());
    const fs::path work = scratch.path / "work";
    fs::create_directory(work);
    if (row.config != nullptr) WriteFile(work / "vux_reader.cfg", row.config());
    if (row.data != nullptr) row.data(work);
    const std::string configBefore = Snapshot(work / "vux_reader.cfg");
    const std::string dataBefore = Snapshot(work / "data.csv");

    const fs::path console = scratch.path / "console.txt";
    Launch launch = Tool(work, row.args, Sink::File(console));
    if (!kSanitized) launch.addressSpaceLimit = kAddressSpaceLimit;
    const Exit f = gLauncher.Run(launch, std::chrono::seconds(row.timeLimitSeconds));
    const std::string out = ReadFile(console);
    testing::Test::RecordProperty("seconds", std::to_string(f.seconds));
    testing::Test::RecordProperty("peak_kib", std::to_string(f.peakKiB));
    const std::string trace = "after " + std::to_string(f.seconds) + " s, peak " +
                              std::to_string(f.peakKiB / 1024) + " MiB; console:\n" + Excerpt(out);
    ASSERT_FALSE(f.timedOut) << "hang: still running after " << row.timeLimitSeconds << " s; " << trace;
    ASSERT_TRUE(f.Exited()) << "ended by a signal, shell status " << f.status << " " << trace;
    EXPECT_EQ(f.status, row.status) << trace;
    for (const std::string& fragment : row.fragments) {
        EXPECT_NE(out.find(fragment), std::string::npos) << "missing \"" << fragment << "\" " << trace;
    }
    EXPECT_LE(f.peakKiB, row.peakMiB * 1024) << "memory: " << trace;
    // However the run ends, it leaves no scratch file (hidden) behind.
    for (const std::string& name : test_support::EntriesIn(work)) {
        EXPECT_NE(name[0], '.') << "left behind: " << name;
    }

    // Success is claimed only for results written; a refusal writes none.
    const bool complete = out.find("Analysis complete") != std::string::npos;
    EXPECT_EQ(complete, row.status == 10) << trace;
    EXPECT_EQ(fs::exists(work / "out.mat"), row.status == 10) << trace;
    if (row.status == 10) {
        const std::string mat = ReadFile(work / "out.mat");
        for (const std::string& name : row.matVectors) {
            EXPECT_NE(mat.find(name), std::string::npos) << "out.mat lacks " << name;
        }
    }
    // What the run reads stays as it was.
    if (!dataBefore.empty()) {
        EXPECT_TRUE(Snapshot(work / "data.csv") == dataBefore) << "data.csv changed";
    }
    if (!row.configMayChange && !configBefore.empty()) {
        EXPECT_TRUE(Snapshot(work / "vux_reader.cfg") == configBefore) << "vux_reader.cfg changed";
    }
    // The configuration stays a file of its own, and no scratch file is left.
    std::error_code ec;
    const fs::file_status config = fs::symlink_status(work / "vux_reader.cfg", ec);
    EXPECT_TRUE(!fs::exists(config) || fs::is_regular_file(config)) << "vux_reader.cfg is no regular file";
    EXPECT_FALSE(fs::exists(fs::symlink_status(work / "recfg", ec))) << "recfg is left";
}

// ---- data file builders ---------------------------------------------------

void Base(const fs::path& work) { WriteData(work, BaseData()); }

void TenThousandColumns(const fs::path& work) {
    std::string headings;
    for (int c = 0; c < 10004; ++c) {
        headings += 'H';
        headings += std::to_string(c);
        headings += ',';
    }
    std::string rows;
    for (int r = 0; r < 10; ++r) {
        for (int c = 0; c < 10004; ++c) {
            rows += std::to_string(r + c);
            rows += ',';
        }
        rows += "\n";
    }
    WriteData(work, std::string("hdr\n") + kMarker + headings + "\n" + rows);
}

std::string TenThousandColumnsConfig() {
    std::string columns = "T, 1, 0, 0, 0\n";
    for (int i = 0; i < 10000; ++i) {
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on
        // "literal" + temporary string.
        columns += 'K';
        columns += std::to_string(i);
        columns += ", 1, ";
        columns += std::to_string(i % 2);
        columns += ", 0, input\n";
    }
    return BaseConfigWith("T, 1, 0, 0, 0\n", columns);
}

std::string RotationCodesConfig() {
    return BaseConfigWith("B, 1, 2, 1x0, 1\n",
                          "B1, 1, 2, 1, 1\n"
                          "B2, 1, 2, x, 1\n"
                          "B3, 1, 2, 0x, 1\n"
                          "B4, 1, 2, xx, 1\n"
                          "B5, 1, 2, 1q, 1\n"
                          "B6, 1, 2, -1x, 1\n"
                          "B7, 1, 2, 2x123456789012, 1\n");
}

void RotationCodesData(const fs::path& work) {
    std::string rows;
    for (int i = 0; i < 10; ++i) {
        rows += "0.0";
        rows += std::to_string(i);
        rows += ',';
        rows += std::to_string(i);
        for (int b = 0; b < 7; ++b) {
            rows += ',';
            rows += std::to_string((i + b) % 3);
        }
        rows += ',';
        rows += std::to_string(i);
        rows += ",\n";
    }
    WriteData(work, std::string(kMarker) + "T,A,B1,B2,B3,B4,B5,B6,B7,C,\n" + rows);
}

// The base data and a socket "sock" with a link "link.mat" to it.
void BaseAndASocket(const fs::path& work) {
    Base(work);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = (work / "sock").string();
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    fs::create_symlink("sock", work / "link.mat");
}

// ---- the table ------------------------------------------------------------

const std::string k1MB(size_t{1} << 20, 'x');

std::vector<HostileRow> Rows() {
    return {
        // Configuration text.
        {"ConfigNulBytesInMarkersKeysValuesAndEquations",
         [] {
             std::string cfg = BaseConfig();
             for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
                      {"#STRINGS", std::string("#STR\0INGS", 9)},
                      {"DATA_FILE", std::string("DATA\0_FILE", 10)},
                      {"data.csv", std::string("da\0ta.csv", 9)},
                      {"WINDOW_SIZE = 4", std::string("WINDOW_SIZE = \0" "4", 16)},
                      {"input * 2", std::string("in\0put *\0 2", 11)},
                      {"#COLUMNS", std::string("#COL\0UMNS", 9)},
                      {"A, 1, 1", std::string("A\0, 1\0, 1", 9)},
                      {"#ENDCFG", std::string("#END\0CFG", 8)},
                  }) {
                 cfg = Replace(cfg, from, to);
             }
             return cfg;
         },
         Base, {}, 10, {"Data file data.csv opened", "Window 3...", "Channel A (A)"}, {"A_out", "B_rot"}},
        {"ConfigOfBinaryNoise", [] { return NoiseBytes(4096, 1); }, Base, {}, 255,
         {"Invalid WINDOW_SIZE 0: a window needs at least 2 samples"}},
        {"ConfigNoiseLinesAmongTheStrings",
         [] { return BaseConfigWith("#STRINGS\n", "#STRINGS\n" + NoiseBytes(3000, 2) + "\n"); }, Base, {}, 10,
         {"Data file data.csv opened"}},
        {"ConfigCommentLineOf1MB", [] { return BaseConfigWith("#CONSTANTS\n", "#CONSTANTS\n%" + k1MB + "\n"); },
         Base, {}, 10, {"Window 3..."}},
        {"ConfigValueOf1MB",
         [] { return BaseConfigWith("WINDOW_SIZE = 4", "WINDOW_SIZE = " + std::string(1 << 20, '0') + "4"); },
         Base, {}, 10, {"Window 3..."}},
        {"ConfigEquationOf1MB",
         [] { return EquationConfig("0, E = T * 0" + Repeat(" + 1", 1 << 18)); }, Base, {}, 10,
         {"Channel C (C):\nMax: 262208.000"}},  // C = 64 + E in the third window
        {"ConfigColumnNameOf1MB", [] { return BaseConfigWith("A, 1, 1, 0", k1MB + ", 1, 1, 0"); }, Base, {}, 10,
         {"Channel " + k1MB + " (A)"}, {k1MB + "_out"}},
        {"ConfigDataPathOf1MB", [] { return BaseConfigWith("DATA_FILE = data.csv", "DATA_FILE = " + k1MB); },
         Base, {}, 255, {"cannot be read: File name too long"}},
        {"ConfigOutputPathOf1MB",
         [] { return BaseConfigWith("OUTPUT_FILE = out.mat", "OUTPUT_FILE = " + k1MB + ".mat"); }, Base, {}, 255,
         {"Cannot create MAT-file", ": File name too long"}},
        {"Config10000ColumnsWithDataToMatch", TenThousandColumnsConfig, TenThousandColumns, {}, 10,
         {"Column 10003: C -> H10003", "Channel K9999 (H10000)"}, {"K9999_out"}},

        // Equations.
        {"Equation100000NestedParentheses",
         [] { return EquationConfig("0, E = " + Repeat("(", 100000) + "T*0 + 1" + Repeat(")", 100000)); },
         Base, {}, 10, {"Channel C (C):\nMax: 65.000"}},
        {"Equation100000UnclosedParentheses",
         [] { return EquationConfig("0, E = " + Repeat("(", 100000) + "T*0 + 1"); }, Base, {}, 10,
         {"Channel C (C):\nMax: 65.000"}},
        {"Equation100000UnopenedParentheses",
         [] { return EquationConfig("0, E = T + 1" + Repeat(")", 100000)); }, Base, {}, 255,
         {"Unbalanced parentheses in equation"}},
        {"Equation100000NestedFunctions",
         [] {
             return EquationConfig("0, E = " + Repeat("cos(", 100000) + "T*0" + Repeat(")", 100000) + " * 0 + 1");
         },
         Base, {}, 10, {"Channel C (C):\nMax: 65.000"}},
        {"Equation10000OperatorsPerWindowAndPerSample",
         [] {
             const std::string chain = Repeat("+1*2^1-1/1", 2500);
             return EquationConfig("0, E = T*0+1" + chain + "\n1, F = input" + chain);
         },
         Base, {}, 10, {"Channel C (C):\nMax: 2565.000"}},  // each link adds 2 - 1: E = 2501
        {"Equation10000NestedOperators",
         [] { return EquationConfig("0, E = T*0+1" + Repeat("+(1", 10000) + Repeat(")", 10000)); },
         Base, {}, 10, {"Channel C (C):\nMax: 10065.000"}},
        {"Equation10000DanglingOperators", [] { return EquationConfig("0, E = T" + Repeat("+", 10000)); },
         Base, {}, 255, {"Missing value for '+' in equation E"}},
        {"RotationCodesThatRotateNothing", RotationCodesConfig, RotationCodesData, {}, 10, {"Analysis complete"},
         {"B1_pwr", "B2_pwr", "B3_pwr", "B4_pwr", "B5_pwr", "B6_pwr", "B7_rot"}},

        // Window sizes.
        {"WindowSize2", [] { return BaseConfigWith("WINDOW_SIZE = 4", "WINDOW_SIZE = 2"); }, Base, {}, 10,
         {"Window 5..."}},
        {"WindowSize1000000WithTenRows", [] { return BaseConfigWith("WINDOW_SIZE = 4", "WINDOW_SIZE = 1000000"); },
         Base, {}, 10, {"Window 1...", "Channel C (C):\nMax: 1.000"}},

        // Data paths that name no regular file.
        {"DataFileIsADirectory", BaseConfig, [](const fs::path& w) { fs::create_directory(w / "data.csv"); }, {},
         255, {"Data file data.csv cannot be read: it is a directory"}},
        {"DataFileIsAFifo", BaseConfig, [](const fs::path& w) { ::mkfifo((w / "data.csv").c_str(), 0644); }, {},
         255, {"Data file data.csv cannot be read: it is a pipe, not a regular file"}},
        {"DataFileIsDevZero", [] { return BaseConfigWith("data.csv", "/dev/zero"); }, nullptr, {}, 255,
         {"Data file /dev/zero cannot be read: it is a device, not a regular file"}},
        {"DataPathIsALoopOfLinks", BaseConfig,
         [](const fs::path& w) {
             fs::create_symlink("loop.csv", w / "data.csv");
             fs::create_symlink("data.csv", w / "loop.csv");
         },
         {}, 255, {"Data file data.csv cannot be read: Too many levels of symbolic links"}},

        // Long lines and odd bytes in the data file.
        {"DataHeaderLineOf10MB", BaseConfig,
         [](const fs::path& w) { WriteData(w, std::string(10 << 20, 'h') + "\n" + BaseData()); }, {}, 10,
         {"Window 3..."}, {}, 64},
        {"DataHeadingsLineOf10MB", BaseConfig,
         [](const fs::path& w) { WriteData(w, BaseDataWith("B,C,", "B," + std::string(10 << 20, 'c') + ",")); },
         {}, 10, {"Column 3: C -> ccc", "Window 3..."}},
        {"DataRowOf10MB", BaseConfig,
         [](const fs::path& w) {
             WriteData(w, BaseDataWith("0.01,1,1,1,\n", "0.01,1,1,1," + std::string(10 << 20, '7') + "\n"));
         },
         {}, 10, {"Window 3...", "Mean: 27.707"}},
        {"DataNumberOf10MBDigits", BaseConfig,
         [](const fs::path& w) {
             WriteData(w, BaseDataWith("0.01,1,", "0.01," + std::string(10 << 20, '7') + ","));
         },
         {}, 10, {"Channel A (A):\nMax: inf @ 0.01000"}},
        {"DataRowsEndInA256MiBNulStretchWithoutLineEnd", BaseConfig,
         [](const fs::path& w) { WriteDataWithHole(w, BaseData(), 256 * kMiB, ""); }, {}, 10,
         {"Window 3...", "Mean: 27.707"}, {}, 128},
        {"DataRowOf256MiBNulBytesAmongRows", BaseConfig,
         [](const fs::path& w) {
             const std::string data = BaseData();
             const size_t cut = data.find("0.05,");
             WriteDataWithHole(w, data.substr(0, cut), 256 * kMiB, "\n" + data.substr(cut));
         },
         {}, 10, {"Window 3...", "Mean: 27.707"}, {}, 128},  // the NUL line is no row
        {"DataHeadingsLineOf256MiBNulBytes", BaseConfig,
         [](const fs::path& w) { WriteDataWithHole(w, kMarker, 256 * kMiB, "\nT,A,B,C,\n" + BaseRows(10)); },
         {}, 255, {"Data file data.csv has a data headings line longer than 16 MiB"}, {}, 128},
        {"DataWithNulBytesAndLoneCarriageReturns", BaseConfig,
         [](const fs::path& w) {
             std::string data = BaseDataWith("0.01,1,1,1,\n", std::string("0.01,\0" "1,1\r,\r1,\0\n", 14));
             data = Replace(data, "0.02,2,2,4,\n", std::string("0.0\0" "2,2\r2,2,4\r\r\n", 15));
             WriteData(w, data);
         },
         {}, 10, {"Channel A (A):\nMax: 18.000"}},
        {"DataRowsOf1000Fields", BaseConfig,
         [](const fs::path& w) {
             std::string rows;
             for (int r = 0; r < 10; ++r) {
                 for (int c = 0; c < 1000; ++c) rows += std::to_string(r * 1000 + c) + ",";
                 rows += "\n";
             }
             WriteData(w, std::string(kMarker) + "T,A,B,C,\n" + rows);
         },
         {}, 10, {"Channel C (C):\nMax: 16004.000"}},

        // Data files that end early.
        {"DataFileEmpty", BaseConfig, [](const fs::path& w) { WriteData(w, ""); }, {}, 255,
         {"Data file data.csv ends before its marker line"}},
        {"DataHeaderWithoutMarker", BaseConfig,
         [](const fs::path& w) { WriteData(w, "free header\nT,A,B,C,\n" + BaseRows(10)); }, {}, 255,
         {"Data file data.csv ends before its marker line"}},
        {"DataWithCarriageReturnLineEndsOnly", BaseConfig,
         [](const fs::path& w) { WriteData(w, "hdr\rData Starts Here,,,,,,,,,,,,,,,,,,,\rT,A,B,C,\r0,1,2,3,\r"); },
         {}, 255, {"Data file data.csv uses CR line ends only"}},
        {"DataMarkerWithoutHeadingsLine", BaseConfig, [](const fs::path& w) { WriteData(w, kMarker); }, {}, 255,
         {"Data file data.csv ends before its data headings line is complete"}},
        {"DataHeadingsWithoutLineEnd", BaseConfig,
         [](const fs::path& w) { WriteData(w, std::string(kMarker) + "T,A,B,C,"); }, {}, 255,
         {"Data file data.csv ends before its data headings line is complete"}},
        // No complete window: the vectors are written (a 0 x 1 "_act"), the
        // means are NaN, and a warning goes to the error stream.
        {"DataOnlyMarkerAndHeadings", BaseConfig,
         [](const fs::path& w) { WriteData(w, std::string(kMarker) + "T,A,B,C,\n"); }, {}, 10,
         {"Analysis complete", "Mean: -nan"}, {"T_out", "A_out", "B_rot", "C_act"}},
        {"DataOfOneRow", BaseConfig,
         [](const fs::path& w) { WriteData(w, std::string(kMarker) + "T,A,B,C,\n" + BaseRows(1)); }, {}, 10,
         {"Analysis complete"}, {"T_out", "A_out", "B_rot", "C_act"}},

        // Paths and arguments that would make the run destroy its inputs.
        {"OutputIsTheDataFile", [] { return BaseConfigWith("OUTPUT_FILE = out.mat", "OUTPUT_FILE = ./data.csv"); },
         Base, {}, 255, {"Output file ./data.csv would overwrite the data file data.csv"}},
        {"OutputIsTheConfiguration",
         [] { return BaseConfigWith("OUTPUT_FILE = out.mat", "OUTPUT_FILE = vux_reader.cfg"); }, Base, {}, 255,
         {"Output file vux_reader.cfg would overwrite the configuration file vux_reader.cfg"}},
        {"OutputNamedLikeThePlotScript",
         [] { return BaseConfigWith("OUTPUT_FILE = out.mat", "OUTPUT_FILE = vuxplots.m"); }, Base, {}, 255,
         {"Output file vuxplots.m would be replaced by the plot script vuxplots.m"}},
        {"PlotScriptIsTheDataFile",
         [] { return Replace(BaseConfigWith("data.csv", "vuxplots.m"), "out.mat", "./out.mat"); },
         [](const fs::path& w) { WriteFile(w / "vuxplots.m", BaseData()); }, {}, 255,
         {"Plot script ./vuxplots.m would overwrite the data file vuxplots.m"}},
        // Output paths that no run may write: a FIFO would hang it, a device
        // would be acted on, and recfg would be taken into the configuration
        // by the next run with arguments. All refused before the data file is
        // opened.
        {"OutputIsAFifo", [] { return BaseConfigWith("out.mat", "pipe.mat"); },
         [](const fs::path& w) {
             Base(w);
             ::mkfifo((w / "pipe.mat").c_str(), 0644);
         },
         {}, 255, {"\n\nOutput file pipe.mat is a FIFO, not a regular file\n"}},
        {"PlotScriptIsAFifo", BaseConfig,
         [](const fs::path& w) {
             Base(w);
             ::mkfifo((w / "vuxplots.m").c_str(), 0644);
         },
         {}, 255, {"\n\nPlot script vuxplots.m is a FIFO, not a regular file\n"}},
        {"OutputLinksToASocket", [] { return BaseConfigWith("out.mat", "link.mat"); }, BaseAndASocket, {}, 255,
         {"\n\nOutput file link.mat is a socket, not a regular file\n"}},
        {"OutputIsADevice", [] { return BaseConfigWith("out.mat", "/dev/null"); }, Base, {}, 255,
         {"\n\nOutput file /dev/null is a device, not a regular file\n"}},
        {"OutputNamedRecfg", [] { return BaseConfigWith("out.mat", "recfg"); }, Base, {}, 255,
         {"\n\nOutput file recfg would overwrite the configuration's scratch file recfg\n"}},
        {"OutputArgumentReachingRecfgAnotherWay", BaseConfig, Base, {"data.csv", "../work/recfg"}, 255,
         {"\n\nOutput file ../work/recfg would overwrite the configuration's scratch file recfg\n"}, {}, 1024,
         true},
        {"ArgumentWithALineBreak", BaseConfig, Base, {"data.csv\n#ENDCFG", "out.mat"}, 255,
         {"Invalid argument: a line break cannot be written into vux_reader.cfg"}},
        // A command-line value that cannot be written into the configuration
        // stops the run before anything changes.
        {"ArgumentForAValueWrittenWithBlanks",
         [] { return BaseConfigWith("DATA_FILE = data.csv", "DATA_FILE = da ta.csv"); }, Base,
         {"data.csv", "out.mat"}, 255,
         {"Writing custom settings......\n\nCannot set DATA_FILE from the command line: its old value on line 3"}},
        // Values that vux_reader.cfg would not give back as given are refused
        // right after the banner: the configuration is not touched.
        {"ArgumentPathWithABlank", BaseConfig, Base, {"da ta.csv", "out.mat"}, 255,
         {"Cannot set DATA_FILE from the command line: \"da ta.csv\" holds a blank"}},
        {"ArgumentPathWithAPercent", BaseConfig, Base, {"data.csv", "o%.mat"}, 255,
         {"Cannot set OUTPUT_FILE from the command line: \"o%.mat\" holds a %"}},
        {"ArgumentPathEmpty", BaseConfig, Base, {"data.csv", ""}, 255,
         {"Cannot set OUTPUT_FILE from the command line: the path is empty"}},
        {"ArgumentPathEndingInASeparator", BaseConfig, Base, {"data.csv", "results/"}, 255,
         {"Cannot set OUTPUT_FILE from the command line: \"results/\" ends in a directory separator"}},
        {"ArgumentPathLikeAnOption", BaseConfig, Base, {"-v"}, 255,
         {"Cannot set DATA_FILE from the command line: \"-v\" begins with '-'"}},
        {"ArgumentAngleNotANumber", BaseConfig, Base, {"data.csv", "out.mat", "0", "1,5", "0"}, 255,
         {"Cannot set THETA_Y from the command line: \"1,5\" is not a number"}},
        {"ArgumentAngleWithTextAfterIt", BaseConfig, Base, {"data.csv", "out.mat", "12abc", "0", "0"}, 255,
         {"Cannot set THETA_X from the command line: \"12abc\" is not a number"}},
        {"ArgumentAngleWithABlankFirst", BaseConfig, Base, {"data.csv", "out.mat", "0", "0", " 5"}, 255,
         {"Cannot set THETA_Z from the command line: \" 5\" is not a number"}},
        {"ArgumentAngleInfinite", BaseConfig, Base, {"data.csv", "out.mat", "1e400", "0", "0"}, 255,
         {"Cannot set THETA_X from the command line: \"1e400\" is too large"}},
        {"ArgumentAngleWords", BaseConfig, Base, {"data.csv", "out.mat", "inf", "nan", "0x10"}, 255,
         {"Cannot set THETA_X from the command line: \"inf\" is not a number"}},
        {"ArgumentAnglesOfEveryDecimalForm", BaseConfig, Base, {"./-data.csv", "out.mat", "+5", "5.", ".5e1"}, 0,
         {"File ./-data.csv does not exist"}, {}, 1024, true},
        // Output targets that cannot be written are found before the data
        // file is opened, not after it was reduced.
        {"OutputDirectoryMissing", BaseConfig, Base, {"data.csv", "results/out.mat"}, 255,
         {"Cannot write results/out.mat: its directory results does not exist"}, {}, 1024, true},
        {"OutputDirectoryIsAFile", [] { return BaseConfigWith("out.mat", "data.csv/out.mat"); }, Base, {}, 255,
         {"Cannot write data.csv/out.mat: data.csv is not a directory"}},
        {"OutputIsADirectory", [] { return BaseConfigWith("out.mat", "res.mat"); },
         [](const fs::path& w) {
             Base(w);
             fs::create_directory(w / "res.mat");
         },
         {}, 255, {"\n\nOutput file res.mat is a directory, not a file\n"}},
        {"PlotScriptIsADirectory", BaseConfig,
         [](const fs::path& w) {
             Base(w);
             fs::create_directory(w / "vuxplots.m");
         },
         {}, 255, {"\n\nPlot script vuxplots.m is a directory, not a file\n"}},
        // The run record, when asked for, is checked with the other outputs.
        {"RecordIsADirectory", [] { return BaseConfigWith("THETA_Z = 0\n", "THETA_Z = 0\nRUN_RECORD = 1\n"); },
         [](const fs::path& w) {
             Base(w);
             fs::create_directory(w / "out.json");
         },
         {}, 255, {"\n\nRun record out.json is a directory, not a file\n"}},
        {"RecordWouldBeTheDataFile",
         [] { return BaseConfigWith("THETA_Z = 0\n", "THETA_Z = 0\nRUN_RECORD = 1\n"); },
         [](const fs::path& w) { WriteFile(w / "out.json", BaseData()); }, {"out.json", "out.mat"}, 255,
         {"\n\nRun record out.json would overwrite the data file out.json\n"}, {}, 1024, true},
        // The time history's companion and script, when asked for, are
        // checked with the other outputs; its size is foreseen from the data
        // file's size (a sparse file after its first rows), never read.
        {"HistoryIsADirectory", HistoryConfig,
         [](const fs::path& w) {
             Base(w);
             fs::create_directory(w / "out_history.mat");
         },
         {}, 255, {"\n\nTime history out_history.mat is a directory, not a file\n"}},
        {"HistoryScriptWouldBeTheDataFile", HistoryConfig,
         [](const fs::path& w) { WriteFile(w / "vuxhistory.m", BaseData()); }, {"vuxhistory.m", "out.mat"}, 255,
         {"\n\nHistory script vuxhistory.m would overwrite the data file vuxhistory.m\n"}, {}, 1024, true},
        {"HistoryIsWrittenWithoutScratchFilesLeft", HistoryConfig, Base, {}, 10, {"Analysis complete"}, {"B_rot"}},
        {"HistoryTooLargeForTheWindowSize", [] { return Replace(HistoryConfig(), "WINDOW_SIZE = 4", "WINDOW_SIZE = 2"); },
         [](const fs::path& w) { WriteDataWithHole(w, BaseData(), uint64_t{8} << 30, ""); }, {}, 255,
         {"\nTime history out_history.mat: its matrix TIME_S would take about 2.5 GiB, more than the 2 GiB "
          "(2^31 - 1 bytes) a MAT-file element can hold; WINDOW_SIZE 3 or more would fit\n"}},
        {"HistoryTooLargeForAnyWindowSize", [] { return Replace(HistoryConfig(), "WINDOW_SIZE = 4", "WINDOW_SIZE = 8"); },
         [](const fs::path& w) { WriteDataWithHole(w, BaseData(), uint64_t{16} << 30, ""); }, {}, 255,
         {"\nTime history out_history.mat: its matrix B_rot_t would take about 2.5 GiB, more than the 2 GiB "
          "(2^31 - 1 bytes) a MAT-file element can hold; no WINDOW_SIZE makes it fit: the data file is too long "
          "for a time history\n"}},
        // What stands where the rewrite's scratch file goes is removed, never
        // written through or waited on.
        {"ScratchNameIsALinkToTheDataFile", BaseConfig,
         [](const fs::path& w) {
             Base(w);
             fs::create_symlink("data.csv", w / "recfg");
         },
         {"data.csv", "out.mat"}, 10, {"Analysis complete"}, {"A_out"}, 1024, true},
        {"ScratchNameIsAFifo", BaseConfig,
         [](const fs::path& w) {
             Base(w);
             ::mkfifo((w / "recfg").c_str(), 0644);
         },
         {"data.csv", "out.mat"}, 10, {"Analysis complete"}, {"A_out"}, 1024, true},
        // The kernel takes arguments of up to 128 KiB.
        {"ArgumentOf100KB", BaseConfig, Base, {"data.csv", std::string(100000, 'o') + ".mat"}, 255,
         {"Cannot create MAT-file", ": File name too long"}, {}, 1024, true},
    };
}

class HostileInput : public testing::TestWithParam<HostileRow> {};

TEST_P(HostileInput, EndsByItselfWithTheExpectedOutcomeAndBoundedMemory) { CheckRow(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Rows, HostileInput, testing::ValuesIn(Rows()),
                         [](const testing::TestParamInfo<HostileRow>& info) {
                             return std::string(info.param.name);
                         });

// A data file of 4.5 GiB whose header is one line of NUL bytes (a sparse
// hole) before the marker: the header is let go of as it is read, and every
// size, offset and estimate comes from 64-bit figures (4.5 GiB taken modulo
// 2^32 would read as 0.5 GiB). Labelled "long".
constexpr uint64_t kNulHeaderBytes = uint64_t{9} << 29;

std::string Over4GiBTail() { return "\n" + std::string(kMarker) + "T,A,B,C,\n" + BaseRows(10); }

TEST(LongHostileInput, DataFileOver4GiBWithANulFilledHeader) {
    const uint64_t size = kNulHeaderBytes + Over4GiBTail().size();
    const HostileRow row{"DataFileOver4GiB", BaseConfig,
                         [](const fs::path& w) { WriteDataWithHole(w, "", kNulHeaderBytes, Over4GiBTail()); },
                         {}, 10,
                         {"Data file size: " + std::to_string(size) + " bytes......or 4.500 GiB",
                          "Estimated number of windows: 10922331", "Header processed......read 4.500 GiB",
                          "Window 3...", "Remaining 0s...0.000 B", "Mean: 27.707"},
                         {"C_act"}, 128, false, 600};
    CheckRow(row);
}

}  // namespace
