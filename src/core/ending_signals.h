#pragma once
// The signals that end a run: every catchable signal whose default action
// ends the process. One thread (the interrupt watcher) takes them and ends
// the run in order; every other thread blocks them, so that none of them
// kills the process in the middle of a write.

#include <signal.h>

namespace vux {
inline constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM, SIGUSR1,
                                         SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU};

// The set of kEndingSignals, for pthread_sigmask.
inline sigset_t EndingSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kEndingSignals) sigaddset(&set, sig);
    return set;
}
}  // namespace vux
