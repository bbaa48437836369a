// The window feed against the reference reader: the same file reduced by a
// plain line-by-line reader window after window (the row-by-row semantics)
// and by ReduceWindows on 1, 2, 3 and 16 threads (from 3 on, the transforms
// on the feed's threads), in blocks of every size, must give the
// same bits everywhere: arrays, statistics, spectra, rotated arrays,
// data-quality facts, the windows told and the time history.

#include <gtest/gtest.h>
#include <unistd.h>
#include <cstdlib>

#include <cstdint>
#include <cstring>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "reduce/data_reader.h"
#include "reduce/line_scan.h"
#include "reduce/reduce_data.h"
#include "reduce/reduce_test_util.h"
#include "reduce/rotation.h"
#include "reduce/spectrum.h"
#include "reduce/time_history.h"
#include "reduce/window.h"
#include "reduce/window_feed.h"
#include "support/files.h"
#include "support/process.h"
#include "support/reference_reader.h"

using namespace vux;

using test_support::ScratchDir;
using reduce_test::TestRun;

namespace {

struct Reduced {
    ReduceResult result;
    std::vector<WindowDone> windows;  // seconds left at 0
};

// The window loop on the reference reader, one window at a time.
Reduced ReduceRowByRow(DataReader& reader, const RunConfig& config) {
    Reduced out;
    ReduceResult& result = out.result;
    const int32_t windowSize = config.settings.windowSize;
    PrepareColumns(config, reader.estimatedWindows, result);
    WindowWork work = MakeWindowWork(config);
    SpectralTables tables = BuildSpectralTables(config, work.vars, result.spectra);
    const RotationPlan rotation = PlanRotation(config, result.rotated);
    SkipHeader(reader);
    MapHeadings(reader, config.columns.size(), result.headings);
    test_support::ReferenceReader rows(reader);
    int32_t m = 0;
    for (;;) {
        const FedWindow read = rows.Next(m, config.columns, result.samples, windowSize);
        if (read.rows < 2) break;
        const int32_t n = read.rows - read.rows % 2;
        ProcessWindow(config, work, result, m, n);
        TransformWindow(config, tables, work.vars, result.samples, result.spectra, n);
        ++m;
        work.windowPosition = 0;
        out.windows.push_back(WindowDone{m, 0.0, read.bytesConsumed});
        if (read.endOfFile) break;
    }
    FinishMeans(config, result, m);
    AverageSpectra(config, result.spectra, m);
    RotateGroups(rotation, config, result);
    result.processedWindows = m;
    result.quality = rows.quality;
    return out;
}

Reduced ReduceOnThreads(DataReader& reader, const RunConfig& config, int32_t threads,
                        TimeHistory* history = nullptr) {
    Reduced out;
    ReduceObserver observer;
    observer.window = [&out](const WindowDone& done) { out.windows.push_back(WindowDone{done.window, 0.0, done.bytesConsumed}); };
    out.result = ReduceWindows(reader, config, observer, threads, history);
    return out;
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Every difference, named; empty when the two are the same bit for bit.
std::string Differences(const Reduced& x, const Reduced& y) {
    std::string found;
    const ReduceResult& a = x.result;
    const ReduceResult& b = y.result;
    const auto note = [&found](bool same, const std::string& what) {
        if (!same) found += what + "; ";
    };
    note(a.processedWindows == b.processedWindows, "window count");
    note(a.headings == b.headings, "headings");
    note(x.windows.size() == y.windows.size(), "windows told");
    for (size_t w = 0; w < x.windows.size() && w < y.windows.size(); ++w) {
        note(x.windows[w].window == y.windows[w].window && x.windows[w].bytesConsumed == y.windows[w].bytesConsumed,
             "window " + std::to_string(w) + " told");
    }
    for (size_t c = 0; c < a.samples.size() && c < b.samples.size(); ++c) {
        const std::string column = "column " + std::to_string(c) + " ";
        const ColumnStats& s = a.stats[c];
        const ColumnStats& t = b.stats[c];
        note(SameBits(a.samples[c], b.samples[c]), column + "samples");
        note(SameBits(s.max, t.max) && SameBits(s.min, t.min) && SameBits(s.timeOfMax, t.timeOfMax) &&
                 SameBits(s.timeOfMin, t.timeOfMin) && SameBits(s.mean, t.mean),
             column + "statistics");
        note(SameBits(a.spectra[c].power, b.spectra[c].power) && SameBits(a.spectra[c].density, b.spectra[c].density),
             column + "spectrum");
        note(SameBits(a.rotated[c], b.rotated[c]), column + "rotated");
    }
    const DataQuality& p = a.quality;
    const DataQuality& q = b.quality;
    note(p.rows == q.rows && p.shortRows == q.shortRows && p.firstShortLine == q.firstShortLine &&
             p.overlongLines == q.overlongLines && p.firstOverlongLine == q.firstOverlongLine &&
             p.fields.size() == q.fields.size(),
         "row facts");
    for (size_t c = 0; c < p.fields.size() && c < q.fields.size(); ++c) {
        const FieldFaults& f = p.fields[c];
        const FieldFaults& g = q.fields[c];
        note(f.count == g.count && f.firstLine == g.firstLine && f.firstLength == g.firstLength &&
                 f.firstCut == g.firstCut && std::memcmp(f.firstText.data(), g.firstText.data(), f.firstLength) == 0,
             "field facts of column " + std::to_string(c));
    }
    return found;
}

// Rows meant to hurt: short rows (an empty line among them), fields that are
// no number, blanks, exponents, a lone CR inside a field, LF and CR LF line
// ends mixed, extra fields; the last line may lack its line end.
std::string MessyRows(int rows, uint32_t seed, bool lastLineEnd, int fieldsPerRow = 7) {
    std::mt19937 random(seed);
    const auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); };
    static const char* const kOdd[] = {"", "abc", "-", " 7 x", "1e", "1.5E-3", "\r", "+.5", "0", "12\r3", "-0"};
    std::string text;
    for (int i = 0; i < rows; ++i) {
        const int fields = pick(10) == 0 ? pick(fieldsPerRow) : fieldsPerRow + pick(2);
        for (int f = 0; f < fields; ++f) {
            if (f > 0) text += ',';
            if (f == 0) {
                text += std::to_string(i * 0.01);
            } else if (pick(12) == 0) {
                text += kOdd[pick(11)];
            } else {
                text += std::to_string(pick(20000) - 10000) + "." + std::to_string(pick(1000));
            }
        }
        if (i + 1 < rows || lastLineEnd) text += pick(3) == 0 ? "\n" : "\r\n";
    }
    return text;
}

