#pragma once
// How a step stops the run, checked as facts: the error it throws, its kind
// and the fields the run words. The words themselves are pinned once, by the
// golden transcripts and the conformance cases.
//
//   const vux::Error stop = ExpectStop([] { OpenConfig(); });
//   EXPECT_EQ(stop.kind, vux::ErrorKind::ConfigCannotOpen);

#include <gtest/gtest.h>

#include <ostream>

#include "core/error.h"

namespace vux {
// What a failing expectation shows of an error.
inline void PrintTo(const Error& e, std::ostream* out) {
    *out << "Error{kind " << static_cast<int>(e.kind) << ", status " << e.status << ", path \"" << e.path
         << "\", errno " << e.cause.err << ", fault " << static_cast<int>(e.cause.fault) << ", name \"" << e.name
         << "\", other \"" << e.other << "\", number " << e.number << "}";
}
}  // namespace vux

namespace test_support {

// Runs `step`, which must stop the run, and returns the error it threw; a
// step that returns is a test failure (and yields an error of status 0).
template <typename Step>
vux::Error ExpectStop(Step&& step) {
    try {
        step();
    } catch (const vux::Error& error) {
        return error;
    }
    ADD_FAILURE() << "the run was not stopped";
    vux::Error none;
    none.status = 0;
    return none;
}

}  // namespace test_support
