// One effect instance's VstInterface and VstCallBack, made together: one allocation, aligned to
// a cache line, so that what the processing callback reads of both every buffer (the gate, the
// channel layout and entries, the transport snapshot and the time record) lies in a few
// neighbouring lines of one block rather than in separate blocks and arrays of their own.
#pragma once

#include "vsthost/VstCallBack.h"
#include "vsthost/VstInterface.h"

class AAXWrapper_Parameters;

struct alignas(64) VstInstance {
    // [main] Links the two to each other; no effect yet.
    explicit VstInstance(AAXWrapper_Parameters* owner) : callBack(owner) {
        vst.callBack = &callBack;
        callBack.vstInterface = &vst;
    }
    VstInstance(const VstInstance&) = delete;
    VstInstance& operator=(const VstInstance&) = delete;

    // Declared in this order so that vst is destroyed first: until its effClose returns, the
    // effect's threads may call back into callBack.
    VstCallBack callBack;
    alignas(64) VstInterface vst;
};
static_assert(alignof(VstInstance) == 64);
