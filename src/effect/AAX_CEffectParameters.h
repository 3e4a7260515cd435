// The effect's data model as the host sees it: answers every parameter question by the
// parameter's identifier, offers the controls-state chunk, and posts parameter packets.
// A plug-in derives from it, creates its parameters and registers its packets in EffectInit.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "effect/AAX_CChunkDataParser.h"
#include "effect/AAX_CPacketDispatcher.h"
#include "effect/AAX_IEffectParameters.h"
#include "effect/AAX_VHostWrappers.h"
#include "interfaces/aax_effect.h"
#include "module/CACFUnknown.h"
#include "params/AAX_CParameterManager.h"
#include "params/AAX_CString.h"

// Identifier of the master bypass parameter, when a plug-in names it so.
constexpr const char* AAX_MasterBypassID = "MasterBypassID";
// Identifier of the parameter that follows the host's offline preview state.
constexpr const char* AAX_PreviewID = "PreviewID";
// Notification carrying the preview state as a 32-bit value, non-zero while previewing.
constexpr AAX_CTypeID AAX_eNotificationEvent_ASPreviewState = AAX_FourCC('A', 'S', 'P', 'v');

// All operations run on the host's main thread ([main]) unless marked. The class takes no lock
// of its own; only the packet dispatcher does. Unless a comment says otherwise, an identifier
// that names no parameter answers AAX_ERROR_INVALID_PARAMETER_ID, a null output pointer answers
// AAX_ERROR_NULL_OBJECT, and outputs stay unchanged on failure.
class AAX_CEffectParameters : public AAX_IEffectParameters, public CACFUnknown {
public:
    // Slot 48 of the interface table: declared before every other virtual that this class
    // introduces or takes over from the component base, so that it lands right after slot 47.
    // [main] Called once by Initialize, after the host wrappers exist and the parameter manager
    // and the packet dispatcher have them. A plug-in creates its parameters and registers its
    // packets here. A non-zero result ends Initialize with that result. The base returns 0.
    virtual AAX_Result EffectInit();

    AAX_CEffectParameters();
    // [main] Removes the parameters and deletes the host wrappers if Uninitialize has not.
    ~AAX_CEffectParameters() override;

    // [any] Slots 0 to 2 forward to the component base. The effect-parameters identifiers,
    // version 1 and 2, answer this object with a reference added.
    ACFRESULT QueryInterface(const acfIID& iid, void** outInterface) noexcept override;
    acfUInt32 AddRef() noexcept override;
    acfUInt32 Release() noexcept override;
    ACFRESULT InternalQueryInterface(const acfIID& iid, void** outInterface) noexcept override;

