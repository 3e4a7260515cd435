// The data model interface as the effect framework addresses it. Kept apart from
// AAX_CEffectParameters.h so that the packet dispatcher, which the base holds by value, can
// call back into its owner without a circular include.
#pragma once

#include "interfaces/aax_effect.h"

// Adds nothing to the published table: slots 0 to 47 stay where the host expects them, and the
// component is destroyed through its component base, never through this interface.
class AAX_IEffectParameters : public AAX_IACFEffectParameters_V2 {};
