// The instance stays whole whatever the effect does: a thread of its own that calls the host
// throughout the instance's life, exceptions from any of its entry points, and running out of
// memory while the instance is built. Also run under ASan and ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "SlotObjects.h"
#include "interfaces/aax_ids.h"
#include "render/AlgorithmContext.h"
#include "render/ProcessCallback.h"
#include "support/ConcurrentEffect.h"
#include "support/FailingAllocations.h"
#include "support/FakeGuiHost.h"
#include "support/FakeTransport.h"
#include "support/TestEffectInstall.h"
#include "wrapper/AAXWrapper_CEffectGUI.h"
#include "wrapper/AAXWrapper_Parameters.h"

using testsupport::FakeGuiHost;
using Entry = ConcurrentEffect::Entry;

namespace {

ConcurrentEffect* served = nullptr;
vst2::AEffect* ServeEffect(vst2::AudioMasterCallback hostCallback) { return served->AttachHost(hostCallback); }

// One instance as a host runs it: the data model (and a GUI on demand) on this thread, buffers
// through the processing callback on the thread that calls Process.
class Instance {
public:
    explicit Instance(FakeGuiHost& guiHost) : guiHost_(guiHost) {
        model_ = static_cast<AAXWrapper_Parameters*>(AAXWrapper_Parameters::Create());
        model_->AddRef();
        guiHost_.dataModel = model_;
        guiHost_.host.automation.SetDataModel(model_);
        guiHost_.host.automation.SetRecording(false);
        vstPointer_ = model_->vstInterface;
        context_.fields[kField_AudioIn] = channels_;
        context_.fields[kField_AudioOut] = channels_;
        context_.fields[kField_InputChannels] = &channelCount_;
        context_.fields[kField_OutputChannels] = &channelCount_;
        context_.fields[kField_BufferLength] = &frames_;
        context_.fields[kField_VstInterface] = &vstPointer_;
        context_.fields[kField_Loaded] = &model_->vstLoaded;
        context_.fields[kField_TransportNode] = transportNode_.Binary();
    }
    ~Instance() {
        CloseGui();
        model_->Release();
    }
    AAXWrapper_Parameters* operator->() const { return model_; }

    AAX_Result Initialize() { return model_->Initialize(guiHost_.host.Unknown()); }
    // One buffer; the transport plays for eight buffers, then stops for eight.
    void Process() {
        transport_.playing = (++blocks_ / 8) % 2 == 1;
        void* batch[] = {&context_};
        AAXWrapper_AlgorithmProcessFunction(batch, batch + 1);
    }
    // Opens the GUI with the editor in a window, and works it as a host's timer and drawing do.
    void OpenAndWorkGui() {
        gui_ = AAXWrapper_CEffectGUI::Create();
        gui_->AddRef();
        gui_->Initialize(&guiHost_);
        gui_->SetViewContainer(&view_);
        AAX_Point size{};
        AAX_Rect area{0.0f, 0.0f, 100.0f, 50.0f};
        gui_->GetViewSize(&size);
        gui_->Draw(&area);
        gui_->TimerWakeup();
    }
    void CloseGui() {
        if (gui_ == nullptr) return;
        gui_->SetViewContainer(nullptr);
        gui_->Uninitialize();
        gui_->Release();
        gui_ = nullptr;
    }
    // Saves and restores the state and sets a parameter and the master bypass.
    void WorkState() {
        AAX_CTypeID id = 0;
        uint32_t size = 0;
        model_->GetChunkIDFromIndex(0, &id);
        model_->GetChunkSize(id, &size);
        std::vector<char> record(AAX_PlugInChunkRecordSize(size < 4096 ? size : 0));
        auto* chunk = reinterpret_cast<AAX_SPlugInChunk*>(record.data());
        if (model_->GetChunk(id, chunk) == AAX_SUCCESS) model_->SetChunk(id, chunk);
        model_->SetParameterNormalizedValue("P1", 0.5);
        model_->SetParameterNormalizedValue("", 1.0);
    }

private:
    FakeGuiHost& guiHost_;
    AAXWrapper_Parameters* model_ = nullptr;
    AAX_IEffectGUI* gui_ = nullptr;
    int window_ = 0;
    aaxhost::HostViewContainer view_{AAX_eViewContainer_Type_HWND, &window_};
    float samples_[2][16] = {};
    float* channels_[2] = {samples_[0], samples_[1]};
    int32_t channelCount_ = 2;
    int32_t frames_ = 16;
    VstInterface* vstPointer_ = nullptr;
    FakeTransport transport_;
    aaxhost::TransportObject transportObject_{&transport_};
    aaxhost::MidiNodeObject transportNode_{3, 4, &transportObject_};
    AlgorithmContext context_{};
    int blocks_ = 0;
};

// Waits until the effect's own thread has been round a few more times.
void LetTheEffectThreadRun(const ConcurrentEffect& effect) {
    const int64_t target = effect.ownThreadRounds + 3;
    while (effect.ownThreadRounds < target) std::this_thread::yield();
}

class WrapperRobustness : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(install.Ok()) << install.Error();
        install.SetMainHook(&ServeEffect);
    }
    TestEffectInstall install;
};

}  // namespace

