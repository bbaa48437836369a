#include "reduce/data_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "reduce/window_feed.h"
#include "support/files.h"
#include "support/expect.h"

using namespace vux;

namespace {

const std::string kMarkerLine = std::string(kDataMarker) + "\r\n";
constexpr double kUntouched = 99.0;

// The columns the reader stores into, with their arrays and headings.
struct Columns {
    std::vector<ColumnSpec> specs;
    std::vector<std::vector<double>> samples;
    std::vector<std::string> headings;
    size_t size() const { return specs.size(); }
};

// Columns C0, C1, ... with the given sampling codes; every array is filled
// with kUntouched so that stores (and their absence) show.
Columns MakeColumns(const std::vector<int>& sampling, int32_t windowSize, size_t oncePerWindowSize = 4) {
    Columns columns;
    for (size_t c = 0; c < sampling.size(); ++c) {
        ColumnSpec column;
        column.name = "C";
        column.name += std::to_string(c);  // not "C" + ...: GCC 12 warns falsely on that (-Wrestrict)
        column.sampling = static_cast<Sampling>(sampling[c]);
        columns.specs.push_back(column);
        const size_t size = sampling[c] == 1 ? static_cast<size_t>(windowSize) : oncePerWindowSize;
        columns.samples.emplace_back(size, kUntouched);
    }
    return columns;
}

struct Stopped {
    bool stopped = false;
    Error stop;
};

Stopped CatchStop(const std::function<void()>& step) {
    Stopped result;
    try {
        step();
    } catch (const Error& error) {
        result.stopped = true;
        result.stop = error;
    }
    return result;
}

// What the feed left behind after one window.
struct WindowRead {
    int32_t rows = 0;
    bool endOfFile = false;
    uint64_t bytesConsumed = 0;
    std::vector<std::vector<double>> samples;

    bool operator==(const WindowRead&) const = default;
};

// Feeds every window of the file on one thread, the way the window loop
// takes them; `quality` receives the facts.
std::vector<WindowRead> ReadAll(DataReader& reader, Columns& columns, int32_t windowSize,
                                DataQuality* quality = nullptr) {
    std::vector<WindowRead> reads;
    WindowFeed feed(reader, columns.specs, windowSize, 1);
    for (bool end = false; !end;) {
        const FedWindow fed = feed.Next(columns.samples);
        reads.push_back(WindowRead{fed.rows, fed.endOfFile, fed.bytesConsumed, columns.samples});
        end = fed.endOfFile;
    }
    const DataQuality facts = feed.Finish();
    if (quality != nullptr) *quality = facts;
    return reads;
}

std::vector<int32_t> RowCounts(const std::vector<WindowRead>& reads) {
    std::vector<int32_t> counts;
    for (const WindowRead& read : reads) counts.push_back(read.rows);
    return counts;
}

class DataReaderTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(scratch_.path.empty()); }
    void TearDown() override {
        for (DataReader& reader : opened_) CloseDataFile(reader);
        opened_.clear();
    }

    std::string Write(const std::string& name, const std::string& content) {
        const std::string path = dir_ + "/" + name;
        test_support::WriteFile(path, content);
        return path;
    }

    // Opens `content` as a data file and reads its header and headings;
    // `afterHeader` receives the bytes consumed once the header is skipped.
    DataReader& Open(const std::string& content, Columns& columns, int32_t windowSize, size_t blockSize = 0,
                     uint64_t* afterHeader = nullptr) {
        const std::string path = Write("data.csv", content);
        try {
            DataReader& reader = opened_.emplace_back(OpenDataFile(path, windowSize));
            if (blockSize > 0) reader.blockSize = blockSize;
            SkipHeader(reader);
            if (afterHeader != nullptr) *afterHeader = reader.bytesConsumed;
            MapHeadings(reader, columns.size(), columns.headings);
            return reader;
        } catch (const Error& error) {
            throw std::runtime_error("unexpected stop: " + testing::PrintToString(error));
        }
    }

    test_support::ScratchDir scratch_{"vux_data_reader"};  // removed after TearDown
    const std::string dir_ = scratch_.path.string();
    std::deque<DataReader> opened_;  // references stay valid as readers are added
};

std::string Rows(int count, int from = 0, const char* lineEnd = "\r\n") {
    std::string text;
    for (int i = from; i < from + count; ++i) text += std::to_string(i) + "," + std::to_string(i * 10) + lineEnd;
    return text;
}

