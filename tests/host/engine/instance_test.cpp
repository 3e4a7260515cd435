// Instances of the fake module driven through the host: context layout, packets, automation,
// transport, MIDI, chunks, GUI and the conformance run itself.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "FakeModule.h"
#include "HostInstance.h"
#include "PluginModule.h"
#include "Validate.h"

using namespace aaxhost;

namespace {

class FakeInstance : public ::testing::Test {
protected:
    void SetUp() override {
        fakemodule::Reset();
        std::string error;
        module_ = PluginModule::FromExports(fakemodule::Exports(), "fake", &error);
        ASSERT_TRUE(module_ && module_->StartAndRegister(&error)) << error;
    }

    std::unique_ptr<HostInstance> Make(int32_t stem = AAX_eStemFormat_Stereo, int32_t maxBlock = 512) {
        InstanceSettings settings;
        settings.stemFormat = stem;
        settings.maxBlock = maxBlock;
        std::string error;
        auto instance = HostInstance::Create(*module_->Effect(), settings, &error);
        EXPECT_TRUE(instance) << error;
        if (instance) {
            EXPECT_EQ(instance->Initialize(), AAX_SUCCESS);
        }
        return instance;
    }

    std::unique_ptr<PluginModule> module_;
};

struct Stereo {
    std::vector<float> inL, inR, outL, outR;
    const float* in[2];
    float* out[2];
    explicit Stereo(int32_t frames, float value = 0.5f)
        : inL(static_cast<size_t>(frames), value), inR(static_cast<size_t>(frames), -value),
          outL(static_cast<size_t>(frames), 9.0f), outR(static_cast<size_t>(frames), 9.0f) {
        in[0] = inL.data();
        in[1] = inR.data();
        out[0] = outL.data();
        out[1] = outR.data();
    }
};

}  // namespace

TEST_F(FakeInstance, LaysOutTheContextRecordFromTheComponentsFields) {
    auto instance = Make();
    ASSERT_TRUE(instance);
    Stereo audio(64);
    ASSERT_EQ(instance->Process(audio.in, audio.out, 64), AAX_SUCCESS);
    const fakemodule::Observed& seen = fakemodule::Seen();
    const auto record = instance->ContextRecord();
    ASSERT_EQ(record.size(), 7u);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(seen.lastRecord[i], record[static_cast<size_t>(i)]) << i;
    EXPECT_EQ(seen.lastFrames, 64);
    auto** inputs = static_cast<float**>(record[fakemodule::kFieldIn]);
    auto** outputs = static_cast<float**>(record[fakemodule::kFieldOut]);
    EXPECT_NE(inputs[0], inputs[1]);
    EXPECT_NE(outputs[0], inputs[0]);
    // The blob posted at Initialize is in its port's buffer by the first buffer.
    uint64_t blob = 0;
    std::memcpy(&blob, record[fakemodule::kFieldBlob], sizeof blob);
    EXPECT_EQ(blob, 0x1122334455667788ull);
    EXPECT_EQ(record[fakemodule::kFieldTransport], instance->MidiNode(AAX_eMIDINodeType_Transport)->Binary());
    EXPECT_EQ(record[fakemodule::kFieldMidiIn], instance->MidiNode(AAX_eMIDINodeType_LocalInput)->Binary());

    auto mono = Make(AAX_eStemFormat_Mono);
    ASSERT_TRUE(mono);
    EXPECT_EQ(mono->Channels(), 1);
    EXPECT_EQ(instance->Process(audio.in, audio.out, 513), AAX_ERROR_NULL_OBJECT);  // above the largest block
}

