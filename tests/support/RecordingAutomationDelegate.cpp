#include "support/RecordingAutomationDelegate.h"

#include <algorithm>
#include <ostream>
#include <utility>

namespace testsupport {

namespace {
std::string IdentifierText(AAX_CParamID parameterID) { return parameterID != nullptr ? parameterID : ""; }
}  // namespace

void PrintTo(const AutomationCall& call, std::ostream* stream) {
    *stream << call.operation << "(\"" << call.identifier << "\", " << call.value << ")";
}

RecordingAutomationDelegate::RecordingAutomationDelegate(SetValueRequestHandler handler)
    : mSetValueRequestHandler(std::move(handler)) {}

void RecordingAutomationDelegate::SetSetValueRequestHandler(SetValueRequestHandler handler) {
    mSetValueRequestHandler = std::move(handler);
}

std::vector<std::string> RecordingAutomationDelegate::Operations() const {
    std::vector<std::string> names;
    names.reserve(mCalls.size());
    for (const AutomationCall& call : mCalls) names.push_back(call.operation);
    return names;
}

std::size_t RecordingAutomationDelegate::Count(const std::string& operation) const {
    return static_cast<std::size_t>(std::count_if(mCalls.begin(), mCalls.end(),
        [&](const AutomationCall& call) { return call.operation == operation; }));
}

void RecordingAutomationDelegate::Record(const char* operation, AAX_CParamID parameterID,
                                         double value) const {
    mCalls.push_back(AutomationCall{operation, IdentifierText(parameterID), value});
}

AAX_Result RecordingAutomationDelegate::RegisterParameter(AAX_CParamID parameterID) {
    Record("RegisterParameter", parameterID, 0.0);
    return result;
}

AAX_Result RecordingAutomationDelegate::UnregisterParameter(AAX_CParamID parameterID) {
    Record("UnregisterParameter", parameterID, 0.0);
    return result;
}

AAX_Result RecordingAutomationDelegate::PostSetValueRequest(AAX_CParamID parameterID,
                                                            double normalizedValue) const {
    Record("PostSetValueRequest", parameterID, normalizedValue);
    if (mSetValueRequestHandler) mSetValueRequestHandler(parameterID, normalizedValue);
    return result;
}

AAX_Result RecordingAutomationDelegate::PostCurrentValue(AAX_CParamID parameterID,
                                                         double normalizedValue) const {
    Record("PostCurrentValue", parameterID, normalizedValue);
    return result;
}

AAX_Result RecordingAutomationDelegate::PostTouchRequest(AAX_CParamID parameterID) {
    Record("PostTouchRequest", parameterID, 0.0);
    ++mTouchDepth[IdentifierText(parameterID)];
    return result;
}

AAX_Result RecordingAutomationDelegate::PostReleaseRequest(AAX_CParamID parameterID) {
    Record("PostReleaseRequest", parameterID, 0.0);
    --mTouchDepth[IdentifierText(parameterID)];
    return result;
}

AAX_Result RecordingAutomationDelegate::GetTouchState(AAX_CParamID parameterID, bool* outTouched) {
    Record("GetTouchState", parameterID, 0.0);
    if (outTouched != nullptr) {
        const auto entry = mTouchDepth.find(IdentifierText(parameterID));
        *outTouched = entry != mTouchDepth.end() && entry->second > 0;
    }
    return result;
}

}  // namespace testsupport