// TIME, PRES and TEMP (once per window, normalised), VOLT (normalised every
// sample) and two FFT-type columns in one rotation group, with a per-window
// and, when asked, a per-sample equation.
TestRun MakeRun(int32_t windowSize, bool sampleEquations) {
    TestRun run(windowSize, 100);
    run.WindowFunction("0.5*(1-cos((2*PI*input)/WINDOW_SIZE))");
    run.Equation(0, "OFFSET", "count + PRES / 2");
    if (sampleEquations) run.Equation(1, "RAMP", "RAMP + count * VOLT / WINDOW_SIZE");
    run.Column("TIME", 1, 0, "0");
    run.Column("PRES", 0, 1, "input * 2 + OFFSET");
    run.Column("TEMP", 0, 1, "input - PRES");
    run.Column("VOLT", 1, 1, sampleEquations ? "input / 4 - RAMP" : "input / 4");
    run.Column("ACCX", 1, 2, "1.5", 1, 0);
    run.Column("ACCY", 1, 2, "2.5", 1, 1);
    run.config = run.text.Evaluate();
    return run;
}

struct FeedCase {
    const char* name;
    int32_t windowSize;
    int rows;
    bool lastLineEnd;
    bool sampleEquations;
};

TEST(WindowFeed, EveryThreadCountAndBlockSizeGivesTheRowByRowBits) {
    const FeedCase cases[] = {
        {"whole windows", 16, 160, true, false},
        {"short last window, per-sample equations", 16, 171, true, true},
        {"odd window size, cut-off last line", 7, 300, false, true},
        {"windows of 2 rows", 2, 301, true, false},
        {"one window longer than the file", 1000, 250, true, true},
        {"last window of one row", 10, 201, false, false},
        {"no rows", 8, 0, true, false},
    };
    ScratchDir dir;
    const std::string path = dir / "data.csv";
    uint32_t seed = 1;
    for (const FeedCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TestRun run = MakeRun(c.windowSize, c.sampleEquations);
        test_support::WriteFile(path, "free header\r\n" + std::string(kDataMarker) + "\r\nT,P,Q,V,X,Y,\n" +
                                          MessyRows(c.rows, seed++, c.lastLineEnd));
        DataReader reference = OpenDataFile(path, c.windowSize);
        const Reduced expected = ReduceRowByRow(reference, run.config);
        for (size_t block : {size_t{0}, size_t{1}, size_t{5}, size_t{97}, size_t{4096}}) {
            for (int32_t threads : {1, 2, 3, 16}) {
                SCOPED_TRACE("block size " + std::to_string(block) + ", " + std::to_string(threads) + " threads");
                DataReader reader = OpenDataFile(path, c.windowSize);
                if (block > 0) reader.blockSize = block;
                EXPECT_EQ(Differences(expected, ReduceOnThreads(reader, run.config, threads)), "");
            }
        }
    }
}