// The effect's own thread automates, asks for the time and the rate and updates the display from
// effOpen to effClose, through every stage of the instance's life, while buffers run on an audio
// thread: nothing it reaches is freed under it, its own time requests never touch the record the
// audio thread is reading, and the stop's all-notes-off comes only from the audio thread. Every
// other effect also changes its channels from its processing, which the main thread's timer
// wake-ups take up while the audio runs.
TEST_F(WrapperRobustness, AnEffectThreadCallsThroughoutTheLifeOfEveryInstance) {
    constexpr int kInstances = 6;
    for (int cycle = 0; cycle < kInstances; ++cycle) {
        ConcurrentEffect effect;
        effect.RunOwnThreadWhileOpen();
        if (cycle % 2 == 1) effect.ChangeChannelsWhileProcessing();
        served = &effect;
        FakeGuiHost guiHost;
        {
            Instance instance(guiHost);
            for (int initialisation = 0; initialisation < 2; ++initialisation) {
                ASSERT_EQ(instance.Initialize(), AAX_SUCCESS);
                instance.OpenAndWorkGui();
                std::atomic<bool> stop{false};
                std::thread audio([&] {
                    for (int block = 0; block < 64 || !stop; ++block) instance.Process();
                });
                LetTheEffectThreadRun(effect);
                instance.WorkState();
                // The host's idle time, until the effect has had a good many more buffers.
                const int64_t processed = effect.processCalls + 48;
                for (int idle = 0; idle < 10000000 && effect.processCalls < processed; ++idle) instance->TimerWakeup();
                stop = true;
                audio.join();
                instance.CloseGui();
                LetTheEffectThreadRun(effect);
                ASSERT_EQ(instance->Uninitialize(), AAX_SUCCESS);

                // Uninitialised, the instance hands nothing of the effect's own thread on.
                const int64_t valuesGiven = effect.setParameterCalls;
                LetTheEffectThreadRun(effect);
                EXPECT_EQ(effect.setParameterCalls, valuesGiven);
            }
        }
        EXPECT_EQ(effect.closeCalls, 1);
        EXPECT_GT(effect.setParameterCalls, 0) << "the thread's automation reached the host and came back";
        EXPECT_EQ(effect.timeRecordChangedWhileProcessing, 0);
        EXPECT_GT(effect.eventsWhileProcessing, 0) << "the transport stops were reported";
        EXPECT_EQ(effect.eventsElsewhere, 0);
        // Each change stops the effect, so a second one shows that the first was taken up.
        EXPECT_GT(effect.channelChanges, cycle % 2 == 1 ? 4 : -1);
        EXPECT_TRUE(guiHost.host.AllReferencesReleased());
    }
}