TEST(EstimateWindows, WholeMebibytesOverRowsPerWindow) {
    EXPECT_EQ(EstimateWindows(500000, 10000), 0);
    EXPECT_EQ(EstimateWindows(uint64_t{1} << 20, 10000), 1);
    EXPECT_EQ(EstimateWindows((uint64_t{1} << 20) - 1, 10000), 0);
    EXPECT_EQ(EstimateWindows(uint64_t{100} << 20, 10000), 95);
    EXPECT_EQ(EstimateWindows(1000000000, 10000), 904);
    EXPECT_EQ(EstimateWindows(UINT64_MAX, 2), INT32_MAX);
    EXPECT_EQ(EstimateWindows(0, 0), 0);
    EXPECT_EQ(EstimateWindows(uint64_t{1} << 30, -5), 0);
}

TEST_F(DataReaderTest, OpeningHeaderAndHeadings) {
    Columns columns = MakeColumns({1, 0}, 4);
    const std::string content = "VUX\r\n" + kMarkerLine + "Time,Pres,\r\n1,2\r\n";
    uint64_t afterHeader = 0;
    DataReader& reader = Open(content, columns, 4, 0, &afterHeader);
    EXPECT_EQ(reader.path, dir_ + "/data.csv");
    EXPECT_EQ(reader.fileSize, 59u);
    EXPECT_EQ(reader.estimatedWindows, 0);
    EXPECT_EQ(afterHeader, 42u);
    EXPECT_EQ(columns.headings, (std::vector<std::string>{"Time", "Pres"}));
    EXPECT_EQ(reader.bytesConsumed, 54u);
}

TEST_F(DataReaderTest, OnlyTheExactMarkerLineEndsTheHeader) {
    const std::string marker = kDataMarker;
    const std::vector<std::string> nearMisses = {
        marker.substr(0, marker.size() - 1) + "\r\n",  // one comma fewer
        marker + ",\r\n",                              // one comma more
        marker + " \r\n",                              // trailing blank
        " " + marker + "\r\n",                         // leading blank
        marker + "\r\r\n",                             // a second CR is text
        marker + "\rx\n",                              // lone CR inside the line
        "data starts here,,,,,,,,,,,,,,,,,,,\n",       // case differs
        marker.substr(0, 20) + "\r\n" + marker.substr(20) + "\r\n",
    };
    for (const std::string& nearMiss : nearMisses) {
        for (const char* markerEnd : {"\r\n", "\n"}) {
            const std::string header = "free text\r\n" + nearMiss + "more,,\r\n" + marker + markerEnd;
            Columns columns = MakeColumns({1}, 2);
            DataReader& reader = Open(header + "h,\r\n", columns, 2);
            EXPECT_EQ(reader.bytesConsumed, header.size() + 4) << nearMiss;
            EXPECT_EQ(columns.headings, std::vector<std::string>{"h"}) << nearMiss;
        }
        const std::string path = Write("near.csv", "x\r\n" + nearMiss + "1,2\r\n");
        Stopped result = CatchStop([&] {
            DataReader reader = OpenDataFile(path, 2);
            SkipHeader(reader);
        });
        ASSERT_TRUE(result.stopped) << nearMiss;
        EXPECT_EQ(result.stop.kind, ErrorKind::DataNoMarker);
        EXPECT_EQ(result.stop.path, path);
    }
}