// Every matrix of a time history as bytes: its values, or its scratch file.
std::vector<std::string> HistoryBytes(const TimeHistoryData& data) {
    std::vector<std::string> out;
    out.push_back(std::to_string(data.windows) + " " + std::to_string(data.bins) + " " +
                  std::to_string(data.lastWindowLeftOut));
    out.emplace_back(reinterpret_cast<const char*>(&data.windowMeanSquare), sizeof data.windowMeanSquare);
    for (const HistoryMatrix& matrix : data.matrices) {
        std::string bytes = matrix.name + ":";
        if (matrix.file) {
            std::string stored(static_cast<size_t>(matrix.rows) * static_cast<size_t>(matrix.cols) *
                                   (matrix.single ? 4 : 8),
                               '\0');
            EXPECT_EQ(::pread(matrix.file.get(), stored.data(), stored.size(), 0), static_cast<ssize_t>(stored.size()))
                << matrix.name;
            bytes += stored;
        } else {
            bytes.append(reinterpret_cast<const char*>(matrix.values.data()), matrix.values.size() * sizeof(double));
        }
        out.push_back(bytes);
    }
    return out;
}

// With the time history: each window's spectra are summed and added to the
// history in window order, whichever thread transformed them. Short rows
// carry windowed samples into the next window; an odd size gives every
// window its own table; a short last window is transformed at its length.
TEST(WindowFeed, TimeHistoryAndSpectraAreTheSameOnEveryThreadCount) {
    const FeedCase cases[] = {
        {"short last window, per-sample equations", 16, 341, true, true},
        {"odd window size", 9, 400, false, true},
        {"whole windows", 8, 400, true, false},
    };
    ScratchDir dir;
    const std::string path = dir / "data.csv";
    uint32_t seed = 40;
    for (const FeedCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TestRun run = MakeRun(c.windowSize, c.sampleEquations);
        test_support::WriteFile(path, std::string(kDataMarker) + "\nT,P,Q,V,X,Y\n" + MessyRows(c.rows, seed++, c.lastLineEnd));
        DataReader reference = OpenDataFile(path, c.windowSize);
        const Reduced expected = ReduceRowByRow(reference, run.config);
        std::vector<std::string> expectedHistory;
        for (int32_t threads : {1, 2, 3, 16}) {
            SCOPED_TRACE(std::to_string(threads) + " threads");
            DataReader reader = OpenDataFile(path, c.windowSize);
            reader.blockSize = 64;  // many pieces, windows completed out of turn
            TimeHistory history(run.config, dir / "out_history.mat");
            Reduced reduced = ReduceOnThreads(reader, run.config, threads, &history);
            EXPECT_EQ(Differences(expected, reduced), "");
            const std::vector<std::string> bytes = HistoryBytes(history.Finish(reduced.result));
            ASSERT_GT(bytes.size(), 5u);  // rotated vectors have a history
            if (threads == 1) {
                expectedHistory = bytes;
            } else {
                EXPECT_TRUE(bytes == expectedHistory);
            }
        }
    }
}

