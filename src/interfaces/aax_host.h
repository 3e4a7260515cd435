// The host's run-time services as the module sees them (AAX_I*), and the component
// interfaces through which the host provides them (AAX_IACF*). Each ACF interface
// carries the same operations as its AAX_I counterpart, after the three IACFUnknown slots.
#pragma once

#include <cstddef>
#include <cstdint>

#include "acf.h"
#include "aax_string.h"

struct AAX_Point {
    float vert;
    float horz;
};
static_assert(sizeof(AAX_Point) == 8 && offsetof(AAX_Point, horz) == 4);

struct AAX_Rect {
    float top;
    float left;
    float width;
    float height;
};
static_assert(sizeof(AAX_Rect) == 16);
static_assert(offsetof(AAX_Rect, left) == 4 && offsetof(AAX_Rect, width) == 8 && offsetof(AAX_Rect, height) == 12);

// Stem formats: the channel count is in the low 12 bits.
constexpr int32_t AAX_eStemFormat_Mono = 1;
constexpr int32_t AAX_eStemFormat_Stereo = 0x10002;
constexpr int32_t AAX_StemFormatChannelCount(int32_t format) { return format & 0xFFF; }

// View container types.
constexpr int32_t AAX_eViewContainer_Type_NULL = 0;
constexpr int32_t AAX_eViewContainer_Type_NSView = 1;
constexpr int32_t AAX_eViewContainer_Type_UIView = 2;
constexpr int32_t AAX_eViewContainer_Type_HWND = 3;  // a native window handle

struct AAX_CMidiPacket {
    uint32_t mTimestamp;  // sample frames into the buffer
    uint32_t mLength;
    uint8_t mData[4];
    bool mIsImmediate;
};
static_assert(sizeof(AAX_CMidiPacket) == 16);
static_assert(offsetof(AAX_CMidiPacket, mLength) == 4 && offsetof(AAX_CMidiPacket, mData) == 8 &&
              offsetof(AAX_CMidiPacket, mIsImmediate) == 12);

struct AAX_CMidiStream {
    uint32_t mBufferSize;  // number of packets
    AAX_CMidiPacket* mBuffer;
};
static_assert(sizeof(AAX_CMidiStream) == 16 && offsetof(AAX_CMidiStream, mBuffer) == 8);

// ---------------------------------------------------------------------------------------------
// Controller

#define AAX_CONTROLLER_V1_OPERATIONS(PURE)                                                        \
    virtual AAX_Result GetEffectID(AAX_IString* outEffectID) const PURE;                         \
    virtual AAX_Result GetSampleRate(float* outSampleRate) const PURE;                             \
    virtual AAX_Result GetInputStemFormat(int32_t* outStemFormat) const PURE;                      \
    virtual AAX_Result GetOutputStemFormat(int32_t* outStemFormat) const PURE;                     \
    virtual AAX_Result GetSignalLatency(int32_t* outSamples) const PURE;                           \
    virtual AAX_Result GetCycleCount(int32_t whichCycleCount, int32_t* outCycles) const PURE;      \
    virtual AAX_Result GetTODLocation(int64_t* outTODLocation) const PURE;                         \
    virtual AAX_Result SetSignalLatency(int32_t numSamples) PURE;                                  \
    virtual AAX_Result SetCycleCount(int32_t* selectors, int32_t* values, int32_t count) PURE;     \
    virtual AAX_Result PostPacket(AAX_CFieldIndex fieldIndex, const void* payload,                 \
                                  uint32_t payloadSize) PURE;
#define AAX_CONTROLLER_V1_TAIL_OPERATIONS(PURE)                                                   \
    virtual AAX_Result GetCurrentMeterValue(AAX_CTypeID meterID, float* outValue) const PURE;     \
    virtual AAX_Result GetMeterPeakValue(AAX_CTypeID meterID, float* outValue) const PURE;        \
    virtual AAX_Result ClearMeterPeakValue(AAX_CTypeID meterID) const PURE;                        \
    virtual AAX_Result GetMeterClipped(AAX_CTypeID meterID, bool* outClipped) const PURE;         \
    virtual AAX_Result ClearMeterClipped(AAX_CTypeID meterID) const PURE;                          \
    virtual AAX_Result GetMeterCount(uint32_t* outMeterCount) const PURE;                          \
    virtual AAX_Result GetNextMIDIPacket(AAX_CFieldIndex* outPort, AAX_CMidiPacket* outPacket) PURE;

