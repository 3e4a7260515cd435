// The host side of one effect instance, as the wrapped VST 2 effect sees it: the static host
// callback handed to the effect's entry point, the transport snapshot behind its time requests,
// the all-notes-off event sent when the transport stops, and the links used to turn the
// effect's parameter gestures into host parameter operations.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "interfaces/aax_effect.h"
#include "interfaces/aax_host.h"
#include "interfaces/vst2.h"

class AAXWrapper_Parameters;
class AAX_CParameterManager;

class VstCallBack {
public:
    // Answers to the effect's identity queries.
    static constexpr intptr_t kHostVersion = 7;
    static constexpr intptr_t kHostCurrentId = 0x41415348;  // 'AASH'
    static constexpr const char kVendorString[] = "Kelm AAX Wrapper";
    static constexpr size_t kVendorStringBytes = sizeof(kVendorString);  // 17, terminator included
    // Used when no controller is held.
    static constexpr double kDefaultSampleRate = 44100.0;
    static constexpr size_t kParamIdBufferSize = 256;
    static constexpr size_t kStopEventBufferSize = 16384;

    // [main] The snapshot starts stopped at 120 BPM in 4/4 with nothing valid; every link but
    // owner is null.
    explicit VstCallBack(AAXWrapper_Parameters* owner);
    // [main] Frees stopEvent.
    virtual ~VstCallBack();
    VstCallBack(const VstCallBack&) = delete;
    VstCallBack& operator=(const VstCallBack&) = delete;

    // [any] The effect's audioMasterCallback. Answers version, identity and vendor itself (also
    // before `user` is set) and forwards automate, time, window size, sample rate and the
    // display and edit notifications to the VstCallBack in the effect's `user` field; 0 when
    // there is none, and 0 for every call made while the effect's entry point runs (the record
    // is unfinished then, so not even `user` is read). Every other opcode answers 0. Time
    // requests from within processing run on the audio thread and allocate nothing.
    static intptr_t HostCallback(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                 void* ptr, float opt);

    // [any] Handles one forwarded opcode for the effect that called. Dispatcher calls made here
    // go to that effect without the gate. audioMasterGetTime is [audio] when the effect asks from
    // within processing: it allocates nothing and locks nothing.
    intptr_t OnHostOpcode(vst2::AEffect* effect, int32_t opcode, int32_t index, void* ptr, float opt);

    // [main] Marks the calling thread as running an effect's entry point for its lifetime: the
    // host callback then answers the effect without reading its record.
    class EntryPointCall {
    public:
        EntryPointCall();
        ~EntryPointCall();
        EntryPointCall(const EntryPointCall&) = delete;
        EntryPointCall& operator=(const EntryPointCall&) = delete;
    };

    // [any] Marks, for its lifetime, the effect parameter index that the calling thread is
    // handing to the effect of this VstCallBack (setParameter). A gesture the effect reports for
    // that index from inside the call is the echo of the value it is being given, and is not
    // sent back to the host, which would hand it over again without end. Scopes nest.
    class ParameterDelivery {
    public:
        ParameterDelivery(const VstCallBack& callBack, int32_t index);
        ~ParameterDelivery();
        ParameterDelivery(const ParameterDelivery&) = delete;
        ParameterDelivery& operator=(const ParameterDelivery&) = delete;

    private:
        const VstCallBack* previousCallBack_;
        int32_t previousIndex_;
    };

    // [main] Sets `controller` (null for none). The rate that time requests keep is forgotten, so
    // the controller given is asked afresh even when it sits at the address of an earlier one
    // (the host wrapper made by a new Initialize may reuse the memory of the deleted one).
    void SetController(AAX_IController* hostController);

    // Fields, in this order. The snapshot (isPlaying to positionValid) is written by the
    // processing callback on the audio thread and read back by time requests on that thread.
    int32_t wasPlaying;  // the play state seen at the previous time request
    int32_t isPlaying;
    double tempo;  // beats per minute
    int32_t timeSigNumerator;
    int32_t timeSigDenominator;
    double ppqPosition;  // quarter notes
    double ppqOffset;    // latched when the transport starts
    int32_t samplePosition;
    int32_t tempoValid;
    int32_t timeSigValid;
    int32_t positionValid;
    AAX_IACFEffectGUI* editorGui;            // the registered GUI, or null
    vst2::VstTimeInfo timeInfo;              // rewritten by every time request
    AAX_CParameterManager* parameterManager; // the data model's, or null before it is set
    AAXWrapper_Parameters* owner;
    AAX_IController* controller;             // null until effect initialisation
    std::unique_ptr<uint8_t[]> stopEvent;    // kStopEventBufferSize bytes; the head holds one event

private:
    // [audio] Fills timeInfo from the snapshot and sends the all-notes-off event on a stop edge.
    intptr_t AnswerTimeRequest(vst2::AEffect* effect, float opt);
    // [any] Sends effSetSampleRate with the controller's rate (or the default) to the effect.
    intptr_t AnswerSampleRateRequest(vst2::AEffect* effect);
    // [any] Turns automate, begin-edit and end-edit into the host parameter's operations. The
    // effect may report them from any thread, its audio thread included.
    intptr_t HandleParameterGesture(vst2::AEffect* effect, int32_t opcode, int32_t index, float opt);
    // [any] Asks for the identifier of every parameter (up to VstInterface::kMaxParameters) and
    // tells the registered GUI about each.
    intptr_t HandleDisplayUpdate(vst2::AEffect* effect, float opt);
    // [any] Asks the effect for the identifier of parameter index into buffer, which the caller
    // owns (kParamIdBufferSize bytes): gestures and display updates may run on different threads
    // at once. The text is always terminated.
    static void RequestParameterId(vst2::AEffect* effect, int32_t index, float opt, char* buffer);
    // [any] The current sample rate: the controller's, or kDefaultSampleRate without one.
    // Asks the controller and remembers the answer for time requests.
    float CurrentSampleRate();
    // [audio] The rate for a time request. A host fixes an instance's rate while it is
    // initialised, so the controller is asked once per controller (and again on every
    // sample-rate request from the effect) rather than on every time request, which the effect
    // makes every buffer.
    float TimeRequestSampleRate();

    // The rate cache. Time requests read it on the audio thread while sample-rate requests and
    // SetController write it on the main thread, so both fields are atomic; controllerRate is
    // stored before rateController is published.
    std::atomic<const AAX_IController*> rateController{nullptr};  // where controllerRate came from
    std::atomic<float> controllerRate{static_cast<float>(kDefaultSampleRate)};
};
