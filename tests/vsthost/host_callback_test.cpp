#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "effect/AAX_VHostWrappers.h"
#include "host_fakes.h"
#include "support/RecordingEffect.h"
#include "vsthost/VstCallBack.h"
#include "vsthost/VstInterface.h"

using ::testing::_;
using ::testing::DoAll;
using ::testing::Return;
using ::testing::SetArgPointee;

namespace {

// An effect connected to the static host callback, with its own VstCallBack behind `user`. The
// test's thread is the instance's audio thread, as inside the processing callback.
struct ConnectedEffect {
    ConnectedEffect() : callBack(nullptr) {
        effect.AttachHost(&VstCallBack::HostCallback);
        effect.effect()->user = &callBack;
        callBack.MarkAudioThread();
    }
    intptr_t Call(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f) {
        return effect.CallHost({opcode, index, value, ptr, opt});
    }
    const vst2::VstTimeInfo& LastTime() const { return effect.hostReplies.back().time; }

    RecordingEffect effect;
    VstCallBack callBack;
};

}  // namespace

TEST(HostCallback, AnswersIdentityAndVendorWithoutAnObjectBehindUser) {
    RecordingEffect effect;
    effect.AttachHost(&VstCallBack::HostCallback);

    EXPECT_EQ(effect.CallHost({vst2::audioMasterVersion}), 7);
    EXPECT_EQ(effect.CallHost({vst2::audioMasterCurrentId}), 0x41415348);

    char vendor[32];
    std::memset(vendor, 0x7F, sizeof vendor);
    EXPECT_EQ(effect.CallHost({vst2::audioMasterGetVendorString, 0, 0, vendor}), 0);
    EXPECT_EQ(std::memcmp(vendor, "Kelm AAX Wrapper", 17), 0);
    EXPECT_EQ(vendor[16], '\0');
    EXPECT_EQ(vendor[17], 0x7F);  // exactly 17 bytes
    EXPECT_EQ(effect.CallHost({vst2::audioMasterGetVendorString}), 0);  // null ptr: nothing copied
    // The block size is known before the effect is: entry points ask for it.
    EXPECT_EQ(effect.CallHost({vst2::audioMasterGetBlockSize}), VstInterface::kMaxBlockFrames);
    EXPECT_EQ(effect.CallHost({vst2::audioMasterIOChanged}), 1);

    for (int32_t opcode : {0, 7, 15, 16, 42, 43, 44}) {
        EXPECT_EQ(effect.CallHost({opcode, 1, 0, nullptr, 0.5f}), 0) << opcode;
    }
    EXPECT_TRUE(effect.calls.empty());
    EXPECT_EQ(VstCallBack::HostCallback(nullptr, vst2::audioMasterGetTime, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(VstCallBack::HostCallback(nullptr, vst2::audioMasterVersion, 0, 0, nullptr, 0.0f), 7);
}

TEST(HostCallback, OtherOpcodesAnswerZeroAndCallNothing) {
    ConnectedEffect connected;
    for (int32_t opcode : {3, 6, 8, 23, 33, 34, 37, 1000, -1}) {
        EXPECT_EQ(connected.Call(opcode, 1, 2, nullptr, 1.0f), 0) << opcode;
    }
    EXPECT_EQ(connected.Call(vst2::audioMasterSizeWindow, 640, 480), 0);
    EXPECT_TRUE(connected.effect.calls.empty());
}

TEST(HostCallback, TimeRequestWhileStoppedAndUnknownReportsOnlyTheDefaultRate) {
    ConnectedEffect connected;
    const intptr_t answer = connected.Call(vst2::audioMasterGetTime);

    EXPECT_EQ(answer, reinterpret_cast<intptr_t>(&connected.callBack.timeInfo));
    vst2::VstTimeInfo expected{};
    expected.sampleRate = 44100.0;
    EXPECT_EQ(std::memcmp(&connected.LastTime(), &expected, sizeof expected), 0);
    EXPECT_TRUE(connected.effect.calls.empty());
}

TEST(HostCallback, TimeRecordIsBuiltFromTheSnapshot) {
    ConnectedEffect connected;
    VstCallBack& snapshot = connected.callBack;
    snapshot.isPlaying = 1;
    snapshot.tempoValid = 1;
    snapshot.tempo = 98.5;
    snapshot.timeSigValid = 1;
    snapshot.timeSigNumerator = 7;
    snapshot.timeSigDenominator = 8;
    snapshot.positionValid = 1;
    snapshot.ppqPosition = 12.25;
    snapshot.samplePosition = -5;
    // Stale content of the record must not survive a request.
    snapshot.timeInfo.nanoSeconds = 3.0;
    snapshot.timeInfo.barStartPos = 4.0;

    connected.Call(vst2::audioMasterGetTime);
    const vst2::VstTimeInfo& time = connected.LastTime();
    EXPECT_EQ(time.flags, 0x400 | 0x2 | 0x2000 | 0x200);
    EXPECT_EQ(time.tempo, 98.5);
    EXPECT_EQ(time.timeSigNumerator, 7);
    EXPECT_EQ(time.timeSigDenominator, 8);
    EXPECT_EQ(time.ppqPos, 12.25);
    EXPECT_EQ(time.samplePos, -5.0);
    EXPECT_EQ(time.sampleRate, 44100.0);
    EXPECT_EQ(time.nanoSeconds, 0.0);
    EXPECT_EQ(time.barStartPos, 0.0);
    EXPECT_EQ(time.smpteOffset, 0);
    EXPECT_EQ(snapshot.wasPlaying, 1);

    // Each part is reported only while it is valid.
    snapshot.tempoValid = 0;
    snapshot.timeSigValid = 0;
    connected.Call(vst2::audioMasterGetTime);
    EXPECT_EQ(connected.LastTime().flags, 0x2 | 0x200);
    EXPECT_EQ(connected.LastTime().tempo, 0.0);
    EXPECT_EQ(connected.LastTime().timeSigNumerator, 0);

    // Nothing valid any more: every field but the rate reads 0, whatever the effect wrote into
    // the record in between.
    snapshot.isPlaying = 0;
    std::memset(&snapshot.timeInfo, 0x5A, sizeof snapshot.timeInfo);
    connected.Call(vst2::audioMasterGetTime);
    vst2::VstTimeInfo expected{};
    expected.sampleRate = 44100.0;
    EXPECT_EQ(std::memcmp(&connected.LastTime(), &expected, sizeof expected), 0);
}

TEST(HostCallback, PlayingWithoutAValidPositionHasNoPpqPosition) {
    ConnectedEffect connected;
    connected.callBack.isPlaying = 1;
    connected.callBack.ppqPosition = 8.0;
    connected.callBack.samplePosition = 1000;

    connected.Call(vst2::audioMasterGetTime);
    EXPECT_EQ(connected.LastTime().flags, vst2::kVstTransportPlaying);
    EXPECT_EQ(connected.LastTime().ppqPos, 0.0);
    EXPECT_EQ(connected.LastTime().samplePos, 0.0);

    // A valid position while stopped is not reported either.
    connected.callBack.isPlaying = 0;
    connected.callBack.positionValid = 1;
    connected.Call(vst2::audioMasterGetTime);
    EXPECT_EQ(connected.LastTime().flags & vst2::kVstPpqPosValid, 0);
}

TEST(HostCallback, StopEdgeSendsOneAllNotesOffInsideTheTimeRequest) {
    ConnectedEffect connected;
    connected.Call(vst2::audioMasterGetTime);  // stopped from the start: no edge
    connected.callBack.isPlaying = 1;
    connected.Call(vst2::audioMasterGetTime);
    EXPECT_EQ(connected.effect.CountOpcode(vst2::effProcessEvents), 0u);

    connected.callBack.isPlaying = 0;
    connected.Call(vst2::audioMasterGetTime, 0, 0, nullptr, 0.75f);
    const std::vector<RecordedCall> sent = connected.effect.CallsWithOpcode(vst2::effProcessEvents);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].index, 0);
    EXPECT_EQ(sent[0].value, 0);
    EXPECT_EQ(sent[0].opt, 0.75f);
    EXPECT_EQ(sent[0].numEvents, 1);
    EXPECT_EQ(sent[0].eventsReserved, 0);
    vst2::VstMidiEvent expected{};
    expected.type = 1;
    expected.byteSize = 24;
    expected.midiData[0] = static_cast<char>(0xB0);
    expected.midiData[1] = 0x7B;
    EXPECT_EQ(std::memcmp(&sent[0].events[0], &expected, sizeof expected), 0);
    EXPECT_EQ(std::memcmp(connected.callBack.stopEvent.get(), &expected, sizeof expected), 0);
    EXPECT_EQ(connected.LastTime().flags & vst2::kVstTransportPlaying, 0);

    connected.Call(vst2::audioMasterGetTime);
    EXPECT_EQ(connected.effect.CountOpcode(vst2::effProcessEvents), 1u);
}

