// One effect instance driven as a host drives it: created through the registered factories,
// initialised with the host's controller, automation delegate and transport, processed buffer
// by buffer through the component's native callback with a context record laid out from the
// component's fields, saved and restored through its chunks, and shown through its GUI.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "Description.h"
#include "HostObject.h"
#include "SlotObjects.h"
#include "Transport.h"
#include "interfaces/aax_effect.h"

namespace aaxhost {

class HostInstance;

// Where a controller delivers the packets the module posts.
class PacketSink {
public:
    virtual ~PacketSink() = default;
    // [any]
    virtual AAX_Result Post(AAX_CFieldIndex field, const void* payload, uint32_t size) = 0;
};

// The data-in port buffers of one instance. The module posts from any thread; the host copies
// what was posted into the buffers the context record points at, before the next buffer. The
// context record and those live buffers are one block aligned to a cache line, the record first
// and the buffers packed after it, as a host keeps an instance's record and its private data
// together: what the processing callback reads of the host's memory for an instance is then a
// line or two, not a line per port.
class PacketStore final : public PacketSink {
public:
    struct PortSize {
        AAX_CFieldIndex field;
        uint32_t size;
    };
    // [main] Before any post: a context record of recordFields pointer fields, all null, the
    // ports' live buffers, zeroed, and hostBytes for the host's own per-buffer fields (8-byte
    // aligned, zeroed). A port takes its size rounded up to 4 bytes, 8-byte aligned from 8 bytes
    // on; a field declared twice keeps its last size. Calling it again replaces all of them.
    void Lay(AAX_CFieldIndex recordFields, const std::vector<PortSize>& ports, size_t hostBytes = 0);
    // [main] The context record (null before Lay) and its number of fields.
    void** Record() { return record_; }
    AAX_CFieldIndex RecordFields() const { return recordFields_; }
    // [main] The host's bytes in the block (null before Lay).
    uint8_t* HostFields() { return hostFields_; }
    // [any] Copies the payload for the next buffer. Refuses an undeclared field and a payload
    // larger than the port.
    AAX_Result Post(AAX_CFieldIndex field, const void* payload, uint32_t size) override;
    // [audio] Moves posted payloads into the live buffers. Never blocks: when a post is under
    // way it leaves them for the next buffer.
    void Apply();
    // [main] The buffer the context record points at (null for an undeclared field).
    uint8_t* Live(AAX_CFieldIndex field);
    // [main] The latest payload for the field: posted, else live. Empty when undeclared.
    std::vector<uint8_t> Latest(AAX_CFieldIndex field) const;

