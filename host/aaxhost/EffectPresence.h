// Whether an instance found the effect it wraps. The module posts a loaded flag into its
// context (1 when it loaded its effect, 0 when not); an instance without it still initialises,
// but has no parameters and passes no audio through, so every command that creates an instance
// asks here first and says why instead of rendering silence.
#pragma once

#include <string>

#include "HostInstance.h"

namespace aaxhost {

// The context field the module posts its loaded flag to: a 4-byte data-in port.
constexpr AAX_CFieldIndex kLoadedFlagField = 8;

// [main] After Initialize: false when the component declares the loaded flag and the module
// did not post 1 to it. A component without such a port has no flag and counts as loaded.
bool EffectLoaded(HostInstance& instance);

// [main] One line on why the module found no effect: the install directory it looked in (or
// that none is set) and the library file it expected there.
std::string MissingEffectReason();

}  // namespace aaxhost