// `text` with `line` inserted before row `row` (counted from 0).
std::string InsertBeforeRow(const std::string& text, int row, const std::string& line) {
    size_t at = 0;
    for (int r = 0; r < row; ++r) at = text.find('\n', at) + 1;
    return text.substr(0, at) + line + text.substr(at);
}

// A line of more bytes than the row limit before its line end is no row,
// however the reads fall: it is let go of, counted, and the rows after it
// keep their line numbers. Overlong lines first after the headings, at a
// window's end, two in a row, of NUL bytes and among rows; a line of just the
// limit is a row, and a last line without its line end is no line.
TEST(WindowFeed, OverlongLinesAreNoRowsWhateverTheReads) {
    const TestRun run = MakeRun(6, false);
    ScratchDir dir;
    const std::string path = dir / "data.csv";
    const std::string limit(1000, '7');
    std::string rows = MessyRows(40, 99, true);
    rows = InsertBeforeRow(rows, 30, std::string(3000, '\0') + "\r\n");
    rows = InsertBeforeRow(rows, 20, "2," + limit.substr(2, 998) + "\r\n");  // 1001 bytes with its CR
    rows = InsertBeforeRow(rows, 13, "3," + limit.substr(2) + "\n");          // 1000 bytes: a row
    rows = InsertBeforeRow(rows, 8, limit + "1\n" + limit + "2\n");
    rows = InsertBeforeRow(rows, 6, "1," + std::string(5000, '5') + ",abc\n");
    rows = InsertBeforeRow(rows, 0, limit + ",\n");
    rows += std::string(4000, 'x');
    test_support::WriteFile(path, std::string(kDataMarker) + "\nT,P,Q,V,X,Y\n" + rows);
    const auto open = [&](size_t block) {
        DataReader reader = OpenDataFile(path, 6);
        reader.longestRow = 1000;
        if (block > 0) reader.blockSize = block;
        return reader;
    };
    DataReader reference = open(0);
    const Reduced expected = ReduceRowByRow(reference, run.config);
    EXPECT_EQ(expected.result.quality.rows, 41u);
    EXPECT_EQ(expected.result.quality.overlongLines, 6u);
    EXPECT_EQ(expected.result.quality.firstOverlongLine, 3u);
    for (size_t block : {size_t{0}, size_t{1}, size_t{7}, size_t{600}, size_t{1001}, size_t{1002}}) {
        for (int32_t threads : {1, 2, 3}) {
            SCOPED_TRACE("block size " + std::to_string(block) + ", " + std::to_string(threads) + " threads");
            DataReader reader = open(block);
            EXPECT_EQ(Differences(expected, ReduceOnThreads(reader, run.config, threads)), "");
        }
    }
}

// The whole tool, default configuration, on 1, 2, 3 and 16 threads: the same
// status, console (timings masked), warnings, MAT-file (past its dated
// header) and plot script.
TEST(WindowFeed, WholeRunsOnAnyThreadCountAreTheSame) {
    const std::string data = "free header\r\n" + std::string(kDataMarker) + "\r\nTIME,P,T,H,AX,AY,AZ,LX,LY,LZ,\r\n" +
                             MessyRows(25000, 5, true, 10);
    const std::regex timings(R"(([0-9]+\.[0-9]+s elapsed)|(Remaining [^s]*s)|(took [0-9.]+ seconds)|(time: [0-9.]+s))");
    struct Outcome {
        int status = -1;
        std::string out, err, mat, plots;
    };
    std::vector<Outcome> outcomes;
    for (const char* threads : {"1", "2", "3", "16"}) {
        SCOPED_TRACE(std::string("VUX_THREADS=") + threads);
        ScratchDir dir;
        test_support::WriteFile(dir / "flight.csv", data);
        test_support::Launch launch = test_support::Tool(dir.path, {"flight.csv", "out.mat"}, test_support::Sink::Pipe());
        launch.err = test_support::Sink::Pipe();
        launch.env = {std::string("VUX_THREADS=") + threads};
        const test_support::Ran ran = test_support::RunProgram(launch);
        Outcome o;
        o.status = ran.exit.status;
        o.out = std::regex_replace(ran.out, timings, "T");
        o.err = ran.err;
        o.mat = test_support::ReadFile(dir / "out.mat");
        o.plots = test_support::ReadFile(dir / "vuxplots.m");
        ASSERT_EQ(o.status, 10) << o.out;
        ASSERT_GT(o.mat.size(), 128u);
        o.mat.erase(0, 128);  // the header holds the date
        outcomes.push_back(o);
    }
    EXPECT_NE(outcomes[0].out.find("Window 3..."), std::string::npos);  // several windows
    EXPECT_NE(outcomes[0].err.find("fewer fields"), std::string::npos) << outcomes[0].err;
    for (size_t k = 1; k < outcomes.size(); ++k) {
        EXPECT_EQ(outcomes[k].out, outcomes[0].out);
        EXPECT_EQ(outcomes[k].err, outcomes[0].err);
        EXPECT_TRUE(outcomes[k].mat == outcomes[0].mat);
        EXPECT_EQ(outcomes[k].plots, outcomes[0].plots);
    }
}