TEST_F(FakeInstance, PostedPacketsReachTheContextBeforeTheNextBufferAndBadOnesAreRefused) {
    auto instance = Make();
    ASSERT_TRUE(instance);
    Stereo audio(32);
    instance->Process(audio.in, audio.out, 32);
    EXPECT_EQ(audio.outL[0], 0.0f);  // nothing posted to the gain port yet
    ASSERT_EQ(instance->SetParameter("gain", 0.25), AAX_SUCCESS);
    ASSERT_EQ(instance->GenerateCoefficients(), AAX_SUCCESS);
    float pending = 0.0f;
    std::memcpy(&pending, instance->Packets().Latest(fakemodule::kFieldGain).data(), sizeof pending);
    EXPECT_EQ(pending, 0.5f);
    float live = 1.0f;
    std::memcpy(&live, instance->ContextRecord()[fakemodule::kFieldGain], sizeof live);
    EXPECT_EQ(live, 0.0f);  // applied only when the next buffer starts
    instance->Process(audio.in, audio.out, 32);
    EXPECT_EQ(audio.outL[31], 0.25f);
    EXPECT_EQ(audio.outR[31], -0.25f);

    const double tooBig = 1.0;
    EXPECT_EQ(instance->Controller().PostPacket(fakemodule::kFieldGain, &tooBig, sizeof tooBig), AAX_ERROR_NULL_OBJECT);
    EXPECT_EQ(instance->Controller().PostPacket(99, &tooBig, 4), AAX_ERROR_NULL_OBJECT);
    EXPECT_EQ(instance->Packets().Refused(), 2);
    instance->Process(audio.in, audio.out, 32);
    EXPECT_EQ(audio.outL[0], 0.25f);  // the refused payload changed nothing
}

TEST_F(FakeInstance, AnswersValueRequestsThroughTheDataModelAsAHostDoes) {
    auto instance = Make();
    ASSERT_TRUE(instance);
    EXPECT_EQ(instance->Automation().Registered(), (std::set<std::string>{"", "gain"}));
    instance->Automation().ClearEvents();
    ASSERT_EQ(instance->SetParameter("gain", 0.75), AAX_SUCCESS);
    const auto events = instance->Automation().Events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].operation, "Touch");
    EXPECT_EQ(events[1].operation, "SetValueRequest");
    EXPECT_EQ(events[1].value, 0.75);
    EXPECT_EQ(events[2].operation, "CurrentValue");  // the data model's answer, inside the request
    EXPECT_EQ(events[3].operation, "Release");
    double value = 0.0;
    EXPECT_EQ(instance->GetParameter("gain", &value), AAX_SUCCESS);
    EXPECT_EQ(value, 0.75);
    EXPECT_FALSE(instance->Automation().IsTouched("gain"));

    instance->SetParameter("gain", 1.7);  // the host settles requests within 0..1
    instance->GetParameter("gain", &value);
    EXPECT_EQ(value, 1.0);
    instance->Automation().SetAnswerRequests(false);
    instance->SetParameter("gain", 0.1);
    instance->GetParameter("gain", &value);
    EXPECT_EQ(value, 1.0);

    instance->Uninitialize();
    EXPECT_TRUE(instance->Automation().Registered().empty());
}

TEST_F(FakeInstance, TransportPositionAdvancesWithEachBufferOnlyWhilePlaying) {
    auto instance = Make(AAX_eStemFormat_Stereo, 4800);
    ASSERT_TRUE(instance);
    TransportState& transport = instance->Transport();
    transport.SetTempo(120.0);
    transport.SetMeter(4, 4);
    transport.SetPlaying(true);
    Stereo audio(4800);
    for (int i = 0; i < 6; ++i) instance->Process(audio.in, audio.out, 4800);
    const fakemodule::Observed& seen = fakemodule::Seen();
    EXPECT_EQ(seen.lastSampleLocation, 24000);  // the start of the sixth buffer: half a second
    EXPECT_EQ(seen.lastTempo, 120.0);
    EXPECT_TRUE(seen.lastPlaying);
    EXPECT_EQ(seen.lastBars, 1);
    EXPECT_EQ(seen.lastBeats, 2);
    EXPECT_EQ(seen.lastTicks, 0);
    transport.SetPlaying(false);
    instance->Process(audio.in, audio.out, 4800);
    instance->Process(audio.in, audio.out, 4800);
    EXPECT_EQ(seen.lastSampleLocation, 28800);
    EXPECT_FALSE(seen.lastPlaying);
}

