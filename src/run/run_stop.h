#pragma once
// How any step of a run ends the process early.
//
// Library code never calls exit(): it throws RunStop, and the entry point
// prints `message` to standard output (exactly as given, no line end added)
// and exits with `status`. -1 is what the shell sees as 255.

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

struct RunStop {
    int status;
    std::string message;
};

[[noreturn]] inline void StopRun(int status, std::string message) {
    throw RunStop{status, std::move(message)};
}

// The system's wording for an errno value ("No such file or directory").
inline std::string SystemReason(int err) { return std::strerror(err); }
