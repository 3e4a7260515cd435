// Parameters and their delegates, as the host and the effect framework address them.
#pragma once

#include <cstdint>

#include "acf.h"
#include "aax_host.h"
#include "aax_string.h"

class AAX_CString;

enum AAX_EParameterType : int32_t {
    AAX_eParameterType_Discrete = 0,
    AAX_eParameterType_Continuous = 1,
};
static_assert(sizeof(AAX_EParameterType) == 4);

using AAX_EParameterOrientation = int32_t;
constexpr AAX_EParameterOrientation AAX_eParameterOrientation_Default = 0;

// Where a value update comes from (passed through, never interpreted).
using AAX_EUpdateSource = int32_t;
constexpr AAX_EUpdateSource AAX_eUpdateSource_Unspecified = 0;

class AAX_ITaperDelegateBase {
public:
    virtual ~AAX_ITaperDelegateBase() {}
};

// [any] Pure functions of their arguments and members.
template <typename T>
class AAX_ITaperDelegate : public AAX_ITaperDelegateBase {
public:
    virtual AAX_ITaperDelegate* Clone() const = 0;
    virtual T GetMaximumValue() const = 0;
    virtual T GetMinimumValue() const = 0;
    virtual T ConstrainRealValue(T value) const = 0;
    virtual T NormalizedToReal(double normalizedValue) const = 0;
    virtual double RealToNormalized(T realValue) const = 0;
};

class AAX_IDisplayDelegateBase {
public:
    virtual ~AAX_IDisplayDelegateBase() {}
};

// [any] Pure functions of their arguments and members.
template <typename T>
class AAX_IDisplayDelegate : public AAX_IDisplayDelegateBase {
public:
    virtual AAX_IDisplayDelegate* Clone() const = 0;
    virtual bool ValueToString(T value, int32_t maxNumChars, AAX_CString* valueString) const = 0;
    virtual bool ValueToString(T value, AAX_CString* valueString) const = 0;
    virtual bool StringToValue(const AAX_CString& valueString, T* value) const = 0;
};

// [main] One automatable control. The host receives it through the data model's slot 16 and
// calls it by slot number: slot 0 is the scalar deleting destructor (see acf.h), then 42
// operations, each slot with a name of its own so that every compiler lays them out in this
// order. The overloaded GetValueString and GetStringFromNormalizedValue are conveniences over
// slots 20, 21, 23 and 24.
//
// Slots 8, 40 and 41 take objects of the module's own (its automation delegate and delegates),
// and the string operations take the module's own AAX_CString: a host only reads and sets values
// and reads the strings that slots 3 and 5 return through their AAX_IString slots.
class AAX_IParameter {
public:
    virtual void* Destroy(uint32_t flags) = 0;                                          // 0
    virtual AAX_CParamID Identifier() const = 0;                                        // 1
    virtual void SetName(const AAX_CString& name) = 0;                                  // 2
    virtual const AAX_CString& Name() const = 0;                                        // 3
    virtual void AddShortenedName(const AAX_CString& name) = 0;                         // 4
    virtual const AAX_CString& ShortenedName(int32_t numCharacters) const = 0;          // 5
    virtual void ClearShortenedNames() = 0;                                             // 6
    virtual bool Automatable() const = 0;                                               // 7
    virtual void SetAutomationDelegate(AAX_IAutomationDelegate* automationDelegate) = 0;// 8
    virtual void Touch() = 0;                                                           // 9
    virtual void Release() = 0;                                                         // 10
    virtual void SetNormalizedValue(double normalizedValue) = 0;                        // 11
    virtual double GetNormalizedValue() const = 0;                                      // 12
    virtual void SetNormalizedDefaultValue(double normalizedDefault) = 0;               // 13
    virtual double GetNormalizedDefaultValue() const = 0;                               // 14
    virtual void SetToDefaultValue() = 0;                                               // 15
    virtual void SetNumberOfSteps(uint32_t numSteps) = 0;                               // 16
    virtual uint32_t GetNumberOfSteps() const = 0;                                      // 17
    virtual uint32_t GetStepValue() const = 0;                                          // 18
    virtual void SetStepValue(uint32_t step) = 0;                                       // 19
    virtual bool GetValueStringWithLimit(int32_t maxNumChars, AAX_CString* valueString) const = 0;  // 20
    virtual bool GetValueStringWithoutLimit(AAX_CString* valueString) const = 0;        // 21
    virtual bool GetNormalizedValueFromString(const AAX_CString& valueString,
                                              double* normalizedValue) const = 0;       // 22
    virtual bool GetStringFromNormalizedValueWithLimit(double normalizedValue, int32_t maxNumChars,
                                                       AAX_CString& valueString) const = 0;  // 23
    virtual bool GetStringFromNormalizedValueWithoutLimit(double normalizedValue,
                                                          AAX_CString& valueString) const = 0;  // 24
    virtual bool SetValueFromString(const AAX_CString& valueString) = 0;                // 25
    virtual bool GetValueAsBool(bool* value) const = 0;                                 // 26
    virtual bool GetValueAsInt32(int32_t* value) const = 0;                             // 27
    virtual bool GetValueAsFloat(float* value) const = 0;                               // 28
    virtual bool GetValueAsDouble(double* value) const = 0;                             // 29
    virtual bool GetValueAsString(AAX_IString* value) const = 0;                        // 30
    virtual bool SetValueWithBool(bool value) = 0;                                      // 31
    virtual bool SetValueWithInt32(int32_t value) = 0;                                  // 32
    virtual bool SetValueWithFloat(float value) = 0;                                    // 33
    virtual bool SetValueWithDouble(double value) = 0;                                  // 34
    virtual bool SetValueWithString(const AAX_IString& value) = 0;                      // 35
    virtual void SetType(AAX_EParameterType type) = 0;                                  // 36
    virtual AAX_EParameterType GetType() const = 0;                                     // 37
    virtual void SetOrientation(AAX_EParameterOrientation orientation) = 0;             // 38
    virtual AAX_EParameterOrientation GetOrientation() const = 0;                       // 39
    virtual void SetTaperDelegate(AAX_ITaperDelegateBase& taperDelegate,
                                  bool preserveValue) = 0;                              // 40
    virtual void SetDisplayDelegate(AAX_IDisplayDelegateBase& displayDelegate) = 0;     // 41
    virtual void UpdateNormalizedValue(double normalizedValue) = 0;                     // 42

    bool GetValueString(int32_t maxNumChars, AAX_CString* valueString) const {
        return GetValueStringWithLimit(maxNumChars, valueString);
    }
    bool GetValueString(AAX_CString* valueString) const { return GetValueStringWithoutLimit(valueString); }
    bool GetStringFromNormalizedValue(double normalizedValue, int32_t maxNumChars, AAX_CString& valueString) const {
        return GetStringFromNormalizedValueWithLimit(normalizedValue, maxNumChars, valueString);
    }
    bool GetStringFromNormalizedValue(double normalizedValue, AAX_CString& valueString) const {
        return GetStringFromNormalizedValueWithoutLimit(normalizedValue, valueString);
    }

protected:
    ~AAX_IParameter() = default;
};
