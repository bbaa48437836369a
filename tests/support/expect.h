#pragma once
// How a step stops the run, checked the way a user sees it: the exit status
// and the message the run prints for the error the step throws.
//
//   EXPECT_STOP(OpenConfig(), -1, "Cannot read configuration file");
//   EXPECT_PRINTS(std::fputs("x", stdout), "x");

#include <gtest/gtest.h>

#include <string>

#include "core/error.h"
#include "run/console.h"

namespace test_support {

// What a stopped run shows: its status and its message.
struct Stopped {
    int status = 0;
    std::string message;
    vux::ErrorKind kind = vux::ErrorKind::Usage;
};

inline Stopped StoppedBy(const vux::Error& error) { return {error.status, vux::Message(error), error.kind}; }

// Runs `step`, which must stop the run, and returns how it stopped; a step
// that returns is a test failure (and yields status 0 with no message).
template <typename Step>
Stopped ExpectStop(Step&& step) {
    try {
        step();
    } catch (const vux::Error& error) {
        return StoppedBy(error);
    }
    ADD_FAILURE() << "the run was not stopped";
    return {};
}

}  // namespace test_support

// `statement` stops the run with exit status `status` and a message that
// holds `text`.
#define EXPECT_STOP(statement, status, text)                                          \
    do {                                                                              \
        const ::test_support::Stopped stopped_ = ::test_support::ExpectStop([&] { statement; }); \
        EXPECT_EQ(stopped_.status, (status));                                         \
        EXPECT_NE(stopped_.message.find(text), std::string::npos) << stopped_.message; \
    } while (0)

// `statement` prints exactly `text` to standard output.
#define EXPECT_PRINTS(statement, text)                                  \
    do {                                                                \
        ::testing::internal::CaptureStdout();                           \
        statement;                                                      \
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), (text));    \
    } while (0)
