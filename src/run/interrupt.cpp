#include "run/interrupt.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include "config/scratch_config.h"

namespace {

constexpr int kInterruptSignals[] = {SIGINT, SIGTERM};

// Seconds the console may take to accept the last output before the process
// is ended regardless (SIGALRM): a stalled terminal or pipe must not keep an
// interrupted run alive.
constexpr unsigned kFlushDeadlineSeconds = 2;

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

// Runs on its own thread, the only one that accepts the interrupt signals
// (every other thread blocks them), so it may use stdio: it waits for the
// stdout lock, which a printf in progress holds, and keeps it to the end, so
// no more console output follows the interruption line.
[[noreturn]] void WatchForInterrupt(sigset_t signals) {
    int sig = 0;
    while (::sigwait(&signals, &sig) != 0) {
    }

    std::signal(SIGALRM, SIG_DFL);
    sigset_t alarmOnly;
    sigemptyset(&alarmOnly);
    sigaddset(&alarmOnly, SIGALRM);
    ::pthread_sigmask(SIG_UNBLOCK, &alarmOnly, nullptr);
    ::alarm(kFlushDeadlineSeconds);

    // A configuration write in progress ends first (renamed or removed):
    // the run never dies with its scratch file on disk.
    HoldScratchConfigForExit();

    ::flockfile(stdout);
    std::fflush(stdout);
    char line[64];
    const int length = std::snprintf(line, sizeof line, "\nInterrupted by signal %d\n", sig);
    if (length > 0) WriteAll(STDOUT_FILENO, line, static_cast<std::size_t>(length));

    // Die of the signal itself, so that the parent sees how the run ended.
    std::signal(sig, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(sig);
    ::_exit(128 + sig);
}

void Install() {
    sigset_t signals;
    sigemptyset(&signals);
    bool any = false;
    for (int sig : kInterruptSignals) {
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
        // run just as abruptly but leaves the files as they are.
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
}

}  // namespace

void InstallInterruptHandlers() {
    static std::once_flag once;
    std::call_once(once, Install);
}