TEST(HostTransport, BarsBeatsAndTicksFollowTheMeter) {
    TransportState transport;
    transport.SetSampleRate(48000.0);
    transport.SetTempo(120.0);
    transport.SetMeter(6, 8);  // an eighth note is 12000 samples
    int32_t bars = 0, beats = 0;
    int64_t ticks = 0;
    transport.BarBeatAt(12000 * 7, &bars, &beats, &ticks);
    EXPECT_EQ(bars, 2);
    EXPECT_EQ(beats, 2);
    EXPECT_EQ(ticks, 0);
    transport.BarBeatAt(6000, &bars, &beats, &ticks);
    EXPECT_EQ(bars, 1);
    EXPECT_EQ(beats, 1);
    EXPECT_EQ(ticks, 240000);  // half an eighth, in quarter-note ticks
    EXPECT_EQ(transport.TicksPerBeat(), 480000);
    EXPECT_EQ(transport.TicksAt(24000), kTicksPerQuarter);
    transport.SetMeter(3, 4);
    transport.BarBeatAt(-24000, &bars, &beats, &ticks);  // one beat before the start
    EXPECT_EQ(bars, 0);
    EXPECT_EQ(beats, 3);
}

TEST_F(FakeInstance, MidiPacketsArriveOnTheLocalInputNodeForOneBuffer) {
    auto instance = Make();
    ASSERT_TRUE(instance);
    EXPECT_TRUE(instance->QueueMidi(17, 0x90, 60, 100));
    EXPECT_FALSE(instance->QueueMidi(0, 0x90, 60, 100, AAX_eMIDINodeType_Global));  // no such node
    Stereo audio(64);
    instance->Process(audio.in, audio.out, 64);
    EXPECT_EQ(fakemodule::Seen().midiPacketsSeen.load(), 1);
    EXPECT_EQ(fakemodule::Seen().lastMidiTimestamp, 17u);
    EXPECT_EQ(fakemodule::Seen().lastMidiStatus, 0x90);
    instance->Process(audio.in, audio.out, 64);
    EXPECT_EQ(fakemodule::Seen().midiPacketsSeen.load(), 1);
}

TEST_F(FakeInstance, SavesAndRestoresChunksAndCatchesAWriteBeyondTheReportedSize) {
    auto instance = Make();
    ASSERT_TRUE(instance);
    instance->SetParameter("gain", 0.3);
    std::vector<SavedChunk> chunks;
    std::string error;
    ASSERT_EQ(instance->SaveChunks(&chunks, &error), AAX_SUCCESS) << error;
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].id, AAX_FourCC('f', 'a', 'k', 'e'));
    EXPECT_EQ(chunks[0].DataSize(), 8);
    const auto* record = reinterpret_cast<const AAX_SPlugInChunk*>(chunks[0].record.data());
    EXPECT_EQ(record->fManufacturerID, AAX_FourCC('F', 'a', 'k', 'e'));
    EXPECT_EQ(record->fPlugInID, AAX_FourCC('F', 'k', 'S', 't'));
    instance->SetParameter("gain", 0.9);
    ASSERT_EQ(instance->RestoreChunks(chunks, &error), AAX_SUCCESS) << error;
    double value = 0.0;
    instance->GetParameter("gain", &value);
    EXPECT_EQ(value, 0.3);

    SavedChunk truncated = chunks[0];
    truncated.record.resize(truncated.record.size() - 1);
    EXPECT_EQ(instance->RestoreChunks({truncated}, &error), AAX_ERROR_INCORRECT_CHUNK_SIZE);

    fakemodule::Settings().overrunChunk = true;
    EXPECT_EQ(instance->SaveChunks(&chunks, &error), AAX_ERROR_INCORRECT_CHUNK_SIZE);
    EXPECT_NE(error.find("wrote past the size it reported"), std::string::npos) << error;
    fakemodule::Settings().overrunChunk = false;
}