TEST(HostCallback, SampleRateRequestSendsTheDefaultRateWithoutController) {
    ConnectedEffect connected;
    EXPECT_EQ(connected.Call(vst2::audioMasterGetSampleRate), 0);

    const std::vector<RecordedCall> sent = connected.effect.CallsWithOpcode(vst2::effSetSampleRate);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].index, 0);
    EXPECT_EQ(sent[0].value, 0);
    EXPECT_EQ(sent[0].ptr, nullptr);
    EXPECT_EQ(sent[0].opt, 44100.0f);
}

TEST(HostCallback, ARateRequestFromInsideEffSetSampleRateIsNotAnsweredWithAnotherSend) {
    ConnectedEffect connected;
    connected.effect.OnOpcode(vst2::effSetSampleRate, {vst2::audioMasterGetSampleRate});
    EXPECT_EQ(connected.Call(vst2::audioMasterGetSampleRate), 0);
    EXPECT_EQ(connected.effect.CountOpcode(vst2::effSetSampleRate), 1u);
    EXPECT_EQ(connected.effect.hostReplies.size(), 2u) << "the nested request was answered";
    // The next request from outside is sent again.
    connected.Call(vst2::audioMasterGetSampleRate);
    EXPECT_EQ(connected.effect.CountOpcode(vst2::effSetSampleRate), 2u);
}

