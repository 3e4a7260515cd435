// A parameter that holds an int32, a double or a string (or no typed value at all), for the
// value kinds that the framework's own parameter does not cover. Typed getters and setters
// answer only for the parameter's own kind, as the framework's parameter does.
#pragma once

#include <cstdint>
#include <string>

#include "interfaces/aax_parameter.h"
#include "params/AAX_CString.h"

class ScalarParameter final : public AAX_IParameter {
public:
    enum class Kind { Int32, Double, String, Untyped };

    ScalarParameter(const char* id, Kind kind) : mId(id), mName(id), mKind(kind) {}

    int32_t intValue = 0;
    double doubleValue = 0.0;
    std::string stringValue;

    void* Destroy(uint32_t flags) override { return AAX_DestroyFinal(this, flags); }
    AAX_CParamID Identifier() const override { return mId.c_str(); }
    void SetName(const AAX_CString& name) override { mName = name; }
    const AAX_CString& Name() const override { return mName; }
    void AddShortenedName(const AAX_CString&) override {}
    const AAX_CString& ShortenedName(int32_t) const override { return mName; }
    void ClearShortenedNames() override {}
    bool Automatable() const override { return false; }
    void SetAutomationDelegate(AAX_IAutomationDelegate*) override {}
    void Touch() override {}
    void Release() override {}
    void SetNormalizedValue(double value) override { UpdateNormalizedValue(value); }
    double GetNormalizedValue() const override { return mKind == Kind::Double ? doubleValue : 0.0; }
    void SetNormalizedDefaultValue(double) override {}
    double GetNormalizedDefaultValue() const override { return 0.0; }
    void SetToDefaultValue() override {}
    void SetNumberOfSteps(uint32_t) override {}
    uint32_t GetNumberOfSteps() const override { return 0; }
    uint32_t GetStepValue() const override { return 0; }
    void SetStepValue(uint32_t) override {}
    bool GetValueStringWithLimit(int32_t, AAX_CString*) const override { return false; }
    bool GetValueStringWithoutLimit(AAX_CString*) const override { return false; }
    bool GetNormalizedValueFromString(const AAX_CString&, double*) const override { return false; }
    bool GetStringFromNormalizedValueWithLimit(double, int32_t, AAX_CString&) const override { return false; }
    bool GetStringFromNormalizedValueWithoutLimit(double, AAX_CString&) const override { return false; }
    bool SetValueFromString(const AAX_CString&) override { return false; }
    bool GetValueAsBool(bool*) const override { return false; }
    bool GetValueAsInt32(int32_t* value) const override {
        if (mKind != Kind::Int32) return false;
        *value = intValue;
        return true;
    }
    bool GetValueAsFloat(float*) const override { return false; }
    bool GetValueAsDouble(double* value) const override {
        if (mKind != Kind::Double) return false;
        *value = doubleValue;
        return true;
    }
    bool GetValueAsString(AAX_IString* value) const override {
        if (mKind != Kind::String) return false;
        value->Set(stringValue.c_str());
        return true;
    }
    bool SetValueWithBool(bool) override { return false; }
    bool SetValueWithInt32(int32_t value) override {
        if (mKind != Kind::Int32) return false;
        intValue = value;
        return true;
    }
    bool SetValueWithFloat(float) override { return false; }
    bool SetValueWithDouble(double value) override {
        if (mKind != Kind::Double) return false;
        doubleValue = value;
        return true;
    }
    bool SetValueWithString(const AAX_IString& value) override {
        if (mKind != Kind::String) return false;
        stringValue = value.Get();
        return true;
    }
    void SetType(AAX_EParameterType) override {}
    AAX_EParameterType GetType() const override { return AAX_eParameterType_Continuous; }
    void SetOrientation(AAX_EParameterOrientation) override {}
    AAX_EParameterOrientation GetOrientation() const override { return AAX_eParameterOrientation_Default; }
    void SetTaperDelegate(AAX_ITaperDelegateBase&, bool) override {}
    void SetDisplayDelegate(AAX_IDisplayDelegateBase&) override {}
    void UpdateNormalizedValue(double value) override {
        if (mKind == Kind::Double) doubleValue = value;
    }

private:
    std::string mId;
    AAX_CString mName;
    Kind mKind;
};
