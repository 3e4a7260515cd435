// A data model built on the base, whose EffectInit adds the parameters a test lists, plus
// helpers that make the framework's own float and bool parameters.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "effect/AAX_CEffectParameters.h"
#include "params/AAX_CBinaryDisplayDelegate.h"
#include "params/AAX_CBinaryTaperDelegate.h"
#include "params/AAX_CLinearTaperDelegate.h"
#include "params/AAX_CNumberDisplayDelegate.h"
#include "params/AAX_CParameter.h"

inline AAX_CParameter<float>* MakeFloatParameter(const char* id, float value, const char* name = nullptr) {
    return new AAX_CParameter<float>(id, AAX_CString(name != nullptr ? name : id), value,
                                     AAX_CLinearTaperDelegate<float>(0.0f, 1.0f),
                                     AAX_CNumberDisplayDelegate<float>(), true);
}

inline AAX_CParameter<bool>* MakeBoolParameter(const char* id, bool value) {
    return new AAX_CParameter<bool>(id, AAX_CString(id), value, AAX_CBinaryTaperDelegate<bool>(),
                                    AAX_CBinaryDisplayDelegate<bool>("off", "on"), true);
}

class TestEffect : public AAX_CEffectParameters {
public:
    // Parameters that EffectInit hands to the manager, in order; the manager then owns them.
    std::vector<AAX_IParameter*> pending;
    AAX_Result initResult = AAX_SUCCESS;
    std::function<void(TestEffect&)> onInit;
    bool* destroyed = nullptr;  // set to true by the destructor

    ~TestEffect() override {
        for (AAX_IParameter* parameter : pending) parameter->Destroy(AAX_kDestroyFreesMemory);  // never handed over
        if (destroyed != nullptr) *destroyed = true;
    }

    AAX_Result EffectInit() override {
        for (AAX_IParameter* parameter : pending) {
            if (!mParameterManager.AddParameter(parameter)) parameter->Destroy(AAX_kDestroyFreesMemory);
        }
        pending.clear();
        if (onInit) onInit(*this);
        return initResult;
    }

    // Adds a parameter at once, outside Initialize.
    void Add(AAX_IParameter* parameter) {
        if (!mParameterManager.AddParameter(parameter)) parameter->Destroy(AAX_kDestroyFreesMemory);
    }
    AAX_IParameter* Parameter(const char* id) { return mParameterManager.GetParameterByID(id); }
    AAX_CPacketDispatcher& Dispatcher() { return mPacketDispatcher; }
    const std::set<std::string, std::less<>>& Filtered() const { return mFilteredParameters; }
    void Filter(const char* id) { mFilteredParameters.insert(id); }
    bool HoldsHostWrappers() const {
        return mController != nullptr && mTransport != nullptr && mAutomationDelegate != nullptr;
    }
    int32_t Changes() const { return mNumPlugInChanges; }
    void SetChanges(int32_t changes) { mNumPlugInChanges = changes; }
};
