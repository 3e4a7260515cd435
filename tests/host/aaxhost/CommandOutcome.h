// Runs the aaxhost command line in this process, as `aaxhost ARGUMENTS...` would.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "Cli.h"

namespace hosttest {

struct Outcome {
    int status;
    std::string out, err;
};

inline Outcome Invoke(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "aaxhost");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    std::ostringstream out, err;
    const int status = aaxhost::RunCommand(static_cast<int>(argv.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}

}  // namespace hosttest
