#pragma once
// Catching the RunStop with which a step ends a run.

#include <gtest/gtest.h>

#include "run/run_stop.h"

namespace test_support {

// Runs `step`, which must stop the run, and returns how it stopped; a step
// that returns is a test failure (and yields status 0 with no message).
template <typename Step>
RunStop ExpectStop(Step&& step) {
    try {
        step();
    } catch (const RunStop& stop) {
        return stop;
    }
    ADD_FAILURE() << "the run was not stopped";
    return RunStop{0, ""};
}

}  // namespace test_support
