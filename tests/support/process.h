#pragma once
// Starting programs from tests: the built tool or any other program, in a
// chosen directory, with each output stream going to a pipe, /dev/null, a
// file or a descriptor, with limits on address space and file size, and
// waited for under a time limit. The exit status reads as a shell shows it.

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

extern char** environ;

namespace test_support {

#ifdef VUX_BINARY_PATH
inline constexpr const char* kToolPath = VUX_BINARY_PATH;
#else
inline constexpr const char* kToolPath = "";
#endif

// Where a started program's standard output or error goes.
struct Sink {
    enum Kind { kNull, kPipe, kFile, kFd, kClosed, kBrokenPipe };
    Kind kind = kNull;
    std::string path;  // kFile: created, or truncated
    int fd = -1;       // kFd: a descriptor of the test, shared with the program

    static Sink Null() { return {}; }
    static Sink Pipe() { return {kPipe, {}, -1}; }  // read through Process::out or ::err
    static Sink File(const std::filesystem::path& path) { return {kFile, path.string(), -1}; }
    static Sink Fd(int fd) { return {kFd, {}, fd}; }
    static Sink Closed() { return {kClosed, {}, -1}; }
    static Sink BrokenPipe() { return {kBrokenPipe, {}, -1}; }  // a pipe nobody will ever read
};

// What to start. Standard input is always /dev/null.
struct Launch {
    std::string program = kToolPath;  // path of the executable; the built tool by default
    std::vector<std::string> args;    // after the program's own name
    std::string dir;                  // working directory; empty: the test's own
    Sink out;
    Sink err;
    std::vector<std::string> env;      // "NAME=value" entries added to (or replacing in) the environment
    long long addressSpaceLimit = -1;  // RLIMIT_AS in bytes; -1: none
    long long fileSizeLimit = -1;      // RLIMIT_FSIZE in bytes, SIGXFSZ ignored (writes fail with EFBIG)
    bool ignoreSigpipe = false;        // else SIGPIPE, SIGINT and SIGTERM take their default actions
};

// `program` with `args` in the test's working directory; output and errors to
// /dev/null.
inline Launch Program(std::string program, std::vector<std::string> args = {}) {
    Launch launch;
    launch.program = std::move(program);
    launch.args = std::move(args);
    return launch;
}

// The built tool in `dir` with `args`, its standard output to `out` and its
// errors to /dev/null.
inline Launch Tool(const std::filesystem::path& dir, std::vector<std::string> args = {}, Sink out = {}) {
    Launch launch;
    launch.dir = dir.string();
    launch.args = std::move(args);
    launch.out = std::move(out);
    return launch;
}

// How a program ended.
struct Exit {
    int raw = 0;             // wait status
    int status = -1;         // as a shell shows it: the exit code, or 128 + N for signal N
    bool timedOut = false;   // still running at the time limit, then killed (SIGKILL)
    long long peakKiB = 0;   // peak resident size, from wait4
    double seconds = 0.0;    // from the start to the end

    bool Exited() const { return WIFEXITED(raw); }
    bool KilledBy(int sig) const { return WIFSIGNALED(raw) && WTERMSIG(raw) == sig; }
};

// A started program: move-only. Its destructor kills (SIGKILL) and reaps a
// program not yet waited for, and closes the pipes.
struct Process {
    pid_t pid = -1;  // -1: it could not be started
    int out = -1;    // read end of its standard output when piped
    int err = -1;    // read end of its standard error when piped
    std::chrono::steady_clock::time_point started;

    Process() = default;
    Process(Process&& other) noexcept { *this = std::move(other); }
    Process& operator=(Process&& other) noexcept {
        std::swap(pid, other.pid);
        std::swap(out, other.out);
        std::swap(err, other.err);
        started = other.started;
        return *this;
    }
    ~Process() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
        CloseOut();
        CloseErr();
    }
    void CloseOut() {
        if (out >= 0) ::close(out);
        out = -1;
    }
    void CloseErr() {
        if (err >= 0) ::close(err);
        err = -1;
    }
};

