#include "module/ModuleState.h"

#include <atomic>

namespace {

std::atomic<int32_t> liveObjectCount{0};
AAX_VHostServices* hostServices = nullptr;

}  // namespace

int32_t ACFLiveObjectCount() { return liveObjectCount.load(std::memory_order_acquire); }

void ACFLiveObjectConstructed() { liveObjectCount.fetch_add(1, std::memory_order_acq_rel); }

void ACFLiveObjectDestroyed() { liveObjectCount.fetch_sub(1, std::memory_order_acq_rel); }

AAX_VHostServices*& ModuleHostServices() { return hostServices; }