TEST_F(FakeInstance, GuiGetsTheDataModelAndANativeWindowAndReleasesEverything) {
    auto instance = Make();
    ASSERT_TRUE(instance);
    ASSERT_EQ(instance->OpenGui(), AAX_SUCCESS);
    EXPECT_EQ(fakemodule::Seen().guiGotDataModel, 1);
    // No window given: the native container is refused before the view sees anything.
    EXPECT_EQ(instance->AttachView(), AAX_ERROR_NULL_OBJECT);
    EXPECT_EQ(fakemodule::Seen().viewType, -1);
    int window = 0;  // the fake view only records what it is handed
    instance->SetNativeWindow(&window);
    ASSERT_EQ(instance->AttachView(), AAX_SUCCESS);
    EXPECT_EQ(fakemodule::Seen().viewType, AAX_eViewContainer_Type_HWND);
    EXPECT_EQ(fakemodule::Seen().viewPointer, &window);
    AAX_Point size{0, 0};
    EXPECT_EQ(instance->GetViewSize(&size), AAX_SUCCESS);
    EXPECT_EQ(size.horz, 320.0f);
    for (int i = 0; i < 3; ++i) instance->IdleView();
    EXPECT_EQ(fakemodule::Seen().idleCalls, 3);
    ASSERT_EQ(instance->AttachView(AAX_eViewContainer_Type_NULL), AAX_SUCCESS);
    EXPECT_EQ(fakemodule::Seen().viewPointer, nullptr);
    EXPECT_EQ(instance->CloseGui(), AAX_SUCCESS);
    EXPECT_EQ(fakemodule::Seen().viewType, -1);  // withdrawn with SetViewContainer(null)
    instance->Release();
    EXPECT_TRUE(instance->HeldReferences().empty());
    EXPECT_EQ(module_->CanUnloadNow(), 0);
}

TEST_F(FakeInstance, ConformanceRunPassesAWellBehavedModuleAndFlagsAFaultyOne) {
    ValidateOptions options;
    options.strictness = 1;
    options.checkMissingEffect = false;  // the fake has no effect to hide
    options.checkEditorWindow = false;   // nor an editor to show
    std::string error;
    auto fresh = PluginModule::FromExports(fakemodule::Exports(), "fake", &error);
    ASSERT_TRUE(fresh);
    const ValidateReport good = Validate(*fresh, options);
    for (const CheckResult& check : good.checks) EXPECT_TRUE(check.passed) << check.name << ": " << check.detail;
    EXPECT_GT(good.Passed(), 20);

    fakemodule::Settings().overrunChunk = true;
    auto faulty = PluginModule::FromExports(fakemodule::Exports(), "fake", &error);
    const ValidateReport bad = Validate(*faulty, options);
    fakemodule::Settings().overrunChunk = false;
    std::vector<std::string> failed;
    for (const CheckResult& check : bad.checks) {
        if (!check.passed) failed.push_back(check.name);
    }
    EXPECT_EQ(failed, (std::vector<std::string>{"state save and restore"}));

    // Output the module leaves unwritten is named as such wherever it shows, the master bypass
    // check included (its input and output differ too, but the bypass is not at fault).
    fakemodule::Settings().leaveSecondOutput = true;
    auto unwriting = PluginModule::FromExports(fakemodule::Exports(), "fake", &error);
    const ValidateReport unwritten = Validate(*unwriting, options);
    fakemodule::Settings().leaveSecondOutput = false;
    failed.clear();
    for (const CheckResult& check : unwritten.checks) {
        if (check.passed) continue;
        failed.push_back(check.name);
        EXPECT_NE(check.detail.find("unwritten (channel 1 from frame 0)"), std::string::npos) << check.name << ": "
                                                                                          << check.detail;
    }
    EXPECT_THAT(failed, testing::Contains("master bypass, stereo"));
    EXPECT_THAT(failed, testing::Contains("processing stereo at 48000 Hz"));
}
