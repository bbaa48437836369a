#pragma once
// The transforms of the windows on other threads: the window loop windows
// each FFT-type column's prepared samples (in place, on its own thread, as
// TransformWindow does) and hands their single-precision copies over in a
// job; any thread takes the jobs in window order and computes each column's
// transform and bin powers; the window loop takes the jobs back in window
// order and adds their powers to the spectra (and to the time history), so
// the sums are made in the same order with the same values as on one thread.
//
// Who owns what when:
// | State | Owner |
// |---|---|
// | the jobs' ring, slot count | fixed at start |
// | a job between Take and Submit, and after Retire's wait until the next Take | the window loop's thread |
// | a job between its claim (under the lock) and its done mark (under the lock) | the thread that claimed it |
// | submitted_, claimed_, done_, stopping_ | mutex_ |
// | taken_, retired_, workers_ | the window loop's thread |
//
// Memory: `slots` jobs, each with a transform plan and, per column, n floats
// and n/2 + 1 doubles; flat in the file's size.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "core/mutex.h"
#include "reduce/spectrum.h"

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

class WindowTransforms {
public:
    // The jobs for `columns` transform columns of windows up to `windowSize`
    // samples, `slots` of them (at least 1), and `workers` threads (0 or more)
    // besides the window loop's, which block SIGINT and SIGTERM.
    WindowTransforms(size_t columns, int32_t windowSize, int32_t slots, int32_t workers);
    // Stops and joins the workers (jobs not retired are dropped).
    ~WindowTransforms();
    WindowTransforms(const WindowTransforms&) = delete;
    WindowTransforms& operator=(const WindowTransforms&) = delete;

    // The window loop's calls, for windows 0, 1, ... in turn.
    //
    // The job for the next window, its plan made for n points. When every
    // slot is in flight, the oldest window is retired first: waited for
    // (transforming other windows' columns meanwhile) and given to `retire`.
    // The job's other fields are left as the window before in its slot left
    // them, for the caller to fill.
    TransformJob& Take(int32_t n, const std::function<void(TransformJob&)>& retire) VUX_EXCLUDES(mutex_);
    // Hands the job Take gave over to the transforms.
    void Submit(TransformJob& job) VUX_EXCLUDES(mutex_);
    // Retires every window submitted and not yet retired, in order.
    void RetireAll(const std::function<void(TransformJob&)>& retire) VUX_EXCLUDES(mutex_);

    // Slots for `threads` threads with windows of `windowSize` samples and
    // `columns` transform columns: a job per thread and one more, within
    // about 3 MiB of jobs, at least 2.
    static int32_t SlotsFor(int32_t threads, int32_t windowSize, size_t columns);

private:
    static void Run(TransformJob& job);
    void RetireOldest(const std::function<void(TransformJob&)>& retire) VUX_EXCLUDES(mutex_);
    void WorkerMain() VUX_EXCLUDES(mutex_);

    const size_t slotCount_;
    std::vector<TransformJob> jobs_;  // window w's job is jobs_[w % slotCount_]

    Mutex mutex_;
    std::condition_variable submittedChanged_;  // a job submitted, or the stop
    std::condition_variable doneChanged_;       // a job done
    int64_t submitted_ VUX_GUARDED_BY(mutex_) = 0;  // windows submitted
    int64_t claimed_ VUX_GUARDED_BY(mutex_) = 0;    // windows a thread took to transform
    std::vector<char> done_ VUX_GUARDED_BY(mutex_);  // per slot: its window's transforms are done
    bool stopping_ VUX_GUARDED_BY(mutex_) = false;

    int64_t taken_ = 0;    // windows Take gave out
    int64_t retired_ = 0;  // windows retired
    std::vector<std::thread> workers_;
};
}  // namespace vux
