// Process-wide state of the module: the count of live component objects, which decides whether
// the host may unload the module, and the one host-services object.
#pragma once

#include <cstdint>

class AAX_VHostServices;

// [any] The number of CACFUnknown objects alive now; 0 when the module may be unloaded.
int32_t ACFLiveObjectCount();
// [any] Atomic increment and decrement, called only by CACFUnknown's constructor and destructor.
void ACFLiveObjectConstructed();
void ACFLiveObjectDestroyed();

// [main] The process-wide host-services object, or null. ACFStartup creates it and ACFShutdown
// deletes it, both on the host's loading thread; nothing locks it.
AAX_VHostServices*& ModuleHostServices();