TEST_F(DataReaderTest, HeadingsArePairedByPosition) {
    struct Case {
        std::vector<int> mult;
        std::string line;
        std::vector<std::string> headings;
        size_t paired;  // headings paired with a column
    };
    const std::vector<Case> cases = {
        {{1, 1, 1, 1}, "TIME,PRES,TEMP\r\n", {"TIME", "PRES", "", ""}, 2},
        {{1, 1, 1}, "a,b,c,d,e,\r\n", {"a", "b", "c"}, 3},
        {{1, 1}, " Time (s) ,\tx ,\r\n", {" Time (s) ", "\tx "}, 2},
        {{1, 1}, "\r\n", {"", ""}, 0},
        {{1, 1, 1}, "a,,c,\n", {"a", "", "c"}, 3},
        {{1, 1}, "a\rb,c\r\r\n", {"a\rb", ""}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Columns columns = MakeColumns(c.mult, 2);
        columns.headings.assign(columns.size(), "stale");
        uint64_t afterHeader = 0;
        Open(kMarkerLine + c.line + "1\r\n", columns, 2, 0, &afterHeader);
        EXPECT_EQ(afterHeader, 37u);
        ASSERT_EQ(columns.headings.size(), c.paired);
        for (size_t k = 0; k < c.paired; ++k) EXPECT_EQ(columns.headings[k], c.headings[k]) << "column " << k;
    }
}

// Every-sample columns store at row l, once-per-window columns at window m
// from the first row only, other columns never; missing fields leave their
// entries alone, empty fields store 0.
TEST_F(DataReaderTest, StoresFieldsByTheStoringRule) {
    Columns columns = MakeColumns({1, 0, 1, 2}, 4);
    const std::string rows =
        "1,10,100,1000,extra,more\r\n"
        "2,20\r\n"
        "\r\n"
        "4,40,,4000\r\n"
        "5,41,5e1\r\n"
        "6,60,60\r\n";
    DataReader& reader = Open(kMarkerLine + "h\r\n" + rows, columns, 4);
    const std::vector<WindowRead> reads = ReadAll(reader, columns, 4);
    ASSERT_EQ(RowCounts(reads), (std::vector<int32_t>{4, 2}));
    EXPECT_FALSE(reads[0].endOfFile);
    EXPECT_TRUE(reads[1].endOfFile);
    const std::vector<std::vector<double>> first = {
        {1, 2, 0, 4}, {10, 99, 99, 99}, {100, 99, 99, 0}, {99, 99, 99, 99}};
    EXPECT_EQ(reads[0].samples, first);
    const std::vector<std::vector<double>> second = {
        {5, 6, 0, 4}, {10, 41, 99, 99}, {50, 60, 99, 0}, {99, 99, 99, 99}};
    EXPECT_EQ(reads[1].samples, second);
}

TEST_F(DataReaderTest, OddBytesInRowsOnlyEndTheNumber) {
    Columns columns = MakeColumns({1, 1, 1}, 4);
    const std::string rows = std::string("1\0 2,3\r4,5\r\r\n", 13) + "\r\r\n" + std::string("\0,\0\0,7\n", 7);
    DataReader& reader = Open(kMarkerLine + "h\r\n" + rows, columns, 4);
    const std::vector<WindowRead> reads = ReadAll(reader, columns, 4);
    ASSERT_EQ(RowCounts(reads), (std::vector<int32_t>{3}));
    EXPECT_EQ(columns.samples[0], (std::vector<double>{1, 0, 0, 99}));
    EXPECT_EQ(columns.samples[1], (std::vector<double>{3, 99, 0, 99}));
    EXPECT_EQ(columns.samples[2], (std::vector<double>{5, 99, 7, 99}));
}

TEST_F(DataReaderTest, OncePerWindowArraysGrowPastTheEstimate) {
    Columns columns = MakeColumns({0, 1}, 2, 0);
    std::string rows;
    for (int i = 0; i < 10; ++i) rows += std::to_string(i % 2 == 0 ? i / 2 : 1000) + "," + std::to_string(i) + "\n";
    DataReader& reader = Open(kMarkerLine + "h\n" + rows, columns, 2);
    const std::vector<WindowRead> reads = ReadAll(reader, columns, 2);
    ASSERT_EQ(RowCounts(reads), (std::vector<int32_t>{2, 2, 2, 2, 2, 0}));
    ASSERT_GE(columns.samples[0].size(), 5u);
    for (size_t w = 0; w < 5; ++w) EXPECT_EQ(columns.samples[0][w], static_cast<double>(w));
    for (size_t w = 5; w < columns.samples[0].size(); ++w) EXPECT_EQ(columns.samples[0][w], 0.0);
    EXPECT_EQ(reads[5].samples, reads[4].samples);
}

// How the end of the file closes the last window: a window of 0 or 1 rows,
// or a line cut off before its line end, leaves the arrays exactly as the
// last processed window left them.
TEST_F(DataReaderTest, LastWindowEndsCleanly) {
    struct Case {
        const char* what;
        std::string rows;
        int32_t windowSize;
        std::vector<int32_t> counts;
    };
    const std::vector<Case> cases = {
        {"exact multiple", Rows(8), 4, {4, 4, 0}},
        {"seven-row last window", Rows(15), 8, {8, 7}},
        {"one-row last window", Rows(9), 4, {4, 4, 1}},
        {"cut-off line after a full window", Rows(4) + "77,770", 4, {4, 0}},
        {"cut-off line after one row", Rows(5) + "77,770", 4, {4, 1}},
        {"cut-off line after two rows", Rows(6) + "77,770", 4, {4, 2}},
        {"cut-off line ending in CR", Rows(6) + "77,770\r", 4, {4, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Columns columns = MakeColumns({1, 0}, c.windowSize, 2);
        const std::string content = kMarkerLine + "h\r\n" + c.rows;
        DataReader& reader = Open(content, columns, c.windowSize);
        const std::vector<WindowRead> reads = ReadAll(reader, columns, c.windowSize);
        ASSERT_EQ(RowCounts(reads), c.counts);
        EXPECT_EQ(reads.back().bytesConsumed, content.size());
        for (const WindowRead& read : reads) {
            for (const std::vector<double>& samples : read.samples) {
                for (double v : samples) {
                    EXPECT_TRUE(v != 77.0 && v != 770.0) << "a cut-off line was stored";
                }
            }
        }
        const WindowRead& last = reads.back();
        if (last.rows < 2) {
            EXPECT_EQ(last.samples, reads[reads.size() - 2].samples);
        }
    }
}

TEST_F(DataReaderTest, SevenRowWindowKeepsItsOddRow) {
    Columns columns = MakeColumns({1, 0}, 8, 2);
    DataReader& reader = Open(kMarkerLine + "h\r\n" + Rows(15), columns, 8);
    const std::vector<WindowRead> reads = ReadAll(reader, columns, 8);
    ASSERT_EQ(RowCounts(reads), (std::vector<int32_t>{8, 7}));
    EXPECT_EQ(columns.samples[0], (std::vector<double>{8, 9, 10, 11, 12, 13, 14, 7}));
    EXPECT_EQ(columns.samples[1], (std::vector<double>{0, 80}));
}

// The count of bytes read is the offset of the next unread byte, for CR LF and
// bare LF line ends alike.
TEST_F(DataReaderTest, BytesConsumedIsTheTrueOffset) {
    for (const char* lineEnd : {"\r\n", "\n"}) {
        SCOPED_TRACE(lineEnd[0] == '\r' ? "CR LF" : "LF");
        const std::string header = std::string("VUX-2 export") + lineEnd + "Flight,T-17" + lineEnd + lineEnd +
                                   kDataMarker + lineEnd;
        const std::string headings = std::string("Time (s),x,") + lineEnd;
        const std::string rows = Rows(7, 0, lineEnd);
        Columns columns = MakeColumns({1, 1}, 3);
        uint64_t afterHeader = 0;
        DataReader& reader = Open(header + headings + rows, columns, 3, 0, &afterHeader);
        EXPECT_EQ(afterHeader, header.size());
        EXPECT_EQ(reader.bytesConsumed, header.size() + headings.size());
        const std::vector<WindowRead> reads = ReadAll(reader, columns, 3);
        ASSERT_EQ(RowCounts(reads), (std::vector<int32_t>{3, 3, 1}));
        const size_t start = header.size() + headings.size();
        size_t afterRow = start;
        std::vector<uint64_t> expected;
        for (int row = 0; row < 7; ++row) {
            afterRow = rows.find('\n', afterRow - start) + 1 + start;
            if (row == 2 || row == 5 || row == 6) expected.push_back(afterRow);
        }
        std::vector<uint64_t> got;
        for (const WindowRead& read : reads) got.push_back(read.bytesConsumed);
        EXPECT_EQ(got, expected);
        EXPECT_EQ(reads.back().bytesConsumed, reader.fileSize);
    }
}

// Lines that cross block boundaries, lines longer than the buffer and the
// same file read with blocks of any size give the same results.
TEST_F(DataReaderTest, BlockSizeDoesNotChangeResults) {
    std::string content = std::string(5000, 'h') + "\r\n" + "free,,\n" + kMarkerLine;
    content += "Time," + std::string(3000, 'H') + ",third,\r\n";
    content += "0.5,1.25,3\r\n";
    content += "1.5," + std::string("0.") + std::string(10000, '0') + "1,4e1\r\n";
    content += "2,\r\r\n";
    content += "\n";
    content += std::string("3\0,4,5,6,7,8\r\n", 14);
    content += "4," + std::string(2000, ' ') + "-7.5,9e-2,extra,fields\n";
    for (int i = 0; i < 40; ++i) content += std::to_string(i) + "," + std::to_string(i * 0.1) + ",-" + std::to_string(i) + "\r\n";
    content += "5,6,7";  // cut off
    std::vector<WindowRead> baseline;
    for (size_t blockSize : {size_t{0}, size_t{1}, size_t{2}, size_t{3}, size_t{5}, size_t{7}, size_t{64}, size_t{4096}}) {
        SCOPED_TRACE("block size " + std::to_string(blockSize));
        Columns columns = MakeColumns({1, 0, 1}, 5, 0);
        DataReader& reader = Open(content, columns, 5, blockSize);
        EXPECT_EQ(columns.headings[1], std::string(3000, 'H'));
        const std::vector<WindowRead> reads = ReadAll(reader, columns, 5);
        EXPECT_EQ(reads.back().bytesConsumed, content.size());
        if (blockSize == 0) {
            baseline = reads;
            ASSERT_EQ(RowCounts(reads), (std::vector<int32_t>{5, 5, 5, 5, 5, 5, 5, 5, 5, 1}));
            EXPECT_EQ(reads[0].samples[1][0], 1.25);
            EXPECT_EQ(reads[0].samples[2][1], 40.0);
            EXPECT_EQ(reads[0].samples[2][4], 5.0);
            EXPECT_EQ(reads[1].samples[1][1], -7.5);
            EXPECT_EQ(reads[1].samples[2][0], 0.09);
        } else {
            EXPECT_TRUE(reads == baseline);
        }
        CloseDataFile(reader);
    }
}

TEST_F(DataReaderTest, MissingFileStopsWithStatusZero) {
    const std::string path = dir_ + "/nosuch.csv";
    const Stopped result = CatchStop([&] { OpenDataFile(path, 4); });
    ASSERT_TRUE(result.stopped);
    EXPECT_EQ(result.stop.kind, ErrorKind::InputMissing);
    EXPECT_EQ(result.stop.status, 0);
    EXPECT_EQ(result.stop.path, path);
}

// A path that exists but is no readable regular file is refused before
// anything is printed, naming the file and why.
TEST_F(DataReaderTest, UnreadablePathsAreRefused) {
    const std::string fifo = dir_ + "/pipe.csv";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path;
        FileFault fault;
        int err;
    };
    std::vector<Case> cases = {
        {dir_, FileFault::Directory, 0}, {fifo, FileFault::Fifo, 0}, {"/dev/null", FileFault::Device, 0}};
    if (geteuid() != 0) {
        const std::string locked = Write("locked.csv", kMarkerLine);
        chmod(locked.c_str(), 0);
        cases.push_back({locked, FileFault::None, EACCES});
    }
    for (const Case& c : cases) {
        const Stopped result = CatchStop([&] { OpenDataFile(c.path, 4); });
        ASSERT_TRUE(result.stopped) << c.path;
        EXPECT_EQ(result.stop.kind, ErrorKind::DataUnreadable);
        EXPECT_EQ(result.stop.path, c.path);
        EXPECT_EQ(result.stop.cause.fault, c.fault) << c.path;
        EXPECT_EQ(result.stop.cause.err, c.err) << c.path;
    }
}

TEST_F(DataReaderTest, FileEndingBeforeTheRowsIsRefused) {
    struct Case {
        const char* what;
        std::string content;
        bool failsInHeader;
    };
    const std::vector<Case> cases = {
        {"empty file", "", true},
        {"no marker", "a\r\nb\r\n", true},
        {"marker without line end", "a\r\n" + std::string(kDataMarker), true},
        {"nothing after the marker", "a\r\n" + kMarkerLine, false},
        {"headings without line end", kMarkerLine + "TIME,PRES", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Write("short.csv", c.content);
        Columns columns = MakeColumns({1, 1}, 2);
        const Stopped result = CatchStop([&] {
            DataReader& reader = opened_.emplace_back(OpenDataFile(path, 2));
            SkipHeader(reader);
            MapHeadings(reader, columns.size(), columns.headings);
        });
        ASSERT_TRUE(result.stopped);
        EXPECT_EQ(result.stop.path, path);
        EXPECT_EQ(result.stop.kind, c.failsInHeader ? ErrorKind::DataNoMarker : ErrorKind::DataHeadingsIncomplete);
    }
}

// A headings line of more bytes than the row limit before its LF stops the
// run, however the reads fall; one of just the limit is read.
TEST_F(DataReaderTest, HeadingsLineOverTheRowLimitIsRefusedWhateverTheReads) {
    for (size_t blockSize : {size_t{0}, size_t{1}, size_t{7}, size_t{64}}) {
        for (size_t length : {size_t{100}, size_t{101}}) {
            SCOPED_TRACE("block size " + std::to_string(blockSize) + ", " + std::to_string(length) + " bytes");
            const std::string path = Write("long.csv", kMarkerLine + std::string(length - 2, 'h') + ",\r\n1,2\r\n");
            Columns columns = MakeColumns({1, 1}, 2);
            const Stopped result = CatchStop([&] {
                DataReader& reader = opened_.emplace_back(OpenDataFile(path, 2));
                reader.longestRow = 100;
                if (blockSize > 0) reader.blockSize = blockSize;
                SkipHeader(reader);
                MapHeadings(reader, columns.size(), columns.headings);
            });
            EXPECT_EQ(result.stopped, length > 100);
            EXPECT_EQ(result.stop.kind == ErrorKind::DataHeadingsTooLong, length > 100);
        }
    }
}

}  // namespace

// One line per fact of the reader's data-quality record.
std::string Describe(const DataQuality& q) {
    std::string text = "rows " + std::to_string(q.rows) + ", short " + std::to_string(q.shortRows) + " from line " +
                       std::to_string(q.firstShortLine) + ", overlong " + std::to_string(q.overlongLines) +
                       " from line " + std::to_string(q.firstOverlongLine) + "\n";
    for (size_t c = 0; c < q.fields.size(); ++c) {
        const FieldFaults& f = q.fields[c];
        if (f.count == 0) continue;
        text += 'C';  // piece by piece: GCC 12 warns falsely (-Wrestrict) on "literal" + temporary string
        text += std::to_string(c) + ": " + std::to_string(f.count) + " from line " +
                std::to_string(f.firstLine) + " [" + std::string(f.firstText.data(), f.firstLength) + "]" +
                (f.firstCut ? "..." : "") + "\n";
    }
    return text;
}

// Short rows and stored fields that are not wholly numbers, with the lines
// of the first ones counted over the header; fields that are not stored
// (once-per-window columns after a window's first row) are not looked at. A
// CR directly before the LF is the line end; anywhere else it ends a number.
TEST_F(DataReaderTest, CountsShortRowsAndFieldsThatAreNotNumbers) {
    const std::string content = std::string("VUX-2 export\r\nFlight,T-17\r\n") + kMarkerLine + "t,a,b,c,d,\r\n" +
                                "0,N/A,1,2,3\r\n"  // line 5: window 0, row 0
                                "1,x,,y,z\n"       // unstored x, y and z; an empty field
                                "\r\n"             // line 7: one empty field, a short row
                                "3,4,-\r\n"
                                "5,  7 ,8.5\r,9,abcdefghijklmnopqrstuvwxyz0123456789\r\n"  // window 1, row 0
                                "6,1,2,3\r\n"      // short only past the last stored column
                                "e5,0,.5,0.000,-0\r\n"
                                "7,8,0x1F,+.0,9\r\n";
    const std::string expected =
        "rows 8, short 3 from line 7, overlong 0 from line 0\n"
        "C0: 2 from line 7 []\n"
        "C1: 2 from line 5 [N/A]\n"
        "C2: 4 from line 6 []\n"
        "C4: 1 from line 9 [abcdefghijklmnopqrstuvwxyz012345]...\n";
    for (size_t blockSize : {size_t{0}, size_t{1}, size_t{2}, size_t{5}, size_t{16}}) {
        SCOPED_TRACE("block size " + std::to_string(blockSize));
        Columns columns = MakeColumns({1, 0, 1, 0, 0}, 4);
        DataReader& reader = Open(content, columns, 4, blockSize);
        DataQuality quality;
        ASSERT_EQ(RowCounts(ReadAll(reader, columns, 4, &quality)), (std::vector<int32_t>{4, 4, 0}));
        EXPECT_EQ(Describe(quality), expected);
        EXPECT_EQ(columns.samples[2], (std::vector<double>{8.5, 2, 0.5, 0}));  // leading numbers
    }
}
