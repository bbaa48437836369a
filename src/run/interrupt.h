#pragma once
// How a run ends when it is interrupted (SIGINT, SIGTERM, SIGHUP and every
// other signal of core/ending_signals.h).

namespace vux {

// From this call on, each ending signal (core/ending_signals.h: SIGHUP,
// SIGINT, SIGQUIT, SIGTERM, ...) ends the process this way: the scratch
// files of the outputs being written are removed (so every output path holds
// its previous file or the new complete one), the console output printed so
// far is flushed and the line "\nInterrupted by signal N\n" is written to
// standard output, and the process dies of that signal with its default
// action (a shell sees 128 + N, never a completion status), without a core
// file. A console that does not take the output in time (a blocked pipe or
// terminal) loses it: the process ends within 2 seconds of the signal all
// the same. vux_reader.cfg is the old or the new complete file. A signal the
// process was started with ignored stays ignored (nohup's SIGHUP). SIGPIPE
// and SIGXFSZ are ignored: the write they would end fails instead (a console
// whose reader is gone, a file past the file size limit) and the run
// reports it. Installs once per process (one watcher thread); later calls do
// nothing.
void InstallInterruptHandlers();
}  // namespace vux