    struct PostRecord {
        AAX_CFieldIndex field;
        uint32_t size;
        bool accepted;
    };
    // [main]
    std::vector<PostRecord> Posts() const;
    int64_t Refused() const { return refused_.load(); }

private:
    struct Port {
        uint32_t size = 0;
        uint8_t* live = nullptr;  // storage bytes in block_
        size_t storage = 0;
        std::vector<uint8_t> pending;
        bool dirty = false;
    };
    struct alignas(64) Line {
        uint8_t bytes[64];
    };
    mutable std::mutex mutex_;
    std::unique_ptr<Line[]> block_;
    void** record_ = nullptr;
    AAX_CFieldIndex recordFields_ = 0;
    uint8_t* hostFields_ = nullptr;
    std::map<AAX_CFieldIndex, Port> ports_;
    std::vector<PostRecord> posts_;
    std::atomic<bool> anyDirty_{false};
    std::atomic<int64_t> refused_{0};
};

struct InstanceSettings {
    double sampleRate = 48000.0;
    int32_t stemFormat = AAX_eStemFormat_Stereo;
    int32_t maxBlock = 4096;
    int32_t maxMidiPackets = 1024;
};

// [main] for every operation except PostPacket, which is [any]. Answers the settings' sample rate
// and stem format, and hands every packet to its sink.
class HostController : public HostObject<AAX_IACFController_V2> {
public:
    HostController(const InstanceSettings& settings, const std::string& effectID, PacketSink& packets)
        : settings_(settings), effectID_(effectID), packets_(packets) {}
    // [main] Answers these stem formats instead of the settings' one (0 keeps the settings').
    void SetStemFormats(int32_t input, int32_t output) {
        inputStemFormat_ = input;
        outputStemFormat_ = output;
    }
    AAX_Result GetEffectID(AAX_IString* outEffectID) const override;
    AAX_Result GetSampleRate(float* outSampleRate) const override;
    AAX_Result GetInputStemFormat(int32_t* outStemFormat) const override;
    AAX_Result GetOutputStemFormat(int32_t* outStemFormat) const override;
    AAX_Result GetSignalLatency(int32_t* outSamples) const override;
    AAX_Result GetCycleCount(int32_t whichCycleCount, int32_t* outCycles) const override;
    AAX_Result GetTODLocation(int64_t* outTODLocation) const override;
    AAX_Result SetSignalLatency(int32_t numSamples) override;
    AAX_Result SetCycleCount(int32_t* selectors, int32_t* values, int32_t count) override;
    // [any]
    AAX_Result PostPacket(AAX_CFieldIndex fieldIndex, const void* payload, uint32_t payloadSize) override;
    AAX_Result GetCurrentMeterValue(AAX_CTypeID meterID, float* outValue) const override;
    AAX_Result GetMeterPeakValue(AAX_CTypeID meterID, float* outValue) const override;
    AAX_Result ClearMeterPeakValue(AAX_CTypeID meterID) const override;
    AAX_Result GetMeterClipped(AAX_CTypeID meterID, bool* outClipped) const override;
    AAX_Result ClearMeterClipped(AAX_CTypeID meterID) const override;
    AAX_Result GetMeterCount(uint32_t* outMeterCount) const override;
    AAX_Result GetNextMIDIPacket(AAX_CFieldIndex* outPort, AAX_CMidiPacket* outPacket) override;
    AAX_Result SendNotification(AAX_CTypeID type, const void* data, uint32_t size) override;
    AAX_Result GetHybridSignalLatency(int32_t* outSamples) const override;
    AAX_Result GetCurrentAutomationTimestamp(AAX_CTimestamp* outTimestamp) const override;
    AAX_Result GetHostName(AAX_IString* outHostName) const override;

    int32_t Latency() const { return latency_.load(); }
    void SetPosition(int64_t position) { position_.store(position); }

protected:
    bool Answers(const acfIID& iid) const override { return OneOf(iid, {IID_IAAXControllerV1, IID_IAAXControllerV2}); }

private:
    const InstanceSettings& settings_;
    std::string effectID_;
    PacketSink& packets_;
    std::atomic<int32_t> inputStemFormat_{0};
    std::atomic<int32_t> outputStemFormat_{0};
    std::atomic<int32_t> latency_{0};
    std::atomic<int64_t> position_{0};
};

// Host-side automation: registration, touch, release and value requests. A value request is
// answered as a host answers it: by handing the value to the data model's
// UpdateParameterNormalizedValue.
class HostAutomationDelegate final : public HostObject<AAX_IACFAutomationDelegate> {
public:
    struct Event {
        std::string operation;  // Register, Unregister, SetValueRequest, CurrentValue, Touch, Release
        std::string id;
        double value = 0.0;  // SetValueRequest and CurrentValue
        bool operator==(const Event&) const = default;
    };

    // [main]
    void SetDataModel(AAX_IACFEffectParameters* dataModel) { dataModel_ = dataModel; }
    void SetAnswerRequests(bool answer) { answerRequests_ = answer; }
    void SetRecording(bool record) { recording_ = record; }

    // [any] The module may change parameters from any thread.
    AAX_Result RegisterParameter(AAX_CParamID parameterID) override;
    AAX_Result UnregisterParameter(AAX_CParamID parameterID) override;
    AAX_Result PostSetValueRequest(AAX_CParamID parameterID, double normalizedValue) const override;
    AAX_Result PostCurrentValue(AAX_CParamID parameterID, double normalizedValue) const override;
    AAX_Result PostTouchRequest(AAX_CParamID parameterID) override;
    AAX_Result PostReleaseRequest(AAX_CParamID parameterID) override;
    AAX_Result GetTouchState(AAX_CParamID parameterID, bool* outTouched) override;

