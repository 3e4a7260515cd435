// The effect's data model: one per instance. It loads the wrapped VST 2 effect when it is built,
// mirrors the effect's automatable parameters as host parameters behind a master bypass, hands
// every value the host settles back to the effect, and saves the effect's own chunk as the
// instance's one state chunk.
#pragma once

#include <cstdint>

#include "effect/AAX_CEffectParameters.h"
#include "params/AAX_CParameter.h"
#include "vsthost/VstCallBack.h"
#include "vsthost/VstInstance.h"
#include "vsthost/VstInterface.h"

// Capacity of the module-wide load-failure message, terminator included.
constexpr size_t kAAXWrapper_LoadFailureMessageSize = 1024;

// [main] The message formatted by the last construction whose effect failed to load; empty
// until one fails. Nothing displays it.
const char* AAXWrapper_LoadFailureMessage();

class AAXWrapper_Parameters : public AAX_CEffectParameters {
public:
    // The identifier capacity the effect is told while its parameters are mirrored (the buffer
    // itself has VstInterface::kParameterNameBufferSize bytes).
    static constexpr size_t kParameterIdCapacity = 32;
    // Steps given to every continuous parameter.
    static constexpr uint32_t kContinuousSteps = 65;
    // At most this many of the effect's parameters are mirrored, indices 0 to 4095; an effect
    // that declares more has the rest ignored (they get no host parameter, and display updates
    // walk no further either). The effect's numParams is its own word: taken as it stands, an
    // effect declaring 2^31 - 1 parameters would exhaust the host's memory.
    static constexpr int32_t kMaxMirroredParameters = VstInterface::kMaxParameters;

    // [main] The data-model factory the effect description registers: a new data model with no
    // reference taken, or null when it cannot be built.
    static AAX_IEffectParameters* Create();

    // [main] Never fails: an effect that does not load (running out of memory on the way
    // included) leaves vstLoaded at 0 and fills the load-failure message; every later operation
    // then degrades instead of calling the effect.
    AAXWrapper_Parameters();
    // [main] Closes the effect (through the VstInterface), then frees the VstCallBack. The
    // wrapped library stays loaded. Until effClose returns the effect's threads may call back:
    // everything they can reach is still there.
    ~AAXWrapper_Parameters() override;

    // [any] Also answers IID_AAXWrapperParametersSelf, the module's private identifier, with this
    // object (a reference added): how the module's GUI recognises its own data model.
    ACFRESULT InternalQueryInterface(const acfIID& iid, void** outInterface) noexcept override;

    // [main] Withdraws the controller and the parameters from the effect's callbacks (waiting for
    // any under way on another thread to finish with them), then the base's Uninitialize. The
    // effect stays open; until the next Initialize its calls from any thread find no parameter
    // and get the default rate.
    AAX_Result Uninitialize() noexcept override;

    // [main] Stores the value the host settled and hands it to the effect: effSetBypass for
    // the master bypass (the parameter made for it, on above 0), setParameter at the index the
    // effect gives for the identifier otherwise, when that index is one of the effect's (0 to
    // numParams - 1) and the value is not the one the effect already holds there (last handed to
    // it or read back from it). A gesture the effect reports for that parameter from inside
    // setParameter is not sent back to the host. AAX_ERROR_INVALID_PARAMETER_ID when no
    // parameter has the identifier. Marks no packet dirty and leaves the change count alone.
    AAX_Result UpdateParameterNormalizedValue(AAX_CParamID id, double value, AAX_EUpdateSource source) noexcept override;