TEST(LineScan, BothPathsGoPastTheSameFields) {
    std::mt19937 random(11);
    for (int round = 0; round < 500; ++round) {
        std::string text(static_cast<size_t>(random() % 120), 'a');
        for (char& c : text) {
            const uint32_t r = random() % 10;
            if (r == 0) c = ',';
            else if (r == 1 && random() % 4 == 0) c = '\n';
        }
        text += '\n';  // a line end always follows
        const size_t from = random() % text.size();
        const int count = 1 + static_cast<int>(random() % 5);
        size_t expected = from;  // the count-th ',' or LF, or the first LF
        for (int seen = 0;; ++expected) {
            if (text[expected] == '\n' || (text[expected] == ',' && ++seen == count)) break;
        }
        for (bool portable : {false, true}) {
            ForcePortableLineScan(portable);
            EXPECT_EQ(SkipFields(text.data() + from, text.data() + text.size(), count) - text.data(),
                      static_cast<std::ptrdiff_t>(expected));
        }
        ForcePortableLineScan(false);
    }
}

TEST(LineScan, BothPathsCountAndFindTheSameLineEnds) {
    std::mt19937 random(7);
    for (int round = 0; round < 600; ++round) {
        // Dense and sparse line ends, over several 64-byte steps, the wanted
        // one anywhere (or beyond the text, or none wanted).
        std::string text(static_cast<size_t>(random() % 400), 'a');
        const unsigned spacing = round % 2 == 0 ? 9 : 70;
        for (char& c : text) {
            if (random() % spacing == 0) c = '\n';
            else if (random() % 7 == 0) c = static_cast<char>(0x8a);  // LF with the high bit set is no LF
        }
        const size_t wanted = random() % 41;
        size_t expectedFound = 0;
        size_t expectedPast = 0;
        for (size_t i = 0; i < text.size() && expectedFound < wanted; ++i) {
            if (text[i] == '\n') {
                ++expectedFound;
                expectedPast = i + 1;
            }
        }
        for (bool portable : {false, true}) {
            ForcePortableLineScan(portable);
            size_t found = 0;
            EXPECT_EQ(SkipLineEnds(text.data(), text.size(), wanted, &found), expectedPast);
            EXPECT_EQ(found, expectedFound);
        }
        ForcePortableLineScan(false);
    }
}

TEST(ThreadChoice, OverrideIsAWholeNumberFromOneToTheLimit) {
    const int32_t cpus = ChooseThreads(nullptr).threads;
    EXPECT_GE(cpus, 1);
    struct Row {
        const char* text;
        int32_t threads;  // 0: the CPU count
        bool ignored;
    };
    for (const Row& row : {Row{"1", 1, false}, Row{"3", 3, false}, Row{"256", 256, false}, Row{"", 0, false},
                           Row{"0", 0, true}, Row{"257", 0, true}, Row{"-2", 0, true}, Row{"2x", 0, true},
                           Row{" 2", 0, true}, Row{"99999999999999999999", 0, true}}) {
        SCOPED_TRACE(row.text);
        const ThreadChoice choice = ChooseThreads(row.text);
        EXPECT_EQ(choice.threads, row.threads == 0 ? cpus : row.threads);
        EXPECT_EQ(choice.overrideIgnored, row.ignored);
    }
}

}  // namespace
