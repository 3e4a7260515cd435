#include "params/AAX_CParameterManager.h"

#include <cstring>
#include <string_view>
#include <utility>

AAX_CParameterManager::AAX_CParameterManager() = default;

AAX_CParameterManager::~AAX_CParameterManager() { RemoveAllParameters(); }

void AAX_CParameterManager::Initialize(AAX_IAutomationDelegate* automationDelegate) {
    mAutomationDelegate = automationDelegate;
}

int32_t AAX_CParameterManager::NumParameters() const {
    return static_cast<int32_t>(mParameters.size());
}

AAX_IParameter* AAX_CParameterManager::GetParameter(int32_t index) const {
    if (index < 0 || index >= NumParameters()) return nullptr;
    return mParameters[static_cast<std::size_t>(index)];
}

AAX_IParameter* AAX_CParameterManager::GetParameterByID(AAX_CParamID identifier) const {
    if (identifier == nullptr) return nullptr;
    const auto entry = mParametersByID.find(std::string_view(identifier));
    return entry != mParametersByID.end() ? entry->second : nullptr;
}

int32_t AAX_CParameterManager::GetParameterIndex(AAX_CParamID identifier) const {
    if (identifier == nullptr) return -1;
    for (std::size_t index = 0; index < mParameters.size(); ++index) {
        const AAX_IParameter* parameter = mParameters[index];
        if (parameter == nullptr) continue;
        const char* own = parameter->Identifier();
        if (own != nullptr && std::strcmp(own, identifier) == 0) return static_cast<int32_t>(index);
    }
    return -1;
}

bool AAX_CParameterManager::AddParameter(AAX_IParameter* parameter) {
    if (parameter == nullptr) return false;
    const char* identifier = parameter->Identifier();
    if (identifier == nullptr) return false;
    if (GetParameterByID(identifier) != nullptr) return false;
    // Everything that can run out of memory comes first, so that a failure leaves the manager as
    // it was and the parameter the caller's alone: room in the list, then the lookup entry.
    mParameters.reserve(mParameters.size() + 1);
    const auto entry = mParametersByID.emplace(std::string(identifier), parameter).first;
    try {
        parameter->SetAutomationDelegate(mAutomationDelegate);
    } catch (...) {
        mParametersByID.erase(entry);
        throw;
    }
    mParameters.push_back(parameter);  // cannot fail: the room is there
    return true;
}

void AAX_CParameterManager::RemoveAllParameters() {
    // Detach the lists first so that no lookup made while a parameter unregisters itself can
    // reach a parameter that is being, or has been, destroyed.
    std::vector<AAX_IParameter*> parameters;
    parameters.swap(mParameters);
    mParametersByID.clear();
    for (AAX_IParameter* parameter : parameters) {
        if (parameter != nullptr) parameter->Destroy(AAX_kDestroyFreesMemory);  // slot 0
    }
}
