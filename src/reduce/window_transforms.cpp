#include "reduce/window_transforms.h"

#include <algorithm>
#include <cassert>

namespace vux {

int32_t WindowTransforms::SlotsFor(int32_t threads, int32_t windowSize, size_t columns) {
    constexpr size_t kBudget = size_t{3} << 20;
    const size_t window = static_cast<size_t>(std::max(windowSize, 2));
    // The windowed floats and powers of every column, and a plan (about
    // 26 bytes a point with the library's tables).
    const size_t perJob = columns * (window * sizeof(float) + (window / 2 + 1) * sizeof(double)) + 26 * window;
    const size_t fit = std::max<size_t>(kBudget / perJob, 2);
    return static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(std::max(threads, 1)) + 1, fit));
}

WindowTransforms::WindowTransforms(size_t columns, int32_t windowSize, int32_t slots)
    : slotCount_(static_cast<size_t>(std::max(slots, 1))), jobs_(slotCount_) {
    const size_t window = static_cast<size_t>(std::max(windowSize, 0));
    for (TransformJob& job : jobs_) {
        job.inputs.assign(columns, std::vector<float>(window, 0.0f));
        job.powers.assign(columns, std::vector<double>(window / 2 + 1, 0.0));
    }
    MutexLock held(mutex_);
    done_.assign(slotCount_, 0);
}

int64_t WindowTransforms::Claim() {
    MutexLock held(mutex_);
    return claimed_ < submitted_ ? claimed_++ : -1;
}

void WindowTransforms::Run(int64_t window) noexcept {
    const size_t slot = static_cast<size_t>(window) % slotCount_;
    TransformJob& job = jobs_[slot];
    if (job.plan) {
        for (size_t c = 0; c < job.inputs.size(); ++c) {
            TransformPower(*job.plan, job.inputs[c].data(), job.powers[c].data());
        }
    }
    MutexLock held(mutex_);
    done_[slot] = 1;
    doneChanged_.notify_one();  // only the window loop waits
}

TransformJob& WindowTransforms::Take(int32_t n, const std::function<void(TransformJob&)>& retire) {
    if (taken_ - retired_ == static_cast<int64_t>(slotCount_)) RetireOldest(retire);
    TransformJob& job = jobs_[static_cast<size_t>(taken_) % slotCount_];
    if (!job.plan || FftPlanLength(*job.plan) != n) {
        job.plan.reset();
        job.plan = MakeFftPlan(n);
    }
    job.n = n;
    return job;
}

void WindowTransforms::Submit(TransformJob& job) {
    assert(&job == &jobs_[static_cast<size_t>(taken_) % slotCount_]);
    (void)job;
    ++taken_;
    MutexLock held(mutex_);
    ++submitted_;
}

void WindowTransforms::RetireAll(const std::function<void(TransformJob&)>& retire) {
    while (retired_ < taken_) RetireOldest(retire);
}

void WindowTransforms::RetireOldest(const std::function<void(TransformJob&)>& retire) {
    assert(retired_ < taken_);
    const size_t slot = static_cast<size_t>(retired_) % slotCount_;
    for (;;) {
        // Rather than wait, transform the oldest window nobody took.
        const int64_t window = Claim();
        if (window < 0) break;
        Run(window);
        if (static_cast<size_t>(window) % slotCount_ == slot) break;
    }
    {
        MutexLock held(mutex_);
        while (done_[slot] == 0) mutex_.Wait(doneChanged_);
        done_[slot] = 0;
    }
    retire(jobs_[slot]);
    ++retired_;
}
}  // namespace vux
