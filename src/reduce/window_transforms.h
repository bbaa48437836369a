#pragma once
// The transforms of the windows on the feed's threads: the window loop
// windows each FFT-type column's prepared samples (in place, on its own
// thread, as TransformWindow does) and hands their single-precision copies
// over in a job; the feed's threads (reduce/window_feed.h: side work) and
// the window loop while it waits for a job take the jobs in window order and
// compute each column's transform and bin powers; the window loop takes the
// jobs back in window order and adds their powers to the spectra (and to the
// time history), so the sums are made in the same order with the same values
// as on one thread.
//
// Who owns what when:
// | State | Owner |
// |---|---|
// | the jobs' ring, its size | fixed at start |
// | a job from Take to Submit, and from the end of Retire's wait to the next Take of its slot | the window loop's thread |
// | a job from its claim to its done mark (both under the lock) | the thread that claimed it |
// | submitted_, claimed_, done_ | mutex_ |
// | taken_, retired_ | the window loop's thread |
//
// Memory: a few jobs (SlotsFor), each with a transform plan and, per column,
// WINDOW_SIZE floats and WINDOW_SIZE/2 + 1 doubles; flat in the file's size.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/mutex.h"
#include "reduce/spectrum.h"
#include "reduce/window_feed.h"

namespace vux {

// One window's transforms.
struct TransformJob {
    int32_t rows = 0;    // the window's rows in the file
    int32_t n = 0;       // samples transformed (even)
    double start = 0.0;  // the window's start time, taken after the windowing
    FftPlanPtr plan;     // n points, this job's own; null when the library refused n
    std::vector<std::vector<float>> inputs;   // per transform column: the windowed samples
    std::vector<std::vector<double>> powers;  // per transform column: |Xk|^2, 0 <= k <= n/2
    std::vector<double> table;                // a copy of the window's table, when asked for
};

class WindowTransforms final : public FeedSideWork {
public:
    // `slots` jobs (at least 1) for `columns` transform columns of windows up
    // to `windowSize` samples.
    WindowTransforms(size_t columns, int32_t windowSize, int32_t slots);
    WindowTransforms(const WindowTransforms&) = delete;
    WindowTransforms& operator=(const WindowTransforms&) = delete;

    // The window loop's calls, for windows 0, 1, ... in turn.
    //
    // The job for the next window, its plan made for n points. When every
    // slot is in flight, the oldest window is retired first: waited for
    // (transforming the windows nobody took meanwhile) and given to `retire`.
    // The job's other fields are as the window before in its slot left them,
    // for the caller to fill.
    TransformJob& Take(int32_t n, const std::function<void(TransformJob&)>& retire) VUX_EXCLUDES(mutex_);
    // Hands the job Take gave over to the transforms.
    void Submit(TransformJob& job) VUX_EXCLUDES(mutex_);
    // Retires every window submitted and not yet retired, in order.
    void RetireAll(const std::function<void(TransformJob&)>& retire) VUX_EXCLUDES(mutex_);

    // Any thread: the oldest submitted window nobody took, or -1; and its
    // transforms.
    int64_t Claim() override VUX_EXCLUDES(mutex_);
    void Run(int64_t window) noexcept override VUX_EXCLUDES(mutex_);

    // Jobs for `threads` threads with windows of `windowSize` samples and
    // `columns` transform columns: one per thread and one more, within about
    // 3 MiB of jobs, at least 2.
    static int32_t SlotsFor(int32_t threads, int32_t windowSize, size_t columns);

private:
    void RetireOldest(const std::function<void(TransformJob&)>& retire) VUX_EXCLUDES(mutex_);

    const size_t slotCount_;
    std::vector<TransformJob> jobs_;  // window w's job is jobs_[w % slotCount_]

    Mutex mutex_;
    std::condition_variable doneChanged_;            // a job done
    int64_t submitted_ VUX_GUARDED_BY(mutex_) = 0;   // windows submitted
    int64_t claimed_ VUX_GUARDED_BY(mutex_) = 0;     // windows a thread took to transform
    std::vector<char> done_ VUX_GUARDED_BY(mutex_);  // per slot: its window's transforms are done

    int64_t taken_ = 0;    // windows Take gave out
    int64_t retired_ = 0;  // windows retired
};
}  // namespace vux
