// The aaxhost command: describe, params, render, validate and install-dir.
#pragma once

#include <ostream>

namespace aaxhost {

constexpr int kExitSuccess = 0;
constexpr int kExitFailed = 1;  // validation failed, or the module failed what was asked
constexpr int kExitUsage = 2;   // a usage or input error

// [main] Runs the command line; output goes to out, the one-line reason for a failure to err.
int RunCommand(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace aaxhost
