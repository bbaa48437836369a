#pragma once
// How a run ends when it is interrupted (SIGINT, SIGTERM).

// From this call on, SIGINT and SIGTERM end the process this way: the console
// output printed so far is flushed, the line "\nInterrupted by signal N\n" is
// written to standard output, and the process dies of that signal with its
// default action (a shell sees 128 + N, never a completion status). Nothing
// is removed or truncated: every MAT-file element already flushed stays
// readable, and vux_reader.cfg is the old or the new complete file. A
// signal the process was started with ignored stays ignored. Installs once
// per process; later calls do nothing.
void InstallInterruptHandlers();