namespace process_detail {

inline bool NeedsPipe(const Sink& sink) { return sink.kind == Sink::kPipe || sink.kind == Sink::kBrokenPipe; }

// The descriptor a sink becomes (opened with close-on-exec), or -1 (none,
// or a failure; *failed tells which).
inline int OpenSink(const Sink& sink, int pipeWrite, int nullFd, bool* failed) {
    switch (sink.kind) {
        case Sink::kNull: return nullFd;
        case Sink::kPipe:
        case Sink::kBrokenPipe: return pipeWrite;
        case Sink::kFd: return sink.fd;
        case Sink::kClosed: return -1;
        case Sink::kFile: {
            const int fd = ::open(sink.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd < 0) *failed = true;
            return fd;
        }
    }
    return -1;
}

// The environment with `additions` in place of entries of the same names.
inline std::vector<std::string> Environment(const std::vector<std::string>& additions) {
    std::vector<std::string> entries;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string_view entry(*e);
        bool replaced = false;
        for (const std::string& a : additions) {
            const size_t eq = a.find('=');
            replaced = replaced || (eq != std::string::npos && entry.substr(0, eq + 1) == a.substr(0, eq + 1));
        }
        if (!replaced) entries.emplace_back(entry);
    }
    entries.insert(entries.end(), additions.begin(), additions.end());
    return entries;
}

inline std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& t : texts) pointers.push_back(t.data());
    pointers.push_back(nullptr);
    return pointers;
}

inline void SetLimit(int resource, long long bytes) {
    if (bytes < 0) return;
    const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    ::setrlimit(resource, &limit);
}

}  // namespace process_detail