// Whatever entry point throws, every call the host makes returns, the effect is not called again
// (but for effClose, which lets it stop), and one line names the call that failed.
TEST_F(WrapperRobustness, AnEffectThatThrowsFromAnyEntryPointLeavesTheInstanceWhole) {
    struct Case {
        Entry entry;
        int32_t opcode;
        const char* logged;
    };
    const Case cases[] = {
        {Entry::kMain, 0, "main"},
        {Entry::kDispatcher, vst2::effSetSampleRate, "effSetSampleRate"},
        {Entry::kDispatcher, vst2::effCanBeAutomated, "effCanBeAutomated"},
        {Entry::kGetParameter, 0, "getParameter"},
        {Entry::kDispatcher, vst2::effGetParameterProperties, "effGetParameterProperties"},
        {Entry::kDispatcher, vst2::effGetParamName, "effGetParamName"},
        {Entry::kDispatcher, vst2::effPrivateGetParameterId, "(-14)"},
        {Entry::kDispatcher, vst2::effOpen, "effOpen"},
        {Entry::kDispatcher, vst2::effSetBlockSize, "effSetBlockSize"},
        {Entry::kDispatcher, vst2::effMainsChanged, "effMainsChanged"},
        {Entry::kProcessReplacing, 0, "processReplacing"},
        {Entry::kDispatcher, vst2::effProcessEvents, "effProcessEvents"},
        {Entry::kDispatcher, vst2::effGetChunk, "effGetChunk"},
        {Entry::kDispatcher, vst2::effSetChunk, "effSetChunk"},
        {Entry::kDispatcher, vst2::effPrivateFindParameterIndex, "(-15)"},
        {Entry::kSetParameter, 0, "setParameter"},
        {Entry::kDispatcher, vst2::effSetBypass, "effSetBypass"},
        {Entry::kDispatcher, vst2::effPrivatePreOpenNotice, "(-16)"},
        {Entry::kDispatcher, vst2::effEditGetRect, "effEditGetRect"},
        {Entry::kDispatcher, vst2::effEditOpen, "effEditOpen"},
        {Entry::kDispatcher, vst2::effPrivateEditorRedraw, "(-1)"},
        {Entry::kDispatcher, vst2::effEditIdle, "effEditIdle"},
        {Entry::kDispatcher, vst2::effEditKeyDown, "effEditKeyDown"},
        {Entry::kDispatcher, vst2::effEditClose, "effEditClose"},
        {Entry::kDispatcher, vst2::effClose, "effClose"},
    };
    for (const Case& thrown : cases) {
        SCOPED_TRACE(thrown.logged);
        ConcurrentEffect effect;
        effect.ThrowFrom(thrown.entry, thrown.opcode);
        served = &effect;
        FakeGuiHost guiHost;
        // What the effect throws on the audio thread is written by the main thread's next timer
        // wake-up, and not before.
        const bool onAudioThread = thrown.entry == Entry::kProcessReplacing || thrown.opcode == vst2::effProcessEvents;
        testing::internal::CaptureStderr();
        std::string log;
        {
            Instance instance(guiHost);
            EXPECT_EQ(instance.Initialize(), AAX_SUCCESS);
            for (int block = 0; block < 20; ++block) instance.Process();
            log = testing::internal::GetCapturedStderr();
            if (onAudioThread) {
                EXPECT_EQ(log.find("threw"), std::string::npos) << log;
            }
            testing::internal::CaptureStderr();
            instance->TimerWakeup();
            const std::string wakeUp = testing::internal::GetCapturedStderr();
            if (onAudioThread) {
                EXPECT_NE(wakeUp.find("threw"), std::string::npos);
            }
            log += wakeUp;
            testing::internal::CaptureStderr();
            instance->TimerWakeup();
            instance.WorkState();
            instance.OpenAndWorkGui();
            instance.CloseGui();
            EXPECT_EQ(instance->Uninitialize(), AAX_SUCCESS);
        }
        log += testing::internal::GetCapturedStderr();
        EXPECT_EQ(effect.throws, 1);
        EXPECT_EQ(effect.callsAfterThrow, 0);
        EXPECT_EQ(effect.closeCalls, thrown.entry == Entry::kMain ? 0 : 1);
        const size_t line = log.find("threw");
        ASSERT_NE(line, std::string::npos) << log;
        EXPECT_EQ(line, log.rfind("threw")) << "one line: " << log;
        EXPECT_NE(log.substr(0, line).find(thrown.logged), std::string::npos) << log;
        EXPECT_TRUE(guiHost.host.AllReferencesReleased());
    }
}

// Creation and initialisation with the n-th allocation failing, for every n until none fails:
// each attempt succeeds or answers out of memory, leaves nothing behind and nothing half built
// (the instance initialises fully afterwards), and frees everything when released.
TEST_F(WrapperRobustness, RunningOutOfMemoryAnywhereInCreationOrInitialisationLeavesNothingHalfBuilt) {
    int64_t attempt = 0;
    for (bool failed = true; failed; ++attempt) {
        ConcurrentEffect effect;
        served = &effect;
        const int64_t liveBefore = testsupport::LiveAllocations();
        {
            testsupport::FakeHost host;
            AAXWrapper_Parameters* model = nullptr;
            AAX_Result result = AAX_SUCCESS;
            {
                AllocationFailure failing(attempt);
                model = static_cast<AAXWrapper_Parameters*>(AAXWrapper_Parameters::Create());
                if (model != nullptr) {
                    model->AddRef();
                    result = model->Initialize(host.Unknown());
                }
                failed = failing.Triggered();
            }
            SCOPED_TRACE(attempt);
            ASSERT_TRUE(model != nullptr || failed);
            if (model == nullptr) continue;
            int32_t parameters = -1;
            if (result != AAX_SUCCESS) {
                EXPECT_EQ(result, AAX_ERROR_PLUGIN_OUT_OF_MEMORY);
                model->GetNumberOfParameters(&parameters);
                EXPECT_EQ(parameters, 0);
                EXPECT_TRUE(host.AllReferencesReleased());
                EXPECT_EQ(model->Initialize(host.Unknown()), AAX_SUCCESS);
            }
            // An effect that could not be loaded for lack of memory leaves an instance without one.
            model->GetNumberOfParameters(&parameters);
            EXPECT_EQ(parameters, model->vstLoaded == 1 ? 1 + ConcurrentEffect::kParameters : 0);
            model->Uninitialize();
            EXPECT_TRUE(host.AllReferencesReleased());
            model->Release();
        }
        EXPECT_EQ(testsupport::LiveAllocations(), liveBefore) << "attempt " << attempt;
    }
    EXPECT_GT(attempt, 20);
}