TEST(HostCallback, RatesComeFromTheControllerWhenOneIsHeld) {
    vsthost_test::MockController hostController;
    vsthost_test::FakeHost host;
    host.Offer(IID_IAAXControllerV1, static_cast<AAX_IACFController*>(&hostController));
    AAX_VController controller(&host);
    EXPECT_CALL(hostController, GetSampleRate(_)).WillRepeatedly(DoAll(SetArgPointee<0>(48000.0f), Return(0)));

    ConnectedEffect connected;
    connected.callBack.controller = &controller;
    connected.Call(vst2::audioMasterGetSampleRate);
    connected.Call(vst2::audioMasterGetTime);

    ASSERT_EQ(connected.effect.CountOpcode(vst2::effSetSampleRate), 1u);
    EXPECT_EQ(connected.effect.CallsWithOpcode(vst2::effSetSampleRate)[0].opt, 48000.0f);
    EXPECT_EQ(connected.LastTime().sampleRate, 48000.0);
}

TEST(HostCallback, TimeRequestsAskTheControllerOnceAndRateRequestsAskAgain) {
    vsthost_test::MockController hostController;
    vsthost_test::FakeHost host;
    host.Offer(IID_IAAXControllerV1, static_cast<AAX_IACFController*>(&hostController));
    AAX_VController controller(&host);
    EXPECT_CALL(hostController, GetSampleRate(_))
        .WillOnce(DoAll(SetArgPointee<0>(48000.0f), Return(0)))
        .WillOnce(DoAll(SetArgPointee<0>(96000.0f), Return(0)));

    ConnectedEffect connected;
    connected.callBack.SetController(&controller);
    for (int block = 0; block < 3; ++block) connected.Call(vst2::audioMasterGetTime);
    EXPECT_EQ(connected.LastTime().sampleRate, 48000.0);

    connected.Call(vst2::audioMasterGetSampleRate);
    EXPECT_EQ(connected.effect.CallsWithOpcode(vst2::effSetSampleRate)[0].opt, 96000.0f);
    connected.Call(vst2::audioMasterGetTime);
    EXPECT_EQ(connected.LastTime().sampleRate, 96000.0);

    // Another controller (or none) is asked afresh.
    connected.callBack.SetController(nullptr);
    connected.Call(vst2::audioMasterGetTime);
    EXPECT_EQ(connected.LastTime().sampleRate, 44100.0);
}

TEST(HostCallback, ControllerGivenAgainIsAskedAfreshEvenAtTheSameAddress) {
    vsthost_test::MockController hostController;
    vsthost_test::FakeHost host;
    host.Offer(IID_IAAXControllerV1, static_cast<AAX_IACFController*>(&hostController));
    EXPECT_CALL(hostController, GetSampleRate(_))
        .WillOnce(DoAll(SetArgPointee<0>(48000.0f), Return(0)))
        .WillOnce(DoAll(SetArgPointee<0>(96000.0f), Return(0)));

    // A new Initialize builds a new controller wrapper, which may take the storage of the one
    // the last Uninitialize deleted.
    alignas(AAX_VController) unsigned char storage[sizeof(AAX_VController)];
    ConnectedEffect connected;
    auto* first = new (storage) AAX_VController(&host);
    connected.callBack.SetController(first);
    connected.Call(vst2::audioMasterGetTime);
    EXPECT_EQ(connected.LastTime().sampleRate, 48000.0);
    first->~AAX_VController();

    auto* second = new (storage) AAX_VController(&host);
    connected.callBack.SetController(second);
    connected.Call(vst2::audioMasterGetTime);
    EXPECT_EQ(connected.LastTime().sampleRate, 96000.0);
    second->~AAX_VController();
}

