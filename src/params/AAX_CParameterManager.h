// All parameters of one effect instance, in order of addition and by identifier.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "interfaces/aax_host.h"
#include "interfaces/aax_parameter.h"

// Owns its parameters and deletes them (in index order) when they are removed or when the
// manager is destroyed. Hands each added parameter the automation delegate, which registers it
// with the host. No lock of its own: callers serialise. Only AddParameter can throw (running out
// of memory).
class AAX_CParameterManager {
public:
    // [main] No automation delegate, no parameters.
    AAX_CParameterManager();
    // [main] Removes all parameters.
    ~AAX_CParameterManager();
    AAX_CParameterManager(const AAX_CParameterManager&) = delete;
    AAX_CParameterManager& operator=(const AAX_CParameterManager&) = delete;

    // [main] Stores the delegate (borrowed, may be null) that later additions receive.
    // Parameters added earlier keep the delegate they were given.
    void Initialize(AAX_IAutomationDelegate* automationDelegate);

    // [any] Lookups allocate nothing and change nothing; callers serialise them with additions
    // and removals.
    int32_t NumParameters() const;
    // [any] Null for a negative index or one not below NumParameters.
    AAX_IParameter* GetParameter(int32_t index) const;
    // [any] Exact, case-sensitive match; null for a null or unknown identifier. Logarithmic.
    AAX_IParameter* GetParameterByID(AAX_CParamID identifier) const;
    // [any] The first index whose identifier matches byte for byte; -1 for a null or unknown
    // identifier. Linear.
    int32_t GetParameterIndex(AAX_CParamID identifier) const;

    // [main] Takes ownership of the parameter, gives it the delegate and appends it. Returns
    // false, and leaves the parameter untouched and owned by the caller, when its identifier is
    // already present (or the parameter or its identifier is null). Throws std::bad_alloc when
    // memory runs out, with the manager unchanged and the parameter still the caller's.
    bool AddParameter(AAX_IParameter* parameter);
    // [main] Deletes every parameter in index order, through its slot 0; each unregisters itself
    // from its delegate.
    // The manager is already empty while the parameters are being deleted, so a host that calls
    // back during an unregister finds nothing rather than a parameter being destroyed.
    void RemoveAllParameters();

private:
    AAX_IAutomationDelegate* mAutomationDelegate = nullptr;  // borrowed
    std::vector<AAX_IParameter*> mParameters;                // owned, in order of addition
    // Not owning. std::less<> lets a lookup by std::string_view avoid building a std::string;
    // std::string orders byte-wise as unsigned characters, shorter prefix first.
    std::map<std::string, AAX_IParameter*, std::less<>> mParametersByID;
};