    // [main] The one chunk: the effect's own bank chunk under its uniqueID (0 while the effect
    // cannot be called). Index 0 only; AAX_ERROR_INVALID_CHUNK_INDEX otherwise. An effect that
    // has failed (thrown) counts as not loaded for all four chunk operations.
    AAX_Result GetChunkIDFromIndex(int32_t index, AAX_CTypeID* chunkID) const noexcept override;
    // [main] The effect's current chunk size, which is remembered: the host allocates the record
    // from it. AAX_ERROR_INVALID_CHUNK_ID when not loaded (size untouched) or for another
    // identifier (size 0); AAX_ERROR_INCORRECT_CHUNK_SIZE (size untouched, nothing remembered)
    // for a negative length or one that a signed 32-bit size cannot hold.
    AAX_Result GetChunkSize(AAX_CTypeID chunkID, uint32_t* size) const noexcept override;
    // [main] Copies the effect's chunk into the record. Refuses with
    // AAX_ERROR_INCORRECT_CHUNK_SIZE, writing nothing, when no size was reported, the chunk has
    // grown beyond the size last reported, or its length is negative or more than a signed
    // 32-bit size holds, so the host's record is never overrun and no state is silently cut.
    AAX_Result GetChunk(AAX_CTypeID chunkID, AAX_SPlugInChunk* chunk) const noexcept override;
    // [main] Hands the record's bytes to the effect (effSetChunk), then reads the values of the
    // mirrored parameters back from it, so that the host shows the restored state (nothing is
    // sent back to the effect). Before the first restore of the instance the effect is asked for
    // its chunk once, so it has prepared its state. A negative fSize sends nothing and answers
    // AAX_ERROR_INCORRECT_CHUNK_SIZE.
    AAX_Result SetChunk(AAX_CTypeID chunkID, const AAX_SPlugInChunk* chunk) noexcept override;

    // [main] Slot 40, the host's periodic idle call: takes up a change of the effect's channel
    // counts that the audio thread has stopped for (the channel arrays are made again here, off
    // the audio thread, so the effect is processed again from the next buffer), and reads the
    // values back when the effect asked for a display update from a thread other than the main
    // one since the last call, and writes the line of an effect failure the audio thread
    // recorded (the audio thread formats and writes nothing). 0.
    AAX_Result TimerWakeup() noexcept override;

    // [main] Sends the sample rate, creates the master bypass and one host parameter per
    // automatable effect parameter (up to kMaxMirroredParameters) whose identifier is its own:
    // not one already taken (the master bypass's empty one, or a duplicate) and not
    // "MasterBypassID", which hosts read as the master bypass's. Opens the effect, tells it the
    // block size (VstInterface::kMaxBlockFrames) and resumes it, sizes the channel arrays for
    // it, registers the master bypass packet and posts the channel counts, the VstInterface and
    // the loaded flag. Not loaded: posts the channel counts and the loaded flag (0), so that
    // processing can still write silence to every output.
    // An effect that throws on the way leaves the instance as if it had not loaded: its
    // parameters are removed again and the loaded flag posted is 0. 0, unless memory runs out
    // (std::bad_alloc, which Initialize turns into its result after undoing everything).
    AAX_Result EffectInit() override;

    // Members, in this order.
    VstInterface* vstInterface = nullptr;  // owned: mVstInstance's
    int32_t vstLoaded = 0;                 // 1 when the loader gave an effect
    VstCallBack* vstCallBack = nullptr;    // owned: mVstInstance's
    int32_t chunkSizeBeforeRestore = 0;    // the effect's chunk size seen before the first restore

private:
    // [main] The chunk identifier: the effect's uniqueID, or 0 when it cannot be called.
    AAX_CTypeID CurrentChunkID() const noexcept;
    // [main] Loaded, and not failed since.
    bool EffectUsable() const noexcept;
    // [main] Hands a new parameter to the manager and returns it, or deletes it and returns null
    // when the manager refuses it (an identifier already taken).
    AAX_IParameter* AddOwnedParameter(AAX_OwnedParameter parameter);
    // [main] Inside a LinkChange: forgets the mirrors and the master bypass and removes every
    // parameter.
    void ForgetParameters() noexcept;
    // [main] Creates the host parameter mirroring effect parameter index, or nothing when the
    // effect says it cannot be automated.
    void MirrorEffectParameter(int32_t index);
    // [main] Posts the input and output channel counts of the host's stem formats.
    void PostChannelCounts();
    // [main] Posts one value into an algorithm context field.
    void PostField(AAX_CFieldIndex field, const void* payload, uint32_t size);

    // The chunk size last reported to the host by GetChunkSize; kNoChunkSizeReported before.
    static constexpr int64_t kNoChunkSizeReported = INT64_MIN;
    mutable int64_t mReportedChunkSize = kNoChunkSizeReported;
    // The master bypass parameter EffectInit made (owned by the manager); null without one.
    AAX_IParameter* mMasterBypass = nullptr;
    // The VstInterface and VstCallBack above, in one allocation.
    VstInstance* mVstInstance = nullptr;
};