    // [any]
    std::vector<Event> Events() const;
    std::vector<Event> EventsFor(const std::string& id) const;
    void ClearEvents();
    bool IsRegistered(const std::string& id) const;
    std::set<std::string> Registered() const;
    bool IsTouched(const std::string& id) const;
    // The last value the module reported as current, if any.
    bool CurrentValue(const std::string& id, double* value) const;
    // Requests the data model refused (UpdateParameterNormalizedValue failed).
    int64_t FailedAnswers() const { return failedAnswers_.load(); }

protected:
    bool Answers(const acfIID& iid) const override { return iid == IID_IAAXAutomationDelegateV1; }

private:
    void Record(const char* operation, AAX_CParamID id, double value) const;

    AAX_IACFEffectParameters* dataModel_ = nullptr;
    std::atomic<bool> answerRequests_{true};
    std::atomic<bool> recording_{true};
    mutable std::mutex mutex_;
    mutable std::vector<Event> events_;
    std::set<std::string> registered_;
    std::map<std::string, int32_t> touched_;
    mutable std::map<std::string, double> current_;
    mutable std::atomic<int64_t> failedAnswers_{0};
};

// [main] The container handed to SetViewContainer.
class HostViewContainer : public HostObject<AAX_IACFViewContainer> {
public:
    HostViewContainer(int32_t type, void* nativeWindow) : type_(type), window_(nativeWindow) {}
    int32_t GetType() override { return type_; }
    void* GetPtr() override { return window_; }
    AAX_Result GetModifiers(uint32_t* outModifiers) override;
    AAX_Result SetViewSize(AAX_Point& size) override;
    AAX_Result HandleParameterMouseDown(AAX_CParamID, uint32_t) override { return AAX_SUCCESS; }
    AAX_Result HandleParameterMouseDrag(AAX_CParamID, uint32_t) override { return AAX_SUCCESS; }
    AAX_Result HandleParameterMouseUp(AAX_CParamID, uint32_t) override { return AAX_SUCCESS; }

    bool SizeRequested(AAX_Point* size) const;

protected:
    bool Answers(const acfIID& iid) const override { return iid == IID_IAAXViewContainerV1; }

private:
    int32_t type_;
    void* window_;
    bool sizeRequested_ = false;
    AAX_Point size_{0, 0};
};

// [main] The IACFUnknown handed to Initialize: it answers the controller, automation delegate and
// transport identifiers with the objects given, and the data model's identifiers (for a GUI)
// with what dataModel gives, when set. Each offer can be withdrawn.
class HostUnknown : public HostObject<IACFUnknown> {
public:
    struct Offers {
        bool controller = true;
        bool controllerV2 = true;
        bool automationDelegate = true;
        bool transport = true;
        bool transportV2 = true;
        bool dataModel = true;
    };

    HostUnknown() = default;
    HostUnknown(HostController* controller, HostAutomationDelegate* automation, HostTransport* transport)
        : controller_(controller), automation_(automation), transport_(transport) {}
    void Offer(HostController* controller, HostAutomationDelegate* automation, HostTransport* transport) {
        controller_ = controller;
        automation_ = automation;
        transport_ = transport;
    }
    ACFRESULT QueryInterface(const acfIID& iid, void** outInterface) override;

    Offers offers;
    std::function<IACFUnknown*()> dataModel;

protected:
    bool Answers(const acfIID&) const override { return false; }

private:
    HostController* controller_ = nullptr;
    HostAutomationDelegate* automation_ = nullptr;
    HostTransport* transport_ = nullptr;
};

// One saved chunk: its identifier and the whole record (header and data) as the module wrote it.
struct SavedChunk {
    AAX_CTypeID id = 0;
    std::vector<uint8_t> record;
    int32_t DataSize() const;
};

struct ParameterInfo {
    int32_t index = 0;
    std::string id;
    std::string name;
    int32_t type = 0;
    int32_t steps = 0;
    double defaultValue = 0.0;
    double value = 0.0;
    std::string text;
    bool automatable = false;
};

class HostInstance {
public:
    // [main] Creates the data model through the effect's factory (proc 0) for the component of
    // the settings' stem format. Null with a reason when the effect has no such component or
    // the factory gives no data model.
    static std::unique_ptr<HostInstance> Create(const EffectDescription& effect, const InstanceSettings& settings,
                                                std::string* error);
    ~HostInstance();
    HostInstance(const HostInstance&) = delete;
    HostInstance& operator=(const HostInstance&) = delete;

