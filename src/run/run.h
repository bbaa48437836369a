#pragma once
// The run sequence: banner, command line, configuration, data reduction,
// output and summary, in that order.

namespace vux {

// Runs the tool once and returns the process exit status: 10 on completion,
// 0 when the input data file does not exist, -1 (255) on any refusal.
int RunVuxReader(int argc, char** argv);
}  // namespace vux