// [main] except PostPacket [any]. Slots 1 to 21 after the destructor. Slots 11, 19, 20
// and 21 belong to the version-2 interface.
class AAX_IController {
public:
    virtual ~AAX_IController() {}
    AAX_CONTROLLER_V1_OPERATIONS(= 0)
    virtual AAX_Result SendNotification(AAX_CTypeID type, const void* data, uint32_t size) = 0;  // 11
    AAX_CONTROLLER_V1_TAIL_OPERATIONS(= 0)                                                       // 12-18
    virtual AAX_Result GetHybridSignalLatency(int32_t* outSamples) const = 0;                    // 19
    virtual AAX_Result GetCurrentAutomationTimestamp(AAX_CTimestamp* outTimestamp) const = 0;    // 20
    virtual AAX_Result GetHostName(AAX_IString* outHostName) const = 0;                          // 21
};

class AAX_IACFController : public IACFUnknown {
public:
    AAX_CONTROLLER_V1_OPERATIONS(= 0)
    AAX_CONTROLLER_V1_TAIL_OPERATIONS(= 0)
};

class AAX_IACFController_V2 : public AAX_IACFController {
public:
    virtual AAX_Result SendNotification(AAX_CTypeID type, const void* data, uint32_t size) = 0;
    virtual AAX_Result GetHybridSignalLatency(int32_t* outSamples) const = 0;
    virtual AAX_Result GetCurrentAutomationTimestamp(AAX_CTimestamp* outTimestamp) const = 0;
    virtual AAX_Result GetHostName(AAX_IString* outHostName) const = 0;
};

// ---------------------------------------------------------------------------------------------
// Transport

#define AAX_TRANSPORT_V1_OPERATIONS(PURE)                                                         \
    virtual AAX_Result GetCurrentTempo(double* outTempo) const PURE;                               \
    virtual AAX_Result GetCurrentMeter(int32_t* outNumerator, int32_t* outDenominator) const PURE; \
    virtual AAX_Result IsTransportPlaying(bool* outIsPlaying) const PURE;                          \
    virtual AAX_Result GetCurrentTickPosition(int64_t* outTickPosition) const PURE;                \
    virtual AAX_Result GetCurrentLoopPosition(bool* outLooping, int64_t* outLoopStartTick,         \
                                              int64_t* outLoopEndTick) const PURE;                 \
    virtual AAX_Result GetCurrentNativeSampleLocation(int64_t* outSampleLocation) const PURE;      \
    virtual AAX_Result GetCustomTickPosition(int64_t* outTickPosition, int64_t sampleLocation)     \
        const PURE;                                                                                \
    virtual AAX_Result GetBarBeatPosition(int32_t* outBars, int32_t* outBeats,                     \
                                          int64_t* outDisplayTicks, int64_t sampleLocation)        \
        const PURE;                                                                                \
    virtual AAX_Result GetTicksPerQuarter(uint32_t* outTicks) const PURE;                          \
    virtual AAX_Result GetCurrentTicksPerBeat(uint32_t* outTicks) const PURE;
#define AAX_TRANSPORT_V2_OPERATIONS(PURE)                                                         \
    virtual AAX_Result GetTimelineSelectionStartPosition(int64_t* outSampleLocation) const PURE;   \
    virtual AAX_Result GetTimeCodeInfo(int32_t* outFrameRate, int64_t* outOffset) const PURE;      \
    virtual AAX_Result GetFeetFramesInfo(int32_t* outFeetFramesRate, int64_t* outOffset) const PURE;

// [any] The host implements it and hands it out through a MIDI node during processing; the
// module's own wrapper implements it too. Slot 0 is the scalar deleting destructor (see acf.h),
// slots 1 to 13 the operations; the last three belong to the version-2 interface. Musical
// positions are in ticks of 960000 per quarter note.
class AAX_ITransport {
public:
    virtual void* Destroy(uint32_t flags) = 0;  // 0
    AAX_TRANSPORT_V1_OPERATIONS(= 0)             // 1-10
    AAX_TRANSPORT_V2_OPERATIONS(= 0)             // 11-13

protected:
    ~AAX_ITransport() = default;
};

class AAX_IACFTransport : public IACFUnknown {
public:
    AAX_TRANSPORT_V1_OPERATIONS(= 0)
};

class AAX_IACFTransport_V2 : public AAX_IACFTransport {
public:
    AAX_TRANSPORT_V2_OPERATIONS(= 0)
};

// ---------------------------------------------------------------------------------------------
// Automation delegate