    // [main] Lifecycle, in this order; each returns the module's result.
    AAX_Result Initialize();
    AAX_Result Uninitialize();
    // [main] Uninitializes if needed, closes the GUI and releases the data model.
    void Release();

    // [main] Parameters.
    int32_t ParameterCount() const;
    std::vector<ParameterInfo> Parameters() const;
    bool HasParameter(const std::string& id) const;
    // Asks the module to set the value, which it turns into a request the host answers.
    AAX_Result SetParameter(const std::string& id, double normalized);
    AAX_Result GetParameter(const std::string& id, double* normalized) const;
    AAX_Result GenerateCoefficients();
    std::string MasterBypassID() const;
    // [main] The data model's timer wake-up, the call a host makes periodically on its main
    // thread (from its idle timer) for the instance's housekeeping. A host that renders offline
    // has no wall clock to time it by: it calls this between buffers.
    AAX_Result TimerWakeup();

    // [main] State.
    AAX_Result SaveChunks(std::vector<SavedChunk>* chunks, std::string* error);
    AAX_Result RestoreChunks(const std::vector<SavedChunk>& chunks, std::string* error);
    // [main] Whether every chunk is one the instance offers (GetChunkIDFromIndex): false with a
    // one-line reason that names the plug-in the chunks were saved by, as their headers give it,
    // and the chunk this instance keeps its state in. A state of another plug-in is refused so
    // before SetChunk, which would answer it only with a result code.
    bool OffersChunks(const std::vector<SavedChunk>& chunks, std::string* reason) const;

    // [main] MIDI for the next buffer, on the local input node (or the node of the given type).
    bool QueueMidi(uint32_t frame, uint8_t status, uint8_t data1, uint8_t data2,
                   int32_t nodeType = 0 /* local input */);
    // [audio] One buffer through the native callback. inputs and outputs hold Channels() channel
    // pointers each; the host copies through its own buffers. frames in [0, maxBlock]. The
    // host's output buffers are filled with a marker before the call, as a real host's hold
    // whatever was there before: output samples the module leaves unwritten are counted (see
    // Unwritten) and handed on as silence.
    AAX_Result Process(const float* const* inputs, float* const* outputs, int32_t frames);
    // [audio] A batch of instances of one component, in one call of the callback.
    static AAX_Result ProcessBatch(HostInstance* const* instances, size_t count, const float* const* const* inputs,
                                   float* const* const* outputs, int32_t frames);

    // [main] GUI. A native-window container (type HWND) carries the window given with
    // SetNativeWindow; without one AttachView refuses it (AAX_ERROR_NULL_OBJECT) and calls
    // nothing, so the view is never handed something that is not a window.
    AAX_Result OpenGui();
    AAX_Result AttachView(int32_t containerType = AAX_eViewContainer_Type_HWND);
    AAX_Result GetViewSize(AAX_Point* size);
    AAX_Result DrawView(AAX_Rect* area);
    AAX_Result IdleView();
    AAX_Result DetachView();
    AAX_Result CloseGui();
    bool GuiOpen() const { return gui_ != nullptr; }
    void* NativeWindow() { return nativeWindow_; }
    // [main] The native window that later AttachView calls hand to the view (on Linux an X11
    // window id as a pointer); null for none.
    void SetNativeWindow(void* window) { nativeWindow_ = window; }

