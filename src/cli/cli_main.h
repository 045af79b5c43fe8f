// The whole of varnelo-cli behind main(): arguments, list intake, the job,
// the display and the summary.
#pragma once

#include <string>
#include <vector>

namespace varnelo::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;

// Runs varnelo-cli with `args` (without the program name) on the process's
// standard streams in the current directory. Returns kExitOk once every line
// has been handed out and every worker has ended (also for an empty list),
// kExitUsage on a usage error or a list that cannot be read.
int runCli(const std::vector<std::string>& args);

}  // namespace varnelo::cli
