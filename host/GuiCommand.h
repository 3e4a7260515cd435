// `aaxhost gui`: the effect's editor in a window of its own.
#pragma once

#include <ostream>

namespace aaxhost {

extern const char* const kGuiHelp;

// [main] Runs `aaxhost gui` with the arguments after the command's name. Exit status as for
// every command; no display is a usage error (2).
int GuiCommand(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace aaxhost
