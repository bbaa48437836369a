#pragma once
// A plain reader of a data file's rows, one window after another, that the
// window feed is held against: it takes everything after the headings line
// into memory and walks it line by line, one row at a time. Fields are
// stored by the same row store as the feed's, so what it checks is the
// feed's cutting, threads and hand-over. For small test files only.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/model.h"
#include "reduce/data_reader.h"
#include "reduce/row_store.h"
#include "reduce/window_feed.h"

namespace test_support {

class ReferenceReader {
public:
    // Takes the rest of the file of `reader`, whose headings line is read.
    explicit ReferenceReader(vux::DataReader& reader)
        : text_(reader.buffer.data() + reader.begin, reader.end - reader.begin),
          longest_(reader.longestRow),
          offset_(reader.bufferOffset + reader.begin),
          line_(reader.linesRead + 1) {
        char chunk[4096];
        ssize_t got;
        while (reader.fd && (got = read(reader.fd.get(), chunk, sizeof chunk)) > 0) {
            text_.append(chunk, static_cast<size_t>(got));
        }
    }

    // Reads window m as the feed's Next does, into `samples`.
    vux::FedWindow Next(int32_t m, const std::vector<vux::ColumnSpec>& columns,
                        std::vector<std::vector<double>>& samples, int32_t windowSize) {
        // Targets of this window; what its first row may overwrite is kept.
        const size_t count = columns.size();
        std::vector<double*> first(count, nullptr);
        std::vector<double*> later(count, nullptr);
        std::vector<double> savedFirst(count, 0.0);
        std::vector<size_t> savedSizes(count);
        vux::RowTargets targets{first.data(), -1, later.data(), -1};
        const size_t slot = static_cast<size_t>(m);
        if (samples.size() < count) samples.resize(count);
        for (size_t c = 0; c < count; ++c) {
            std::vector<double>& values = samples[c];
            savedSizes[c] = values.size();
            if (vux::IsEverySample(columns[c].sampling)) {
                if (values.size() < static_cast<size_t>(windowSize)) values.resize(static_cast<size_t>(windowSize));
                savedFirst[c] = values[0];
                first[c] = later[c] = values.data();
                targets.firstLast = targets.laterLast = static_cast<int>(c);
            } else if (vux::IsOncePerWindow(columns[c].sampling)) {
                if (values.size() <= slot) values.resize(std::max(slot + 1, 2 * values.size()));
                savedFirst[c] = values[slot];
                first[c] = values.data() + slot;
                targets.firstLast = static_cast<int>(c);
            }
        }
        if (quality.fields.size() != count) quality.fields.resize(count);

        int32_t rows = 0;
        while (rows < windowSize) {
            const size_t lf = text_.find('\n', at_);
            if (lf == std::string::npos) {
                at_ = text_.size();  // a last line without its line end is no row
                break;
            }
            if (lf - at_ > longest_) {
                if (quality.overlongLines++ == 0) quality.firstOverlongLine = line_;
            } else {
                const vux::RowChecks checks{static_cast<int>(count) - 1, line_ - static_cast<uint64_t>(rows),
                                            quality, nullptr, m};
                vux::StoreRows(text_.data() + at_, text_.data() + lf + 1, targets, checks, rows, windowSize);
            }
            at_ = lf + 1;
            ++line_;
        }
        quality.rows += static_cast<uint64_t>(rows);
        if (rows < 2) {
            // The window is dropped: it leaves no trace in the arrays.
            for (size_t c = 0; c < count; ++c) {
                if (first[c] == nullptr) continue;
                *first[c] = savedFirst[c];
                samples[c].resize(savedSizes[c]);
            }
        }
        return vux::FedWindow{rows, rows < windowSize, offset_ + at_};
    }

    vux::DataQuality quality;  // of every row and line read

private:
    std::string text_;
    size_t longest_;
    uint64_t offset_;  // file offset of text_[0]
    size_t at_ = 0;    // the next line's start
    uint64_t line_;    // its line number
};

}  // namespace test_support