TEST(HostCallback, NoControllerGivenAfterOneMeansTheDefaultRate) {
    vsthost_test::MockController hostController;
    vsthost_test::FakeHost host;
    host.Offer(IID_IAAXControllerV1, static_cast<AAX_IACFController*>(&hostController));
    EXPECT_CALL(hostController, GetSampleRate(_)).WillOnce(DoAll(SetArgPointee<0>(48000.0f), Return(0)));
    AAX_VController controller(&host);

    ConnectedEffect connected;
    connected.callBack.SetController(&controller);
    connected.Call(vst2::audioMasterGetTime);
    EXPECT_EQ(connected.LastTime().sampleRate, 48000.0);
    connected.callBack.SetController(nullptr);
    EXPECT_EQ(connected.callBack.controller, nullptr);
    connected.Call(vst2::audioMasterGetTime);
    EXPECT_EQ(connected.LastTime().sampleRate, 44100.0);
}

TEST(HostCallback, ControllerThatCannotAnswerLeavesTheDefaultRate) {
    AAX_VController controller(nullptr);  // holds no host interface
    ConnectedEffect connected;
    connected.callBack.SetController(&controller);

    connected.Call(vst2::audioMasterGetTime);
    EXPECT_EQ(connected.LastTime().sampleRate, 44100.0);
}

TEST(HostCallback, TimeRequestFromWithinProcessingSeesTheSnapshotWrittenForTheBlock) {
    ConnectedEffect connected;
    connected.effect.OnProcess({vst2::audioMasterGetTime});
    connected.effect.ReserveRecords(8);
    connected.callBack.tempoValid = 1;
    connected.callBack.tempo = 133.0;

    float* channels[2] = {nullptr, nullptr};
    connected.effect.effect()->processReplacing(connected.effect.effect(), channels, channels, 0);
    ASSERT_EQ(connected.effect.hostReplies.size(), 1u);
    EXPECT_TRUE(connected.effect.hostReplies[0].hasTime);
    EXPECT_EQ(connected.effect.hostReplies[0].time.tempo, 133.0);
}

TEST(HostCallback, AnotherThreadGetsARecordOfItsOwnFromTheLastBufferAndLeavesTheStopEdgeAlone) {
    ConnectedEffect connected;
    VstCallBack& snapshot = connected.callBack;
    const auto askFromAnotherThread = [&] { std::thread([&] { connected.Call(vst2::audioMasterGetTime); }).join(); };
    // Until another thread first asks, the audio thread publishes nothing: that request gets
    // the snapshot as constructed.
    askFromAnotherThread();
    EXPECT_EQ(connected.LastTime().flags, 0);
    snapshot.isPlaying = 1;
    snapshot.tempoValid = 1;
    snapshot.tempo = 100.0;
    snapshot.positionValid = 1;
    snapshot.ppqPosition = 3.5;
    snapshot.PublishSnapshot();
    connected.Call(vst2::audioMasterGetTime);
    // The transport stops; the block's snapshot is published before the effect runs.
    snapshot.isPlaying = 0;
    snapshot.positionValid = 0;
    snapshot.PublishSnapshot();

    const vst2::VstTimeInfo audioRecord = snapshot.timeInfo;
    askFromAnotherThread();
    EXPECT_EQ(connected.effect.hostReplies.back().result, reinterpret_cast<intptr_t>(&snapshot.otherTimeInfo));
    EXPECT_EQ(connected.LastTime().flags, vst2::kVstTempoValid);
    EXPECT_EQ(connected.LastTime().tempo, 100.0);
    EXPECT_EQ(std::memcmp(&snapshot.timeInfo, &audioRecord, sizeof audioRecord), 0) << "the audio thread's record";
    EXPECT_EQ(connected.effect.CountOpcode(vst2::effProcessEvents), 0u);

    // The stop is still the audio thread's to report.
    connected.Call(vst2::audioMasterGetTime);
    EXPECT_EQ(connected.effect.CountOpcode(vst2::effProcessEvents), 1u);
}

// The entry-point mark is per thread: while another thread runs an effect's entry point (and its
// own requests get 0), this instance's audio thread still gets its record.
TEST(HostCallback, ATimeRequestIsAnsweredWhileAnotherThreadRunsAnEntryPoint) {
    ConnectedEffect connected;
    connected.callBack.tempoValid = 1;
    connected.callBack.tempo = 90.0;
    std::atomic<int> stage{0};
    intptr_t insideEntryPoint = -1;
    std::thread loading([&] {
        const VstCallBack::EntryPointCall entryPoint;
        insideEntryPoint = VstCallBack::HostCallback(connected.effect.effect(), vst2::audioMasterGetTime, 0, 0,
                                                     nullptr, 0.0f);
        stage = 1;
        while (stage != 2) std::this_thread::yield();
    });
    while (stage != 1) std::this_thread::yield();
    EXPECT_EQ(connected.Call(vst2::audioMasterGetTime), reinterpret_cast<intptr_t>(&connected.callBack.timeInfo));
    EXPECT_EQ(connected.LastTime().tempo, 90.0);
    stage = 2;
    loading.join();
    EXPECT_EQ(insideEntryPoint, 0);
}
