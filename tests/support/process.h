#pragma once
// Starting programs from tests: the built tool or any other program, in a
// chosen directory, each output stream to a pipe, /dev/null, a file or a
// descriptor, with limits on address space and file size, signals ignored
// from the start and, for a root test, another user; waited for under a time
// limit. The exit status reads as a shell shows it.

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
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
#include <utility>
#include <vector>

extern char** environ;

namespace test_support {

using Millis = std::chrono::milliseconds;
inline constexpr Millis kNoLimit = std::chrono::hours(24);

// Where a started program's standard output or error goes.
struct Sink {
    enum Kind { kNull, kPipe, kFile, kFd, kClosed, kBrokenPipe };
    Kind kind = kNull;
    std::string path;  // kFile: created, or truncated
    int fd = -1;       // kFd: a descriptor of the test, shared with the program

    static Sink Pipe() { return {kPipe, {}, -1}; }  // read through Process::out or ::err
    static Sink File(const std::filesystem::path& path) { return {kFile, path.string(), -1}; }
    static Sink Fd(int fd) { return {kFd, {}, fd}; }
    static Sink Closed() { return {kClosed, {}, -1}; }
    static Sink BrokenPipe() { return {kBrokenPipe, {}, -1}; }  // a pipe nobody will ever read
};

// What to start. Standard input is always /dev/null.
struct Launch {
#ifdef VUX_BINARY_PATH
    std::string program = VUX_BINARY_PATH;  // path of the executable; the built tool by default
#else
    std::string program;
#endif
    std::vector<std::string> args;     // after the program's own name
    std::string dir;                   // working directory; empty: the test's own
    Sink out;                          // /dev/null by default
    Sink err;                          // /dev/null by default
    std::vector<std::string> env;      // "NAME=value" entries added to (or replacing in) the environment
    long long addressSpaceLimit = -1;  // RLIMIT_AS in bytes; -1: none
    long long fileSizeLimit = -1;      // RLIMIT_FSIZE in bytes, as `ulimit -f` sets it
    std::vector<int> ignored;          // signals it starts with ignored (nohup's SIGHUP); others: default
    int user = -1;                     // uid and gid it runs as (the test must be root); -1: the test's
};

// `program` with `args` in the test's working directory.
inline Launch Program(std::string program, std::vector<std::string> args = {}) {
    Launch launch;
    launch.program = std::move(program);
    launch.args = std::move(args);
    return launch;
}

// The built tool in `dir` with `args`, its standard output to `out`.
inline Launch Tool(const std::filesystem::path& dir, std::vector<std::string> args = {}, Sink out = {}) {
    Launch launch;
    launch.args = std::move(args);
    launch.dir = dir.string();
    launch.out = std::move(out);
    return launch;
}

// How a program ended.
struct Exit {
    int raw = 0;            // wait status
    int status = -1;        // as a shell shows it: the exit code, or 128 + N for signal N
    bool timedOut = false;  // still running at the time limit, then killed (SIGKILL)
    long long peakKiB = 0;  // peak resident size, from wait4
    double seconds = 0.0;   // from the start to the end

    bool Exited() const { return WIFEXITED(raw); }
    bool KilledBy(int sig) const { return WIFSIGNALED(raw) && WTERMSIG(raw) == sig; }
};

// A started program. Its destructor kills (SIGKILL) and reaps a program not
// waited for, and closes the pipes.
struct Process {
    pid_t pid = -1;  // -1: it could not be started
    int out = -1;    // read end of its standard output when piped
    int err = -1;    // read end of its standard error when piped
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();