    // Slot 3. Creates the controller, automation delegate and transport wrappers from host,
    // gives the parameter manager the automation delegate and the packet dispatcher the
    // controller, calls EffectInit and returns its result if non-zero, then leaves the master
    // bypass identifier out of the controls-state chunk. Interfaces the host does not offer are
    // not an error; a host without an automation delegate has every value request confirmed at
    // once through slot 29, as a host would confirm it. Initialising again without Uninitialize
    // first runs Uninitialize, so nothing the first call took is left behind.
    AAX_Result Initialize(IACFUnknown* host) noexcept override;
    // Slot 4. Removes and deletes all parameters, then deletes the controller, the automation
    // delegate and the transport. The manager and the dispatcher forget them. 0.
    AAX_Result Uninitialize() noexcept override;
    // Slot 5. 'ASPv' sets a "PreviewID" parameter, if any, to whether the 32-bit value at data
    // is non-zero; data shorter than 4 bytes is ignored, as is every other type. 0.
    AAX_Result NotificationReceived(AAX_CTypeID type, const void* data, uint32_t size) noexcept override;
    AAX_Result GetNumberOfParameters(int32_t* numParameters) const noexcept override;  // 6
    // Slot 7. "MasterBypassID" when a parameter has that identifier, else the empty string. 0.
    AAX_Result GetMasterBypassParameter(AAX_IString* parameterID) const noexcept override;
    // Slot 8. Sets the output to false before looking the parameter up.
    AAX_Result GetParameterIsAutomatable(AAX_CParamID id, bool* automatable) const noexcept override;
    AAX_Result GetParameterNumberOfSteps(AAX_CParamID id, int32_t* numSteps) const noexcept override;  // 9
    // Slot 10. An unknown identifier gives the empty string and 0.
    AAX_Result GetParameterName(AAX_CParamID id, AAX_IString* name) const noexcept override;
    // Slot 11. Of the newline-separated variants in the first 255 characters of the parameter's
    // shortened name for length, the longest one of 1 to length characters (the first among
    // equals); the whole shortened name when none fits; nothing written when it is empty. An
    // unknown identifier gives the empty string and 0.
    AAX_Result GetParameterNameOfLength(AAX_CParamID id, AAX_IString* name, int32_t length) const noexcept override;
    AAX_Result GetParameterDefaultNormalizedValue(AAX_CParamID id, double* value) const noexcept override;  // 12
    AAX_Result SetParameterDefaultNormalizedValue(AAX_CParamID id, double value) noexcept override;        // 13
    AAX_Result GetParameterType(AAX_CParamID id, AAX_EParameterType* type) const noexcept override;        // 14
    AAX_Result GetParameterOrientation(AAX_CParamID id, AAX_EParameterOrientation* orientation) const noexcept override;  // 15
    // Slot 16. The parameter, or null with AAX_ERROR_INVALID_PARAMETER_ID.
    AAX_Result GetParameter(AAX_CParamID id, AAX_IParameter** parameter) noexcept override;
    // Slot 17. Writes the manager's index even when it is -1; a negative index answers
    // AAX_ERROR_INVALID_PARAMETER_ID.
    AAX_Result GetParameterIndex(AAX_CParamID id, int32_t* index) const noexcept override;
    // Slot 18. The identifier at index, or the empty string with AAX_ERROR_INVALID_PARAMETER_ID.
    AAX_Result GetParameterIDFromIndex(int32_t index, AAX_IString* id) const noexcept override;
    // Slot 19. Sets the output to 0; AAX_ERROR_UNIMPLEMENTED.
    AAX_Result GetParameterValueInfo(AAX_CParamID id, int32_t selector, int32_t* value) const noexcept override;
    // Slots 20 and 21. A failed conversion answers AAX_ERROR_INVALID_STRING_CONVERSION.
    AAX_Result GetParameterValueFromString(AAX_CParamID id, double* value,
                                           const AAX_IString& valueString) const noexcept override;
    AAX_Result GetParameterStringFromValue(AAX_CParamID id, double value, AAX_IString* valueString,
                                           int32_t maxLength) const noexcept override;
    // Slot 22. The parameter's value text; AAX_ERROR_INVALID_STRING_CONVERSION if it has none.
    // maxLength is handed to the parameter, whose value text does not apply it (a parameter's
    // limit applies only when a normalized value is converted, slot 21), so the full text comes
    // back whatever the limit. This is deliberate: the parameter object's rule is kept.
    AAX_Result GetParameterValueString(AAX_CParamID id, AAX_IString* valueString, int32_t maxLength) const noexcept override;
    AAX_Result GetParameterNormalizedValue(AAX_CParamID id, double* value) const noexcept override;  // 23
    // Slot 24. A request that the host answers through slot 29; without the host's automation
    // delegate the data model answers it through slot 29 itself, at once.
    AAX_Result SetParameterNormalizedValue(AAX_CParamID id, double value) noexcept override;
    // Slot 25. Slot 23's value plus delta, clamped to [0, 1], through slot 24.
    AAX_Result SetParameterNormalizedRelative(AAX_CParamID id, double delta) noexcept override;
    AAX_Result TouchParameter(AAX_CParamID id) noexcept override;    // 26
    AAX_Result ReleaseParameter(AAX_CParamID id) noexcept override;  // 27
    // Slot 28. Does nothing. 0.
    AAX_Result UpdateParameterTouch(AAX_CParamID id, bool touchState) noexcept override;
    // Slot 29. The host's settled value: stored in the parameter (which reports it back), the
    // parameter's packets marked dirty and the change count incremented. The source is ignored.
    AAX_Result UpdateParameterNormalizedValue(AAX_CParamID id, double value, AAX_EUpdateSource source) noexcept override;
    // Slot 30. Slot 23's value plus delta, clamped to [0, 1], through slot 29.
    AAX_Result UpdateParameterNormalizedRelative(AAX_CParamID id, double delta) noexcept override;
    // [any] Slot 31. Posts the dirty packets; the dispatcher's result.
    AAX_Result GenerateCoefficients() noexcept override;
    // [any] Slot 32. Zeroes size bytes at data for every field. 0.
    AAX_Result ResetFieldData(AAX_CFieldIndex fieldIndex, void* data, uint32_t size) const noexcept override;
    AAX_Result GetNumberOfChunks(int32_t* numChunks) const noexcept override;  // 33: 1
    // Slot 34. Index 0 is 'elck'; any other index gives 0 and AAX_ERROR_INVALID_CHUNK_INDEX.
    AAX_Result GetChunkIDFromIndex(int32_t index, AAX_CTypeID* chunkID) const noexcept override;
    // Slot 35. For 'elck': builds the controls-state chunk and reports (and remembers) its data
    // size. Another identifier gives 0 and AAX_ERROR_INVALID_CHUNK_ID.
    AAX_Result GetChunkSize(AAX_CTypeID chunkID, uint32_t* size) const noexcept override;
    // Slot 36. For 'elck': rebuilds the chunk and writes it, with fVersion -1 and fName
    // "Complete Controls State". AAX_ERROR_INCORRECT_CHUNK_SIZE, writing nothing, when no size
    // was reported or the size has changed since; AAX_ERROR_PLUGIN_OUT_OF_MEMORY when memory ran
    // out while building it; AAX_ERROR_INVALID_CHUNK_ID for another identifier.
    AAX_Result GetChunk(AAX_CTypeID chunkID, AAX_SPlugInChunk* chunk) const noexcept override;
    // Slot 37. For 'elck': applies each entry of the record to the unfiltered parameter of its
    // identifier and type; parameters without a matching entry keep their values. Damaged data
    // is read as far as it is whole (see AAX_CChunkDataParser). AAX_ERROR_PLUGIN_OUT_OF_MEMORY,
    // with no parameter changed, when memory ran out while reading the record;
    // AAX_ERROR_INVALID_CHUNK_ID for another identifier.
    AAX_Result SetChunk(AAX_CTypeID chunkID, const AAX_SPlugInChunk* chunk) noexcept override;
    // Slot 38. Equal when the record's fChunkID is not 'elck'; otherwise equal only when every
    // unfiltered parameter with a typed value finds its entry holding the same value (floats and
    // doubles compared as 32-bit floats; NaN never matches).
    AAX_Result CompareActiveChunk(const AAX_SPlugInChunk* chunk, bool* isEqual) const noexcept override;
    // Slot 39. The change count, written when it is not negative. 0.
    AAX_Result GetNumberOfChanges(int32_t* numChanges) const noexcept override;
    AAX_Result TimerWakeup() noexcept override;  // 40: 0
    AAX_Result GetCurveData(AAX_CTypeID curveType, const float* values, uint32_t numValues,
                            float* outValues) const noexcept override;  // 41: AAX_ERROR_UNIMPLEMENTED
    // Slot 42. Sets bytesWritten to 0. 0.
    AAX_Result GetCustomData(AAX_CTypeID dataBlockID, uint32_t size, void* data,
                             uint32_t* bytesWritten) const noexcept override;
    AAX_Result SetCustomData(AAX_CTypeID dataBlockID, uint32_t size, const void* data) noexcept override;  // 43: 0
    AAX_Result DoMIDITransfers() noexcept override;                                                       // 44: 0
    AAX_Result RenderAudio_Hybrid(void* renderInfo) noexcept override;  // 45: AAX_ERROR_UNIMPLEMENTED
    AAX_Result UpdateMIDINodes(AAX_CFieldIndex fieldIndex, AAX_CMidiPacket& packet) noexcept override;  // 46: 0
    AAX_Result UpdateControlMIDINodes(AAX_CTypeID nodeID, AAX_CMidiPacket& packet) noexcept override;   // 47: 0

protected:
    // Stands in for the host's automation delegate when the host offers none: a value request is
    // confirmed at once through the owner's slot 29, exactly as a host confirms one, so that a
    // value set by the plug-in reaches everything a host-confirmed value reaches (a derived data
    // model's own handling, the packets, the change count). Registration, touch, release and
    // reports of the current value have no one to go to.
    class SelfConfirmingAutomation : public AAX_IAutomationDelegate {
    public:
        explicit SelfConfirmingAutomation(AAX_CEffectParameters& owner) : mOwner(owner) {}
        AAX_Result RegisterParameter(AAX_CParamID parameterID) override;
        AAX_Result UnregisterParameter(AAX_CParamID parameterID) override;
        AAX_Result PostSetValueRequest(AAX_CParamID parameterID, double normalizedValue) const override;
        AAX_Result PostCurrentValue(AAX_CParamID parameterID, double normalizedValue) const override;
        AAX_Result PostTouchRequest(AAX_CParamID parameterID) override;
        AAX_Result PostReleaseRequest(AAX_CParamID parameterID) override;
        AAX_Result GetTouchState(AAX_CParamID parameterID, bool* outTouched) override;

    private:
        AAX_CEffectParameters& mOwner;
    };

    // [main] Rebuilds the chunk parser's entries from the unfiltered parameters, in index order.
    void BuildChunkData() const;
    // [main] Deletes the host wrappers, in the order controller, automation delegate, transport.
    void DeleteHostWrappers();

    int32_t mNumPlugInChanges = 0;
    mutable int32_t mChunkSize = 0;  // remembered by GetChunkSize, checked by GetChunk
    mutable AAX_CChunkDataParser mChunkParser;
    AAX_CPacketDispatcher mPacketDispatcher;
    AAX_CParameterManager mParameterManager;
    // Left out of the controls-state chunk. std::less<> finds an identifier without copying it.
    std::set<std::string, std::less<>> mFilteredParameters;
    AAX_VController* mController = nullptr;     // owned; null outside Initialize..Uninitialize
    AAX_VTransport* mTransport = nullptr;       // owned
    AAX_VAutomationDelegate* mAutomationDelegate = nullptr;  // owned
    SelfConfirmingAutomation mSelfConfirmingAutomation{*this};
};