    // The output samples the module left unwritten in the last buffer: how many, and the first
    // channel and frame with one (both -1 when none).
    struct UnwrittenOutput {
        int64_t samples = 0;
        int32_t channel = -1;
        int32_t frame = -1;
    };
    const UnwrittenOutput& Unwritten() const { return unwritten_; }

    // Host objects, for inspection.
    TransportState& Transport() { return transport_; }
    HostAutomationDelegate& Automation() { return *automation_; }
    HostController& Controller() { return *controller_; }
    PacketStore& Packets() { return packets_; }
    AAX_IACFEffectParameters* DataModel() const { return dataModel_; }
    AAX_IACFEffectGUI* Gui() const { return gui_; }
    const InstanceSettings& Settings() const { return settings_; }
    int32_t Channels() const { return channels_; }
    const ComponentDescription& Component() const { return component_; }
    std::span<void* const> ContextRecord() const { return {context_, contextFields_}; }
    // The MIDI node of the given type in the context record (the first, if several), or null.
    MidiNodeObject* MidiNode(int32_t nodeType);
    // Host objects the module still holds references to (view containers left out), as texts.
    std::vector<std::string> HeldReferences() const;
    int32_t ReferenceUnderflows() const;

private:
    HostInstance(const EffectDescription& effect, const ComponentDescription& component,
                 const InstanceSettings& settings);
    AAX_IACFEffectParameters* ModelForGui();
    bool LayOutContext(std::string* error);
    void PrepareBuffer(const float* const* inputs, int32_t frames);
    void FinishBuffer(float* const* outputs, int32_t frames);

    std::string effectID_;
    void* guiFactory_ = nullptr;
    AAX_CTypeID manufacturerID_ = 0;
    AAX_CTypeID productID_ = 0;
    AAX_CTypeID plugInID_ = 0;
    ComponentDescription component_;
    InstanceSettings settings_;
    AAX_CProcessProc proc_ = nullptr;
    int32_t channels_ = 0;

    TransportState transport_;
    PacketStore packets_;
    std::unique_ptr<HostController> controller_;
    std::unique_ptr<HostAutomationDelegate> automation_;
    std::unique_ptr<HostTransport> hostTransport_;
    std::unique_ptr<HostUnknown> modelContext_;
    std::unique_ptr<HostUnknown> guiContext_;
    std::vector<std::unique_ptr<HostViewContainer>> views_;
    TransportObject nodeTransport_{&transport_};  // what the MIDI nodes hand out
    std::vector<std::unique_ptr<MidiNodeObject>> midiNodes_;

    // The context record, in the packet store's block; laid out once.
    void** context_ = nullptr;
    size_t contextFields_ = 0;
    std::vector<std::vector<float>> inputBuffers_;
    std::vector<std::vector<float>> outputBuffers_;
    std::vector<float*> inputPointers_;
    std::vector<float*> outputPointers_;
    std::vector<std::vector<float>> auxBuffers_;
    std::vector<std::vector<float*>> auxPointers_;
    std::vector<std::vector<uint8_t>> privateBlocks_;
    std::vector<std::vector<float>> meterBlocks_;
    int32_t* bufferLength_ = nullptr;  // in the packet store's block
    UnwrittenOutput unwritten_;
    int32_t sideChainChannel_ = 0;
    float sampleRateField_ = 0.0f;
    int64_t clockField_ = 0;

    AAX_IACFEffectParameters* dataModel_ = nullptr;
    AAX_IACFEffectGUI* gui_ = nullptr;
    bool initialized_ = false;
    bool guiInitialized_ = false;
    bool viewAttached_ = false;
    void* nativeWindow_ = nullptr;
};

// The host's string as the module's operations take it.
inline AAX_IString* ModuleView(TextObject& text) { return static_cast<AAX_IString*>(text.Binary()); }
inline const AAX_IString& ModuleView(const TextObject& text) { return *static_cast<const AAX_IString*>(text.Binary()); }

// [main] Creates a component through a registered factory proc and asks it for iid. Null when
// the proc is missing, gives nothing or the component does not answer iid (it is then freed).
void* CreateThroughFactory(void* proc, const acfIID& iid);

}  // namespace aaxhost