    Process() = default;
    Process(Process&& o) noexcept
        : pid(std::exchange(o.pid, -1)), out(std::exchange(o.out, -1)), err(std::exchange(o.err, -1)),
          started(o.started) {}
    Process& operator=(Process&&) = delete;
    ~Process() {
        if (pid > 0) ::kill(pid, SIGKILL);
        while (pid > 0 && ::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        Close(out);
        Close(err);
    }
    static void Close(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

// Starts `launch`. Everything is prepared before the fork; between the fork
// and the exec the child makes plain system calls only. A program that cannot
// be executed (or run as `user`) exits with 127.
inline Process Start(const Launch& launch) {
    std::vector<std::string> texts{launch.program};
    texts.insert(texts.end(), launch.args.begin(), launch.args.end());
    const size_t argc = texts.size();
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string_view entry(*e);
        const auto sameName = [&](const std::string& a) {
            return entry.substr(0, entry.find('=') + 1) == std::string_view(a).substr(0, a.find('=') + 1);
        };
        if (std::none_of(launch.env.begin(), launch.env.end(), sameName)) texts.emplace_back(entry);
    }
    texts.insert(texts.end(), launch.env.begin(), launch.env.end());
    std::vector<char*> argv;
    for (std::string& t : texts) argv.push_back(t.data());
    argv.insert(argv.begin() + static_cast<long>(argc), nullptr);
    argv.push_back(nullptr);  // argv[argc + 1 ..] is the environment

    Process process;
    int pipes[2][2] = {{-1, -1}, {-1, -1}};
    int fds[2] = {-1, -1};
    int nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    bool failed = nullFd < 0;
    const Sink* sinks[2] = {&launch.out, &launch.err};
    for (int i = 0; i < 2; ++i) {
        switch (sinks[i]->kind) {
            case Sink::kNull: fds[i] = nullFd; break;
            case Sink::kFd: fds[i] = sinks[i]->fd; break;
            case Sink::kClosed: break;
            case Sink::kFile:
                fds[i] = ::open(sinks[i]->path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                failed = failed || fds[i] < 0;
                break;
            case Sink::kPipe:
            case Sink::kBrokenPipe:
                failed = failed || ::pipe2(pipes[i], O_CLOEXEC) != 0;
                fds[i] = pipes[i][1];
                if (sinks[i]->kind == Sink::kBrokenPipe) Process::Close(pipes[i][0]);
                break;
        }
    }
    process.started = std::chrono::steady_clock::now();
    process.pid = failed ? -1 : ::fork();
    if (process.pid == 0) {
        ::dup2(nullFd, STDIN_FILENO);
        for (int i = 0; i < 2; ++i) {
            if (fds[i] >= 0) ::dup2(fds[i], STDOUT_FILENO + i); else ::close(STDOUT_FILENO + i);
        }
        for (int sig = 1; sig < NSIG; ++sig) ::signal(sig, SIG_DFL);  // fails harmlessly on KILL, STOP
        for (int sig : launch.ignored) ::signal(sig, SIG_IGN);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        for (const auto& [resource, bytes] : {std::pair{RLIMIT_FSIZE, launch.fileSizeLimit},
                                              std::pair{RLIMIT_AS, launch.addressSpaceLimit}}) {
            const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
            if (bytes >= 0) ::setrlimit(resource, &limit);
        }
        const bool asUser = launch.user < 0 || (::setgroups(0, nullptr) == 0 && ::setgid(launch.user) == 0 &&
                                                ::setuid(launch.user) == 0);
        if (asUser && (launch.dir.empty() || ::chdir(launch.dir.c_str()) == 0)) {
            ::execve(argv[0], argv.data(), argv.data() + argc + 1);
        }
        ::_exit(127);
    }
    for (int i = 0; i < 2; ++i) {
        if (sinks[i]->kind == Sink::kFile || pipes[i][1] >= 0) Process::Close(fds[i]);
    }
    Process::Close(nullFd);
    process.out = pipes[0][0];
    process.err = pipes[1][0];
    return process;
}

// Waits for the program to end, killing it (SIGKILL) once `limit` has passed;
// closes its pipes. A program never started reads as one that exited with 127.
inline Exit Wait(Process& process, Millis limit = kNoLimit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    Exit exit;
    exit.raw = 127 << 8;
    rusage usage{};
    while (process.pid > 0) {
        const pid_t done = ::wait4(process.pid, &exit.raw, WNOHANG, &usage);
        if (done == process.pid || (done < 0 && errno != EINTR)) break;
        if (std::chrono::steady_clock::now() > deadline) {
            exit.timedOut = true;
            ::kill(process.pid, SIGKILL);
            while (::wait4(process.pid, &exit.raw, 0, &usage) < 0 && errno == EINTR) {
            }
            break;
        }
        std::this_thread::sleep_for(Millis(2));
    }
    process.pid = -1;
    exit.peakKiB = usage.ru_maxrss;
    exit.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - process.started).count();
    exit.status = WIFEXITED(exit.raw) ? WEXITSTATUS(exit.raw) : WIFSIGNALED(exit.raw) ? 128 + WTERMSIG(exit.raw) : -1;
    Process::Close(process.out);
    Process::Close(process.err);
    return exit;
}

// Reads from `fds` (the pipes still open, -1 for none) into `texts` until
// `done` says so, both pipes close or `deadline` passes; a closed pipe is
// set to -1. False when stopped by the deadline.
template <typename Done>
bool ReadPipes(int* fds[2], std::string* texts[2], std::chrono::steady_clock::time_point deadline, Done done) {
    while (!done() && (*fds[0] >= 0 || *fds[1] >= 0)) {
        const auto left = std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd ready[2] = {{*fds[0], POLLIN, 0}, {*fds[1], POLLIN, 0}};
        if (::poll(ready, 2, static_cast<int>(std::min<long long>(left.count(), 1 << 30))) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            char buffer[4096];
            const ssize_t got = ready[i].revents != 0 ? ::read(*fds[i], buffer, sizeof buffer) : -1;
            if (got > 0) texts[i]->append(buffer, static_cast<size_t>(got));
            if (got == 0 || (got < 0 && ready[i].revents != 0 && errno != EINTR)) Process::Close(*fds[i]);
        }
    }
    return true;
}

// Appends what the program writes to its piped standard output to `text`
// until `text` holds `marker` (true), the pipe closes or `timeout` passes. An
// empty marker reads to the end.
inline bool ReadUntil(Process& process, std::string& text, std::string_view marker, Millis timeout) {
    int none = -1;
    std::string ignored;
    int* fds[2] = {&process.out, &none};
    std::string* texts[2] = {&text, &ignored};
    const auto found = [&] { return !marker.empty() && text.find(marker) != std::string::npos; };
    ReadPipes(fds, texts, std::chrono::steady_clock::now() + timeout, found);
    return found();
}

// Appends the rest of the piped standard output to `text` (up to its end).
inline void ReadToEnd(Process& process, std::string& text) { ReadUntil(process, text, {}, kNoLimit); }

// A whole run: how it ended and what it wrote to its pipes.
struct Ran {
    Exit exit;
    std::string out;
    std::string err;
};

// Runs `launch` to its end (killed at `limit`), reading its pipes as it goes.
inline Ran RunProgram(const Launch& launch, Millis limit = kNoLimit) {
    Process process = Start(launch);
    Ran ran;
    int* fds[2] = {&process.out, &process.err};
    std::string* texts[2] = {&ran.out, &ran.err};
    const auto deadline = process.started + limit;
    ReadPipes(fds, texts, deadline, [] { return false; });
    ran.exit = Wait(process, std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now()));
    return ran;
}

// `command` run by /bin/sh, its standard output captured and its errors going
// to the test's own standard error.
inline Ran RunShell(const std::string& command) {
    Launch launch = Program("/bin/sh", {"-c", command});
    launch.out = Sink::Pipe();
    launch.err = Sink::Fd(STDERR_FILENO);
    return RunProgram(launch);
}

// Runs launches from a helper process forked when the launcher is made. A
// program's peak resident size, as wait4 reports it, counts what its process
// inherited at the fork: made while the test program is small (a global),
// the launcher keeps the test's later growth out of the measure. Its sinks
// can be /dev/null, files and the test's descriptors, not pipes.
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
            for (std::string request; Receive(requests[0], request);) {
                Process process = Start(Decode(request));
                const Exit exit = Wait(process, Millis(std::stoll(request.substr(request.rfind('\0') + 1))));
                if (!Whole(::write, replies[1], reinterpret_cast<const char*>(&exit), sizeof exit)) break;
            }
            ::_exit(0);
        }
        ::close(requests[0]);
        ::close(replies[1]);
        requests_ = requests[1];
        replies_ = replies[0];
    }
    ~Launcher() {
        Process::Close(requests_);
        Process::Close(replies_);
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    // As Wait(Start(launch), limit), from the helper; throws when it is gone.
    Exit Run(const Launch& launch, Millis limit) {
        std::string request;
        for (const std::string& field : Fields(launch)) request += field + '\0';
        request += std::to_string(limit.count());
        const uint64_t size = request.size();
        Exit exit;
        if (!Whole(::write, requests_, reinterpret_cast<const char*>(&size), sizeof size) ||
            !Whole(::write, requests_, request.data(), size) ||
            !Whole(::read, replies_, reinterpret_cast<char*>(&exit), sizeof exit)) {
            throw std::runtime_error("the launcher is gone");
        }
        return exit;
    }

private:
    // Every field of `launch` as text, with the counts of its lists first.
    static std::vector<std::string> Fields(const Launch& l) {
        std::vector<std::string> f = {std::to_string(l.args.size()), std::to_string(l.env.size()), l.program,
                                      l.dir, std::to_string(l.out.kind), l.out.path, std::to_string(l.out.fd),
                                      std::to_string(l.err.kind), l.err.path, std::to_string(l.err.fd),
                                      std::to_string(l.addressSpaceLimit), std::to_string(l.fileSizeLimit),
                                      std::to_string(l.user), std::to_string(l.ignored.size())};
        for (int sig : l.ignored) f.push_back(std::to_string(sig));
        f.insert(f.end(), l.args.begin(), l.args.end());
        f.insert(f.end(), l.env.begin(), l.env.end());
        return f;
    }
    static Launch Decode(const std::string& request) {
        std::vector<std::string> f;
        for (size_t at = 0, end; (end = request.find('\0', at)) != std::string::npos; at = end + 1) {
            f.push_back(request.substr(at, end - at));
        }
        Launch l;
        const size_t args = std::stoul(f[0]);
        l.program = f[2];
        l.dir = f[3];
        l.out = {static_cast<Sink::Kind>(std::stoi(f[4])), f[5], std::stoi(f[6])};
        l.err = {static_cast<Sink::Kind>(std::stoi(f[7])), f[8], std::stoi(f[9])};
        l.addressSpaceLimit = std::stoll(f[10]);
        l.fileSizeLimit = std::stoll(f[11]);
        l.user = std::stoi(f[12]);
        size_t at = 14;
        for (size_t i = 0; i < std::stoul(f[13]); ++i) l.ignored.push_back(std::stoi(f[at++]));
        l.args.assign(f.begin() + static_cast<long>(at), f.begin() + static_cast<long>(at + args));
        l.env.assign(f.begin() + static_cast<long>(at + args), f.end());
        return l;
    }
    template <typename Io, typename Byte>
    static bool Whole(Io io, int fd, Byte* p, size_t size) {
        while (size > 0) {
            const ssize_t n = io(fd, p, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            p += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    static bool Receive(int fd, std::string& request) {
        uint64_t size = 0;
        if (!Whole(::read, fd, reinterpret_cast<char*>(&size), sizeof size)) return false;
        request.resize(size);
        return Whole(::read, fd, request.data(), size);
    }

    pid_t pid_ = -1;
    int requests_ = -1;
    int replies_ = -1;
};

}  // namespace test_support
