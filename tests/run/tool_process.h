#pragma once
// Helpers for tests that run the built tool as a child process: start it in a
// directory (standard output to a pipe or discarded), read what it prints,
// signal it, wait for it; fresh scratch directories and whole files.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "support/scratch_files.h"

namespace tool_test {

namespace fs = std::filesystem;

using test_support::EntriesIn;
using test_support::ReadFile;
using test_support::WriteFile;

// A fresh empty directory "vux_tool_test_XXXXXX" under the temporary
// directory; removed by the destructor.
struct ScratchDir : test_support::ScratchDir {
    ScratchDir() : test_support::ScratchDir("vux_tool_test") {}
};

// A running tool. `out` reads its standard output when it was captured
// (-1 otherwise).
struct ToolProcess {
    pid_t pid = -1;
    int out = -1;
};

// Standard streams that no console would give, for a started tool.
struct ConsoleSetup {
    enum StdoutEnd { AsAsked, Closed, FullDevice, PipeWithoutReader };
    StdoutEnd stdoutEnd = AsAsked;  // AsAsked: as `captureOutput` says
    bool ignoreSigpipe = false;
    std::string errorFile;  // standard error is written here when not empty
};

// Starts the built tool in `dir` with `args`. Standard output goes to a pipe
// when `captureOutput`, else to /dev/null, unless `console` says otherwise;
// standard error to /dev/null or `console.errorFile`. A `fileSizeLimit` of 0
// or more makes every write that would grow a file past it fail with EFBIG
// (SIGXFSZ ignored).
inline ToolProcess StartTool(const fs::path& dir, const std::vector<std::string>& args,
                             bool captureOutput = false, long long fileSizeLimit = -1,
                             const ConsoleSetup& console = {}) {
    // Everything the child needs is prepared before the fork: between fork
    // and exec it may only make plain system calls.
    const std::string binary = VUX_BINARY_PATH;
    const std::string where = dir.string();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(binary.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    const bool readerless = console.stdoutEnd == ConsoleSetup::PipeWithoutReader;
    if ((captureOutput || readerless) && ::pipe2(pipeFds, O_CLOEXEC) != 0) return {};
    if (readerless) {
        ::close(pipeFds[0]);
        pipeFds[0] = -1;
    }
    ToolProcess tool;
    tool.pid = ::fork();
    if (tool.pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        const int err = console.errorFile.empty()
                            ? null
                            : ::open(console.errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        switch (console.stdoutEnd) {
            case ConsoleSetup::AsAsked: ::dup2(captureOutput ? pipeFds[1] : null, STDOUT_FILENO); break;
            case ConsoleSetup::Closed: ::close(STDOUT_FILENO); break;
            case ConsoleSetup::FullDevice: ::dup2(::open("/dev/full", O_WRONLY), STDOUT_FILENO); break;
            case ConsoleSetup::PipeWithoutReader: ::dup2(pipeFds[1], STDOUT_FILENO); break;
        }
        ::dup2(err, STDERR_FILENO);
        if (console.ignoreSigpipe) ::signal(SIGPIPE, SIG_IGN);
        // The default actions, whatever the test runner set up.
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (fileSizeLimit >= 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (::chdir(where.c_str()) == 0) ::execv(binary.c_str(), argv.data());
        ::_exit(127);
    }
    if (pipeFds[1] >= 0) ::close(pipeFds[1]);
    tool.out = pipeFds[0];
    return tool;
}

// Waits for the tool to end; returns the raw wait status. Closes its pipe.
inline int WaitTool(ToolProcess& tool) {
    int status = 0;
    while (::waitpid(tool.pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (tool.out >= 0) ::close(tool.out);
    tool.out = -1;
    return status;
}

// Appends standard output to `text` until it holds `marker` (true), the pipe
// closes or `timeout` passes (false).
inline bool ReadUntil(ToolProcess& tool, std::string& text, std::string_view marker,
                      std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (text.find(marker) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd ready{tool.out, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[4096];
        const ssize_t got = ::read(tool.out, buffer, sizeof buffer);
        if (got <= 0) return false;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return true;
}

// Appends the rest of standard output to `text` (up to the pipe's end).
inline void ReadToEnd(ToolProcess& tool, std::string& text) {
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(tool.out, buffer, sizeof buffer)) != 0) {
        if (got < 0) {
            if (errno == EINTR) continue;
            return;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

// Runs the tool to its end; returns the raw wait status and, when `printed`
// is given, its standard output.
inline int RunTool(const fs::path& dir, const std::vector<std::string>& args,
                   std::string* printed = nullptr, long long fileSizeLimit = -1) {
    ToolProcess tool = StartTool(dir, args, printed != nullptr, fileSizeLimit);
    if (printed != nullptr) ReadToEnd(tool, *printed);
    return WaitTool(tool);
}

// The exit status a shell would show for a raw wait status.
inline int ShellStatus(int raw) {
    if (WIFEXITED(raw)) return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
    return -1;
}

}  // namespace tool_test
