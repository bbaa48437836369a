#include "run/interrupt.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include "config/scratch_config.h"
#include "core/ending_signals.h"
#include "output/scratch_file.h"

namespace vux {
namespace {

// Ignored, so that the write they would end fails and reports itself: a
// console whose reader is gone, a file past the file size limit.
constexpr int kIgnoredSignals[] = {SIGPIPE, SIGXFSZ};

// From the signal to the end of the process, at most: a console that does
// not take the last output (a stalled terminal, a pipe nobody reads) must
// not keep an interrupted run alive.
constexpr long kDeadlineMicroseconds = 1'800'000;

// How long the watcher waits for the console's lock, which a thread blocked
// in a write holds, before it writes the interruption line around it.
constexpr int kConsoleLockTries = 100;
constexpr long kConsoleLockPauseNanoseconds = 10'000'000;

volatile std::sig_atomic_t gSignal = 0;

// A little before the deadline, in nanoseconds of CLOCK_MONOTONIC: a SIGALRM
// from then on is the timer's.
std::atomic<long long> gDeadlineNear{0};
static_assert(std::atomic<long long>::is_always_lock_free, "read in a signal handler");
constexpr long long kDeadlineSlackNanoseconds = 100'000'000;

long long MonotonicNanoseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Ends the process by the interrupting signal itself, so that the parent sees
// how the run ended (128 + N in a shell). Async-signal-safe: it also serves as
// the handler of the deadline's SIGALRM, in whichever thread that lands.
[[noreturn]] void EndBySignal() {
    const int sig = gSignal;
    // A run that ends on request leaves no core file (SIGQUIT's and SIGXCPU's
    // default action would write one): the outputs are all it leaves.
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(sig, &fallback, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(sig);
    ::_exit(128 + sig);
}

// A SIGALRM sent before the deadline (the run may have been interrupted by
// one) changes nothing: the timer's own comes at the deadline.
extern "C" void OnDeadline(int) {
    if (MonotonicNanoseconds() >= gDeadlineNear.load()) EndBySignal();
}

void ArmDeadline() {
    gDeadlineNear.store(MonotonicNanoseconds() + kDeadlineMicroseconds * 1000 - kDeadlineSlackNanoseconds);
    struct sigaction action {};
    action.sa_handler = OnDeadline;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGALRM, &action, nullptr);
    sigset_t alarmOnly;
    sigemptyset(&alarmOnly);
    sigaddset(&alarmOnly, SIGALRM);
    ::pthread_sigmask(SIG_UNBLOCK, &alarmOnly, nullptr);
    itimerval deadline{};
    deadline.it_value.tv_sec = kDeadlineMicroseconds / 1'000'000;
    deadline.it_value.tv_usec = kDeadlineMicroseconds % 1'000'000;
    ::setitimer(ITIMER_REAL, &deadline, nullptr);
}

void WriteAll(int fd, const char* text, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, text, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        text += written;
        size -= static_cast<std::size_t>(written);
    }
}

// Takes the console's lock when the thread that holds it lets go within the
// tries; a thread blocked in a write never does.
bool TryLockConsole() {
    const timespec pause{0, kConsoleLockPauseNanoseconds};
    for (int i = 0; i < kConsoleLockTries; ++i) {
        if (::ftrylockfile(stdout) == 0) return true;
        ::nanosleep(&pause, nullptr);
    }
    return false;
}

// Runs on its own thread, the only one that accepts the ending signals
// (every other thread blocks them). First the scratch files go and a
// configuration write in progress ends, then the
// console output printed so far and the interruption line follow while the
// console takes them; the console lock is kept to the end, so no more output
// follows the line. The deadline ends the process whatever blocks.
[[noreturn]] void WatchForInterrupt(sigset_t signals) {
    int sig = 0;
    while (::sigwait(&signals, &sig) != 0) {
    }
    gSignal = sig;
    ArmDeadline();
    RemoveScratchFilesForExit();

    // A configuration write in progress ends first (renamed or removed):
    // the run never dies with its scratch file on disk.
    HoldScratchConfigForExit();

    char line[64];
    const int length = std::snprintf(line, sizeof line, "\nInterrupted by signal %d\n", sig);
    if (TryLockConsole()) {
        std::fflush(stdout);
        if (length > 0) WriteAll(STDOUT_FILENO, line, static_cast<std::size_t>(length));
    } else if (length > 0) {
        // Another thread is stuck writing: one attempt, only if it cannot block.
        pollfd ready{STDOUT_FILENO, POLLOUT, 0};
        if (::poll(&ready, 1, 0) == 1 && (ready.revents & POLLOUT) != 0) {
            static_cast<void>(::write(STDOUT_FILENO, line, static_cast<std::size_t>(length)));
        }
    }
    EndBySignal();
}

void Install() {
    for (int sig : kIgnoredSignals) ::signal(sig, SIG_IGN);
    sigset_t signals;
    sigemptyset(&signals);
    bool any = false;
    for (int sig : kEndingSignals) {
        struct sigaction current {};
        if (::sigaction(sig, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        sigaddset(&signals, sig);
        any = true;
    }
    if (!any) return;

    sigset_t previous;
    if (::pthread_sigmask(SIG_BLOCK, &signals, &previous) != 0) return;
    try {
        std::thread(WatchForInterrupt, signals).detach();
    } catch (const std::system_error&) {
        // No watcher: the signals keep their default action, which ends the
        // run just as abruptly but leaves its scratch files behind.
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
}

}  // namespace

void InstallInterruptHandlers() {
    static std::once_flag once;
    std::call_once(once, Install);
}
}  // namespace vux
