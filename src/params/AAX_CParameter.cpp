#include "params/AAX_CParameter.h"

// The two value types the module uses are compiled once here.
template class AAX_CParameter<float>;
template class AAX_CParameter<bool>;
