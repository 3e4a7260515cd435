// The conformance run of `aaxhost validate`: registration and description, instance
// lifecycles, parameters and automation, master bypass, state, processing at several rates,
// block sizes and layouts, MIDI and transport, the editor, parameter changes from another
// thread, and an instance whose effect cannot be found.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "PluginModule.h"

namespace aaxhost {

struct CheckResult {
    std::string name;
    bool passed = false;
    std::string detail;
};

struct ValidateOptions {
    int32_t strictness = 5;  // 1..10: more seeds, more cycles, longer runs
    uint32_t seed = 1;
    bool checkMissingEffect = true;
    std::function<void(const CheckResult&)> onCheck;  // called as each check finishes
};

struct ValidateReport {
    std::vector<CheckResult> checks;
    int32_t Passed() const;
    int32_t Failed() const;
};

// [main] Runs every check on a loaded module that has not been started yet. The module is
// started, registered and shut down by the run.
ValidateReport Validate(PluginModule& module, const ValidateOptions& options);

void PrintCheckLine(std::ostream& out, const CheckResult& check);
void PrintReportJson(std::ostream& out, const ValidateReport& report, const std::string& module);

}  // namespace aaxhost