#define AAX_AUTOMATION_DELEGATE_OPERATIONS(PURE)                                                  \
    virtual AAX_Result RegisterParameter(AAX_CParamID parameterID) PURE;                           \
    virtual AAX_Result UnregisterParameter(AAX_CParamID parameterID) PURE;                         \
    virtual AAX_Result PostSetValueRequest(AAX_CParamID parameterID, double normalizedValue)       \
        const PURE;                                                                                \
    virtual AAX_Result PostCurrentValue(AAX_CParamID parameterID, double normalizedValue)          \
        const PURE;                                                                                \
    virtual AAX_Result PostTouchRequest(AAX_CParamID parameterID) PURE;                            \
    virtual AAX_Result PostReleaseRequest(AAX_CParamID parameterID) PURE;                          \
    virtual AAX_Result GetTouchState(AAX_CParamID parameterID, bool* outTouched) PURE;

// [main] Slots 1 to 7 after the destructor.
class AAX_IAutomationDelegate {
public:
    virtual ~AAX_IAutomationDelegate() {}
    AAX_AUTOMATION_DELEGATE_OPERATIONS(= 0)
};

class AAX_IACFAutomationDelegate : public IACFUnknown {
public:
    AAX_AUTOMATION_DELEGATE_OPERATIONS(= 0)
};

// ---------------------------------------------------------------------------------------------
// View container

#define AAX_VIEW_CONTAINER_OPERATIONS(PURE)                                                       \
    virtual int32_t GetType() PURE;                                                                \
    virtual void* GetPtr() PURE;                                                                   \
    virtual AAX_Result GetModifiers(uint32_t* outModifiers) PURE;                                  \
    virtual AAX_Result SetViewSize(AAX_Point& size) PURE;                                          \
    virtual AAX_Result HandleParameterMouseDown(AAX_CParamID parameterID, uint32_t modifiers) PURE;\
    virtual AAX_Result HandleParameterMouseDrag(AAX_CParamID parameterID, uint32_t modifiers) PURE;\
    virtual AAX_Result HandleParameterMouseUp(AAX_CParamID parameterID, uint32_t modifiers) PURE;

// [main] Slots 1 to 7 after the destructor.
class AAX_IViewContainer {
public:
    virtual ~AAX_IViewContainer() {}
    AAX_VIEW_CONTAINER_OPERATIONS(= 0)
};

class AAX_IACFViewContainer : public IACFUnknown {
public:
    AAX_VIEW_CONTAINER_OPERATIONS(= 0)
};

// ---------------------------------------------------------------------------------------------
// Host services

#define AAX_HOST_SERVICES_OPERATIONS(PURE)                                                        \
    virtual AAX_Result HandleAssertFailure(const char* file, int32_t line, const char* note)      \
        const PURE;                                                                                \
    virtual AAX_Result Trace(int32_t priority, const char* message) const PURE;

// [any] Slots 1 and 2 after the destructor.
class AAX_IHostServices {
public:
    virtual ~AAX_IHostServices() {}
    AAX_HOST_SERVICES_OPERATIONS(= 0)
};

class AAX_IACFHostServices : public IACFUnknown {
public:
    AAX_HOST_SERVICES_OPERATIONS(= 0)
};

// ---------------------------------------------------------------------------------------------
// Component factory: creates host components by class identifier.

class IACFComponentFactory : public IACFUnknown {
public:
    // [main] Creates the component clsid (not aggregated when outer is null) and
    // returns its interface iid in outInterface, with one reference.
    virtual ACFRESULT CreateComponent(const acfCLSID& clsid, IACFUnknown* outer, const acfIID& iid,
                                      void** outInterface) = 0;
};

// The host's plug-in definition: what ACFRegisterPlugin hands back.
class IACFPluginDefinition : public IACFUnknown {};

// ---------------------------------------------------------------------------------------------
// MIDI nodes, as the processing callback reads them from the context record.

// MIDI node types.
constexpr int32_t AAX_eMIDINodeType_LocalInput = 0;
constexpr int32_t AAX_eMIDINodeType_LocalOutput = 1;
constexpr int32_t AAX_eMIDINodeType_Global = 2;
constexpr int32_t AAX_eMIDINodeType_Transport = 3;

// [audio] Owned by the host; valid during one processing call. The module never destroys it.
class AAX_IMIDINode {
public:
    virtual void* Destroy(uint32_t flags) = 0;                        // 0
    virtual AAX_CMidiStream* GetNodeBuffer() = 0;                    // 1
    virtual AAX_Result PostMIDIPacket(AAX_CMidiPacket* packet) = 0;  // 2
    virtual AAX_ITransport* GetTransport() = 0;                      // 3

protected:
    ~AAX_IMIDINode() = default;
};