// Starts `launch`. Everything is prepared before the fork; between the fork
// and the exec the child makes plain system calls only. A program that cannot
// be executed exits with 127.
inline Process Start(const Launch& launch) {
    using namespace process_detail;
    std::vector<std::string> argTexts{launch.program};
    argTexts.insert(argTexts.end(), launch.args.begin(), launch.args.end());
    std::vector<char*> argv = Pointers(argTexts);
    std::vector<std::string> envTexts = Environment(launch.env);
    std::vector<char*> envp = Pointers(envTexts);

    Process process;
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    bool failed = (NeedsPipe(launch.out) && ::pipe2(outPipe, O_CLOEXEC) != 0) ||
                  (NeedsPipe(launch.err) && ::pipe2(errPipe, O_CLOEXEC) != 0);
    const int nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    failed = failed || nullFd < 0;
    const int outFd = OpenSink(launch.out, outPipe[1], nullFd, &failed);
    const int errFd = OpenSink(launch.err, errPipe[1], nullFd, &failed);
    if (launch.out.kind == Sink::kBrokenPipe && outPipe[0] >= 0) ::close(std::exchange(outPipe[0], -1));
    if (launch.err.kind == Sink::kBrokenPipe && errPipe[0] >= 0) ::close(std::exchange(errPipe[0], -1));

    process.started = std::chrono::steady_clock::now();
    process.pid = failed ? -1 : ::fork();
    if (process.pid == 0) {
        ::dup2(nullFd, STDIN_FILENO);
        if (outFd >= 0) ::dup2(outFd, STDOUT_FILENO); else ::close(STDOUT_FILENO);
        if (errFd >= 0) ::dup2(errFd, STDERR_FILENO); else ::close(STDERR_FILENO);
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        ::signal(SIGPIPE, launch.ignoreSigpipe ? SIG_IGN : SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (launch.fileSizeLimit >= 0) ::signal(SIGXFSZ, SIG_IGN);
        SetLimit(RLIMIT_FSIZE, launch.fileSizeLimit);
        SetLimit(RLIMIT_AS, launch.addressSpaceLimit);
        if (launch.dir.empty() || ::chdir(launch.dir.c_str()) == 0) ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    for (int fd : {outPipe[1], errPipe[1], nullFd}) {
        if (fd >= 0) ::close(fd);
    }
    if (launch.out.kind == Sink::kFile && outFd >= 0) ::close(outFd);
    if (launch.err.kind == Sink::kFile && errFd >= 0) ::close(errFd);
    process.out = outPipe[0];
    process.err = errPipe[0];
    if (process.pid < 0) {
        process.CloseOut();
        process.CloseErr();
    }
    return process;
}

// Waits for the program to end, killing it (SIGKILL) once `limit` has passed.
// Closes its pipes. A program that was never started reads as one that
// exited with 127.
inline Exit Wait(Process& process, std::chrono::milliseconds limit = std::chrono::hours(24)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    Exit exit;
    if (process.pid <= 0) {
        exit.raw = 127 << 8;
    } else {
        rusage usage{};
        for (;;) {
            const pid_t done = ::wait4(process.pid, &exit.raw, WNOHANG, &usage);
            if (done == process.pid || (done < 0 && errno != EINTR)) break;
            if (std::chrono::steady_clock::now() > deadline) {
                exit.timedOut = true;
                ::kill(process.pid, SIGKILL);
                while (::wait4(process.pid, &exit.raw, 0, &usage) < 0 && errno == EINTR) {
                }
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        exit.peakKiB = usage.ru_maxrss;
        exit.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - process.started).count();
        process.pid = -1;
    }
    exit.status = WIFEXITED(exit.raw) ? WEXITSTATUS(exit.raw) : WIFSIGNALED(exit.raw) ? 128 + WTERMSIG(exit.raw) : -1;
    process.CloseOut();
    process.CloseErr();
    return exit;
}

// Appends what the program writes to its piped standard output to `text`
// until `text` holds `marker` (true), the pipe closes or `timeout` passes
// (false).
inline bool ReadUntil(Process& process, std::string& text, std::string_view marker,
                      std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (text.find(marker) == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd ready{process.out, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[4096];
        const ssize_t got = ::read(process.out, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return true;
}

// Appends the rest of the piped standard output to `text` (up to its end).
inline void ReadToEnd(Process& process, std::string& text) {
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(process.out, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return;
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

// A whole run: how it ended and what it wrote to its pipes.
struct Ran {
    Exit exit;
    std::string out;
    std::string err;
};

// Runs `launch` to its end (killed at `limit`), reading both pipes as it goes.
inline Ran RunProgram(const Launch& launch, std::chrono::milliseconds limit = std::chrono::hours(24)) {
    Process process = Start(launch);
    Ran ran;
    const auto deadline = process.started + limit;
    for (;;) {
        pollfd ready[2] = {{process.out, POLLIN, 0}, {process.err, POLLIN, 0}};
        if (process.out < 0 && process.err < 0) break;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        if (::poll(ready, 2, static_cast<int>(std::min<long long>(left.count(), 1 << 30))) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (ready[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t got = ::read(ready[i].fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got > 0) {
                (i == 0 ? ran.out : ran.err).append(buffer, static_cast<std::size_t>(got));
            } else {
                i == 0 ? process.CloseOut() : process.CloseErr();
            }
        }
    }
    ran.exit = Wait(process, std::chrono::duration_cast<std::chrono::milliseconds>(
                                 deadline - std::chrono::steady_clock::now()));
    return ran;
}

// `command` run by /bin/sh, its standard output captured and its errors going
// to the test's own standard error.
inline Ran RunShell(const std::string& command) {
    Launch launch;
    launch.program = "/bin/sh";
    launch.args = {"-c", command};
    launch.out = Sink::Pipe();
    launch.err = Sink::Fd(STDERR_FILENO);
    return RunProgram(launch);
}

// Runs launches from a helper process forked when the launcher is made. A
// program's peak resident size, as wait4 reports it, counts what its process
// inherited at the fork: made while the test program is small (a global),
// the launcher keeps the test's later growth out of the measure. Its sinks
// can only be /dev/null, files and the test's descriptors (no pipes).
class Launcher {
public:
    Launcher() {
        int requests[2];
        int replies[2];
        if (::pipe2(requests, O_CLOEXEC) != 0 || ::pipe2(replies, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(requests[1]);
            ::close(replies[0]);
            Serve(requests[0], replies[1]);
            ::_exit(0);
        }
        ::close(requests[0]);
        ::close(replies[1]);
        requests_ = requests[1];
        replies_ = replies[0];
    }
    ~Launcher() {
        if (requests_ >= 0) ::close(requests_);
        if (replies_ >= 0) ::close(replies_);
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    // As Wait(Start(launch), limit), from the helper; throws when it is gone.
    Exit Run(const Launch& launch, std::chrono::milliseconds limit) {
        const std::vector<std::string> head = {
            launch.program, launch.dir, std::to_string(launch.out.kind), launch.out.path,
            std::to_string(launch.out.fd), std::to_string(launch.err.kind), launch.err.path,
            std::to_string(launch.err.fd), std::to_string(launch.addressSpaceLimit),
            std::to_string(launch.fileSizeLimit), std::to_string(launch.ignoreSigpipe),
            std::to_string(limit.count())};
        Exit exit;
        if (!Send(requests_, head) || !Send(requests_, launch.args) || !Send(requests_, launch.env) ||
            !Transfer(::read, replies_, &exit, sizeof exit)) {
            throw std::runtime_error("the launcher is gone");
        }
        return exit;
    }

private:
    template <typename Io, typename Bytes>
    static bool Transfer(Io io, int fd, Bytes* data, size_t size) {
        auto* p = reinterpret_cast<std::conditional_t<std::is_const_v<Bytes>, const char, char>*>(data);
        while (size > 0) {
            const ssize_t n = io(fd, p, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            p += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    static bool Send(int fd, const std::vector<std::string>& texts) {
        const uint64_t count = texts.size();
        bool sent = Transfer(::write, fd, &count, sizeof count);
        for (const std::string& t : texts) {
            const uint64_t size = t.size();
            sent = sent && Transfer(::write, fd, &size, sizeof size) && Transfer(::write, fd, t.data(), t.size());
        }
        return sent;
    }
    static bool Receive(int fd, std::vector<std::string>& texts) {
        uint64_t count = 0;
        if (!Transfer(::read, fd, &count, sizeof count)) return false;
        texts.resize(count);
        for (std::string& t : texts) {
            uint64_t size = 0;
            if (!Transfer(::read, fd, &size, sizeof size)) return false;
            t.resize(size);
            if (!Transfer(::read, fd, t.data(), size)) return false;
        }
        return true;
    }
    static void Serve(int in, int out) {
        for (;;) {
            std::vector<std::string> head;
            Launch launch;
            if (!Receive(in, head) || head.size() != 12 || !Receive(in, launch.args) || !Receive(in, launch.env)) {
                return;
            }
            launch.program = head[0];
            launch.dir = head[1];
            launch.out = {static_cast<Sink::Kind>(std::stoi(head[2])), head[3], std::stoi(head[4])};
            launch.err = {static_cast<Sink::Kind>(std::stoi(head[5])), head[6], std::stoi(head[7])};
            launch.addressSpaceLimit = std::stoll(head[8]);
            launch.fileSizeLimit = std::stoll(head[9]);
            launch.ignoreSigpipe = head[10] == "1";
            Process process = Start(launch);
            const Exit exit = Wait(process, std::chrono::milliseconds(std::stoll(head[11])));
            if (!Transfer(::write, out, &exit, sizeof exit)) return;
        }
    }

    pid_t pid_ = -1;
    int requests_ = -1;
    int replies_ = -1;
};

}  // namespace test_support
