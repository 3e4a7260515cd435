// A scriptable automation delegate that records every call it receives, in order.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "interfaces/aax_host.h"

namespace testsupport {

struct AutomationCall {
    std::string operation;   // the operation's name, e.g. "PostSetValueRequest"
    std::string identifier;  // the parameter identifier ("" when the caller passed null)
    double value = 0.0;      // the normalized value, 0.0 for operations without one

    bool operator==(const AutomationCall& other) const = default;
};

// Prints a call for GoogleTest failure messages.
void PrintTo(const AutomationCall& call, std::ostream* stream);

// Records RegisterParameter, UnregisterParameter, PostSetValueRequest, PostCurrentValue,
// PostTouchRequest, PostReleaseRequest and GetTouchState. Every operation returns `result`.
// GetTouchState reports whether more touches than releases were posted for the identifier.
class RecordingAutomationDelegate : public AAX_IAutomationDelegate {
public:
    // Called after PostSetValueRequest is recorded, as a host answers a request through the
    // data model (typically by calling the parameter's UpdateNormalizedValue).
    using SetValueRequestHandler = std::function<void(AAX_CParamID identifier, double normalizedValue)>;

    RecordingAutomationDelegate() = default;
    explicit RecordingAutomationDelegate(SetValueRequestHandler handler);

    void SetSetValueRequestHandler(SetValueRequestHandler handler);

    const std::vector<AutomationCall>& Calls() const { return mCalls; }
    // Just the operation names, in order.
    std::vector<std::string> Operations() const;
    std::size_t Count(const std::string& operation) const;
    void ClearCalls() { mCalls.clear(); }

    AAX_Result result = AAX_SUCCESS;

    AAX_Result RegisterParameter(AAX_CParamID parameterID) override;
    AAX_Result UnregisterParameter(AAX_CParamID parameterID) override;
    AAX_Result PostSetValueRequest(AAX_CParamID parameterID, double normalizedValue) const override;
    AAX_Result PostCurrentValue(AAX_CParamID parameterID, double normalizedValue) const override;
    AAX_Result PostTouchRequest(AAX_CParamID parameterID) override;
    AAX_Result PostReleaseRequest(AAX_CParamID parameterID) override;
    AAX_Result GetTouchState(AAX_CParamID parameterID, bool* outTouched) override;

private:
    void Record(const char* operation, AAX_CParamID parameterID, double value) const;

    mutable std::vector<AutomationCall> mCalls;
    std::map<std::string, int> mTouchDepth;
    SetValueRequestHandler mSetValueRequestHandler;
};

}  // namespace testsupport

// Usable with or without the namespace.
using testsupport::AutomationCall;
using testsupport::RecordingAutomationDelegate;
