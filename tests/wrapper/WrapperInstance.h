// A data model built the way a host builds one: through the factory, with the recording effect
// served by the installed test library, and initialised against a scripted host that settles
// every value request by calling the data model back.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interfaces/aax_ids.h"
#include "params/AAX_CString.h"
#include "support/FakeHost.h"
#include "support/RecordingEffect.h"
#include "support/TestEffectInstall.h"
#include "wrapper/AAXWrapper_Parameters.h"

namespace wrappertest {

// Owns one reference on a data model created through the factory.
class DataModel {
public:
    // Serves effect (or nothing when null: the entry point then answers null and the load
    // fails) and creates the data model.
    DataModel(TestEffectInstall& install, RecordingEffect* effect) {
        if (effect != nullptr) install.Serve(effect);
        AAX_IEffectParameters* created = AAXWrapper_Parameters::Create();
        model_ = static_cast<AAXWrapper_Parameters*>(created);
        if (model_ != nullptr) model_->AddRef();
    }
    ~DataModel() {
        if (model_ != nullptr) model_->Release();
    }
    DataModel(const DataModel&) = delete;
    DataModel& operator=(const DataModel&) = delete;

    AAXWrapper_Parameters* operator->() const { return model_; }
    AAXWrapper_Parameters* get() const { return model_; }

    // Hands the host's value requests back to this data model, then initialises it.
    AAX_Result Initialize(testsupport::FakeHost& host) {
        host.automation.SetDataModel(model_);
        return model_->Initialize(host.Unknown());
    }

    std::vector<std::string> ParameterIds() const {
        std::vector<std::string> ids;
        int32_t count = 0;
        model_->GetNumberOfParameters(&count);
        for (int32_t index = 0; index < count; ++index) {
            AAX_CString id;
            model_->GetParameterIDFromIndex(index, &id);
            ids.push_back(id.StdString());
        }
        return ids;
    }

private:
    AAXWrapper_Parameters* model_ = nullptr;
};

}  // namespace wrappertest
