// `aaxhost gui`: the effect's editor in a window of its own.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "interfaces/aax_host.h"

namespace aaxhost {

extern const char* const kGuiHelp;

struct GuiOptions {
    std::string module;
    int32_t stemFormat = AAX_eStemFormat_Stereo;
    double seconds = -1.0;  // negative: until the window is closed
    std::string screenshot;
    std::string stateIn;
    bool events = false;
};

// [main] Runs `aaxhost gui` with options the command line has checked. Exit status as for
// every command; no display is a usage error (2).
int GuiCommand(const GuiOptions& options, std::ostream& out, std::ostream& err);

}  // namespace aaxhost
