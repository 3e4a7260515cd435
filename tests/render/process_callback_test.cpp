#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "RenderInstance.h"
#include "render/ProcessCallback.h"

namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using Kind = RecordedCall::Kind;

// The position that a host bar/beat answer gives in a block, from the origin latched at start.
double Position(int32_t bars, int32_t beats, int64_t ticks, int32_t beatsPerBar, double origin) {
    return static_cast<double>(bars) * beatsPerBar + beats + static_cast<double>(ticks) / 960000.0 - origin;
}

// Starts the transport in instance at bar/beat and runs one block.
void PlayBlock(RenderInstance& instance, int32_t bar, int32_t beat, int64_t ticks = 0) {
    instance.transport.playing = true;
    instance.transport.SetBarBeat(bar, beat, ticks);
    RunBatch({instance.Context()});
}

TEST(ProcessCallback, RunsOnlyInstancesWhoseLoadedFlagIsExactlyOne) {
    RenderInstance unloaded(2), flagTwo(2), noFlag(2), loaded(2);
    unloaded.loaded = 0;
    flagTwo.loaded = 2;
    noFlag.context.fields[kField_Loaded] = nullptr;
    for (RenderInstance* skipped : {&unloaded, &flagTwo, &noFlag}) {
        skipped->midiInput.Add(0, 0x90, 60, 100);
        skipped->transport.playing = true;
        skipped->callBack.tempoValid = skipped->callBack.timeSigValid = skipped->callBack.positionValid = 1;
    }
    loaded.midiInput.Add(0, 0x90, 60, 100);

    RunBatch({unloaded.Context(), nullptr, flagTwo.Context(), noFlag.Context(), loaded.Context(), nullptr});

    for (RenderInstance* skipped : {&unloaded, &flagTwo, &noFlag}) {
        EXPECT_TRUE(skipped->effect.calls.empty());
        EXPECT_EQ(skipped->transportNode.transportRequests, 0);
        EXPECT_EQ(skipped->midiInput.bufferRequests, 0);
        EXPECT_EQ(skipped->callBack.tempoValid, 1);  // not even the snapshot is touched
        EXPECT_EQ(skipped->callBack.positionValid, 1);
        // The host's outputs are never left as they were.
        EXPECT_THAT(skipped->outputData[0], Each(0.0f));
        EXPECT_THAT(skipped->outputData[1], Each(0.0f));
    }
    EXPECT_EQ(loaded.effect.CountOpcode(vst2::effProcessEvents), 1u);
    EXPECT_EQ(loaded.processCalls, 1);

    // An empty batch and a batch of nulls do nothing.
    AAXWrapper_AlgorithmProcessFunction(nullptr, nullptr);
    RunBatch({});
    RunBatch({nullptr, nullptr});
    EXPECT_EQ(loaded.processCalls, 1);
}

TEST(ProcessCallback, GivesTheEffectTwoChannelEntriesWithANullSecondForMono) {
    RenderInstance mono(1), stereo(2);
    mono.effect.SetProcessGain(0.5f);
    stereo.effect.SetProcessGain(2.0f);
    mono.frames = 7;

    RunBatch({mono.Context(), stereo.Context()});

    ASSERT_EQ(mono.processCalls, 1);
    EXPECT_EQ(mono.seenInputs[0], mono.inputData[0]);
    EXPECT_EQ(mono.seenInputs[1], nullptr);
    EXPECT_EQ(mono.seenOutputs[0], mono.outputData[0]);
    EXPECT_EQ(mono.seenOutputs[1], nullptr);
    const RecordedCall& monoCall = mono.effect.calls.back();
    EXPECT_EQ(monoCall.kind, Kind::ProcessReplacing);
    EXPECT_EQ(monoCall.frames, 7);
    EXPECT_EQ(mono.outputData[0][6], mono.inputData[0][6] * 0.5f);
    EXPECT_EQ(mono.outputData[0][7], -1.0f);  // past the frame count
    EXPECT_EQ(mono.outputData[1][0], -1.0f);

    ASSERT_EQ(stereo.processCalls, 1);
    EXPECT_EQ(stereo.seenInputs[0], stereo.inputData[0]);
    EXPECT_EQ(stereo.seenInputs[1], stereo.inputData[1]);
    EXPECT_EQ(stereo.seenOutputs[0], stereo.outputData[0]);
    EXPECT_EQ(stereo.seenOutputs[1], stereo.outputData[1]);
    EXPECT_EQ(stereo.effect.calls.back().frames, RenderInstance::kFrames);
    EXPECT_EQ(stereo.outputData[1][3], stereo.inputData[1][3] * 2.0f);

    // Each side follows its own count.
    RenderInstance monoIn(2);
    monoIn.inputChannels = 1;
    RunBatch({monoIn.Context()});
    EXPECT_EQ(monoIn.seenInputs[1], nullptr);
    EXPECT_EQ(monoIn.seenOutputs[1], monoIn.outputData[1]);
}

TEST(ProcessCallback, EveryHostOutputIsWrittenWhateverTheEffectProvides) {
    enum Setup { kOneOutput = 1, kAccumulating = 2, kInPlace = 4, kNoEntryPoint = 8, kClosed = 16, kBypassed = 32,
                 kGrown = 64, kTooMany = 128 };
    enum Expect { kProcessed, kSilent, kDry };
    const struct {
        int setup;
        Expect first, second;
    } cases[] = {
        {kOneOutput, kProcessed, kSilent},       {kAccumulating | kInPlace, kProcessed, kProcessed},
        {kNoEntryPoint, kSilent, kSilent},       {kClosed, kSilent, kSilent},
        {kClosed | kBypassed, kDry, kDry},       {kGrown, kSilent, kSilent},
        {kGrown | kBypassed, kDry, kDry},        {kTooMany, kSilent, kSilent},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.setup);
        RenderInstance instance(2);
        instance.effect.SetProcessGain(0.5f);
        const std::vector<float> dry[2] = {{instance.inputData[0], instance.inputData[0] + RenderInstance::kFrames},
                                           {instance.inputData[1], instance.inputData[1] + RenderInstance::kFrames}};
        if (test.setup & kOneOutput) instance.effect.effect()->numOutputs = 1;
        if (test.setup & kAccumulating) instance.effect.UseAccumulatingProcessOnly();
        for (int channel = 0; channel < 2 && (test.setup & kInPlace); ++channel) {
            instance.hostOutputs[channel] = instance.inputData[channel];
        }
        if (test.setup & kNoEntryPoint) instance.effect.effect()->processReplacing = nullptr;
        // More than the module makes room for: no audio rather than arrays shorter than it reads.
        if (test.setup & kTooMany) instance.effect.effect()->numOutputs = VstInterface::kMaxChannelEntries + 1;
        instance.vst.SizeChannelArrays();
        if (test.setup & kClosed) instance.vst.isOpen = 0;
        if (test.setup & kBypassed) instance.vst.SetBypass(true);
        if (test.setup & kGrown) instance.effect.effect()->numInputs = 3;  // not yet taken up
        RunBatch({instance.Context()});  // the outputs held -1: an accumulating effect adds to nothing

        const Expect expected[2] = {test.first, test.second};
        for (int channel = 0; channel < 2; ++channel) {
            const float scale = expected[channel] == kSilent ? 0.0f : expected[channel] == kDry ? 1.0f : 0.5f;
            for (int frame = 0; frame < RenderInstance::kFrames; ++frame) {
                ASSERT_EQ(instance.hostOutputs[channel][frame], dry[channel][static_cast<size_t>(frame)] * scale) << channel;
            }
        }
        EXPECT_EQ(instance.effect.CountKind(Kind::Process), (test.setup & kAccumulating) != 0 ? 1u : 0u);
    }
}

TEST(ProcessCallback, AChannelChangeStopsTheEffectUntilTheMainThreadTakesItUp) {
    RenderInstance instance(2);
    instance.effect.SetProcessGain(2.0f);
    // Grows at its second call and says so from inside it; silent from the next buffer on.
    instance.effect.ChangeChannelsAt(2, 6, 6, true);
    for (int buffer = 0; buffer < 3; ++buffer) RunBatch({instance.Context()});
    EXPECT_EQ(instance.processCalls, 2);
    EXPECT_EQ(instance.effect.hostReplies.back().result, 1);
    EXPECT_EQ(instance.outputData[0][3], 0.0f);

    // The main thread makes the arrays again; the effect gets all six entries from then on.
    instance.vst.TakeUpChannelChange();
    EXPECT_EQ(instance.vst.LayoutOutputs(), 6);
    RunBatch({instance.Context()});
    ASSERT_EQ(instance.processCalls, 3);
    EXPECT_THAT(instance.seenOutputs, Each(testing::NotNull()));
    EXPECT_EQ(instance.outputData[1][4], instance.inputData[1][4] * 2.0f);

    // A change from another thread: nothing is remade while the audio thread may still be in a
    // call; its next buffer stops, and then the change is taken up.
    instance.effect.effect()->numOutputs = 2;
    instance.effect.CallHost({vst2::audioMasterIOChanged});
    instance.vst.TakeUpChannelChange();
    EXPECT_EQ(instance.vst.LayoutOutputs(), 6);
    RunBatch({instance.Context()});
    instance.vst.TakeUpChannelChange();
    EXPECT_EQ(instance.vst.LayoutOutputs(), 2);
    // A notice that leaves the counts as they are (a latency change) does not interrupt.
    instance.effect.CallHost({vst2::audioMasterIOChanged});
    RunBatch({instance.Context()});
    EXPECT_EQ(instance.processCalls, 4);
}

// Channel counts changed back and forth across the entries kept inside the instance (up to
// three a side) and those on the heap: the effect, which reads and writes every entry it
// declares, gets the host's two channels first and scratch after (under ASan too).
TEST(ProcessCallback, ChannelCountsAcrossTheInlineEntriesAndBack) {
    RenderInstance instance(2);
    instance.effect.SetProcessGain(2.0f);
    const int32_t counts[][2] = {{3, 3}, {4, 4}, {3, 4}, {4, 3}, {2, 2}, {4, 4}, {3, 3}};
    for (const auto& count : counts) {
        SCOPED_TRACE(testing::Message() << count[0] << " in, " << count[1] << " out");
        instance.effect.effect()->numInputs = count[0];
        instance.effect.effect()->numOutputs = count[1];
        const int32_t calls = instance.processCalls;
        RunBatch({instance.Context()});  // stops until the main thread has made the arrays again
        instance.vst.TakeUpChannelChange();
        RunBatch({instance.Context()});
        ASSERT_EQ(instance.processCalls, calls + 1);
        EXPECT_EQ(instance.vst.inputEntryCount, count[0]);
        EXPECT_EQ(instance.vst.outputEntryCount, count[1]);
        EXPECT_THAT((std::vector<float*>{instance.seenInputs[0], instance.seenInputs[1], instance.seenOutputs[0],
                                         instance.seenOutputs[1]}),
                    ElementsAre(instance.inputData[0], instance.inputData[1], instance.outputData[0],
                                instance.outputData[1]));
        // Past the host's two: one scratch buffer per side, none of the host's.
        const auto scratch = testing::Not(testing::AnyOf(nullptr, instance.inputData[0], instance.inputData[1],
                                                         instance.outputData[0], instance.outputData[1]));
        for (int32_t entry = 2; entry < count[0]; ++entry) {
            EXPECT_THAT(instance.seenInputs[entry], scratch);
            EXPECT_EQ(instance.seenInputs[entry], instance.seenInputs[2]);
        }
        for (int32_t entry = 2; entry < count[1]; ++entry) {
            EXPECT_THAT(instance.seenOutputs[entry], scratch);
            EXPECT_EQ(instance.seenOutputs[entry], instance.seenOutputs[2]);
            EXPECT_NE(instance.seenOutputs[entry], instance.seenInputs[2]);
        }
        EXPECT_EQ(instance.outputData[1][5], instance.inputData[1][5] * 2.0f);
    }
}

TEST(ProcessCallback, ABufferLongerThanTheBlockSizeRunsAsSubBlocks) {
    constexpr int32_t kMax = VstInterface::kMaxBlockFrames;
    RenderInstance instance(2);
    instance.UseLongBuffers(2 * kMax + 100);
    instance.effect.SetProcessGain(0.5f);
    instance.AskForTimeWhileProcessing();
    instance.transport.playing = true;
    for (uint32_t frame : {0u, 4095u, 4096u, 8291u, 9000u}) instance.midiInput.Add(frame, 0x90, 60, 100);
    RunBatch({instance.Context()});

    // Each sub-block's events (delta frames from its start; one past the buffer's end goes with
    // the last) come before its audio call.
    std::vector<std::pair<Kind, int32_t>> seen;
    for (const RecordedCall& call : instance.effect.calls) {
        seen.emplace_back(call.kind, call.kind == Kind::Dispatcher ? call.events[0].deltaFrames : call.frames);
    }
    const auto event = [](int32_t delta) { return std::make_pair(Kind::Dispatcher, delta); };
    const auto audio = [](int32_t frames) { return std::make_pair(Kind::ProcessReplacing, frames); };
    EXPECT_THAT(seen, ElementsAre(event(0), event(4095), audio(kMax), event(0), audio(kMax), event(99), event(808),
                                  audio(100)));
    for (int channel = 0; channel < 2; ++channel) {
        for (size_t frame = 0; frame < instance.longOutputs[channel].size(); ++frame) {
            ASSERT_EQ(instance.longOutputs[channel][frame], instance.longInputs[channel][frame] * 0.5f) << frame;
        }
    }
    // Each sub-block's time is its own: the position moves on by the frames before it.
    const auto times = instance.TimesSeen();
    ASSERT_EQ(times.size(), 3u);
    for (size_t block = 1; block < 3; ++block) {
        EXPECT_EQ(times[block].samplePos - times[block - 1].samplePos, kMax);
        EXPECT_NEAR(times[block].ppqPos - times[block - 1].ppqPos, kMax / 44100.0 * 120.0 / 60.0, 1e-9);
        EXPECT_EQ(times[block].flags, times[0].flags);
    }
}

TEST(ProcessCallback, SendsEachMidiPacketAsOneEventInOrderBeforeProcessing) {
    RenderInstance instance(2);
    instance.vst.events[0].midiData[3] = 0x11;
    aaxhost::MidiPacketRecord immediate{0, 3, {0x90, 60, 100, 0}, true};
    aaxhost::MidiPacketRecord shortPacket{5, 2, {0x80, 60, 0, 0}, false};
    instance.midiInput.Add(immediate);
    instance.midiInput.Add(shortPacket);
    instance.midiInput.Add(15, 0xB3, 7, 127);
    instance.midiInput.Incoming(2).data[3] = 0x55;

    RunBatch({instance.Context()});

    const auto& calls = instance.effect.calls;
    ASSERT_EQ(calls.size(), 4u);
    const int32_t expectedDelta[3] = {0, 5, 15};
    const uint8_t expectedBytes[3][3] = {{0x90, 60, 100}, {0x80, 60, 0}, {0xB3, 7, 127}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const RecordedCall& call = calls[static_cast<size_t>(i)];
        ASSERT_EQ(call.kind, Kind::Dispatcher);
        EXPECT_EQ(call.opcode, vst2::effProcessEvents);
        EXPECT_EQ(call.index, 0);
        EXPECT_EQ(call.value, 0);
        EXPECT_EQ(call.opt, 0.0f);
        EXPECT_EQ(call.numEvents, 1);
        EXPECT_EQ(call.eventsReserved, 0);
        const vst2::VstMidiEvent& event = call.events[0];
        EXPECT_EQ(event.type, vst2::kVstMidiType);
        EXPECT_EQ(event.byteSize, 24);
        EXPECT_EQ(event.deltaFrames, expectedDelta[i]);
        for (int b = 0; b < 3; ++b) EXPECT_EQ(static_cast<uint8_t>(event.midiData[b]), expectedBytes[i][b]);
        EXPECT_EQ(event.midiData[3], 0x11);  // never taken from the packet
    }
    EXPECT_EQ(calls[3].kind, Kind::ProcessReplacing);
    // The instance's first event entry is the one reused; the others stay as formatted.
    EXPECT_EQ(instance.vst.events[0].deltaFrames, 15);
    EXPECT_EQ(instance.vst.events[1].deltaFrames, 0);
    EXPECT_EQ(instance.vst.events[1].midiData[0], 0);

    // A block without packets, or a node without a stream, sends no events.
    instance.effect.ClearRecords();
    instance.midiInput.ClearIncoming();
    RunBatch({instance.Context()});
    instance.midiInput.SetStreamMissing(true);
    instance.context.fields[kField_TransportNode] = nullptr;
    RunBatch({instance.Context()});
    EXPECT_EQ(instance.effect.CountOpcode(vst2::effProcessEvents), 0u);
    EXPECT_EQ(instance.effect.CountKind(Kind::ProcessReplacing), 2u);
}

TEST(ProcessCallback, MakesNoEffectCallWhenTheInstanceIsClosedOrAbsent) {
    RenderInstance closed(2), noInterface(2), noField(2);
    closed.vst.isOpen = 0;
    noInterface.vstPointer = nullptr;
    noField.context.fields[kField_VstInterface] = nullptr;
    for (RenderInstance* instance : {&closed, &noInterface, &noField}) {
        instance->midiInput.Add(1, 0x90, 64, 90);
        instance->transport.playing = true;
    }

    RunBatch({closed.Context(), noInterface.Context(), noField.Context()});

    for (RenderInstance* instance : {&closed, &noInterface, &noField}) {
        EXPECT_TRUE(instance->effect.calls.empty());
        EXPECT_THAT(instance->outputData[1], Each(0.0f));
    }
    EXPECT_EQ(noInterface.midiInput.bufferRequests, 0);
    // A closed instance still keeps its snapshot current; only the calls are skipped.
    EXPECT_EQ(closed.callBack.positionValid, 1);
    closed.vst.isOpen = 1;

    // Missing host buffers or frame count: MIDI still goes out, but no audio call is made.
    RenderInstance noBuffers(2);
    noBuffers.midiInput.Add(0, 0x90, 60, 1);
    noBuffers.context.fields[kField_BufferLength] = nullptr;
    RunBatch({noBuffers.Context()});
    noBuffers.context.fields[kField_BufferLength] = &noBuffers.frames;
    noBuffers.context.fields[kField_AudioOut] = nullptr;
    RunBatch({noBuffers.Context()});
    EXPECT_EQ(noBuffers.effect.CountOpcode(vst2::effProcessEvents), 2u);
    EXPECT_EQ(noBuffers.processCalls, 0);
}

TEST(ProcessCallback, TransportStartLatchesAnOriginThatLaterBlocksAdvanceFrom) {
    RenderInstance instance(2);
    instance.AskForTimeWhileProcessing();
    instance.transport.tempo = 133.0;
    instance.transport.sampleLocation = 0x100000010LL;  // above 32 bits

    PlayBlock(instance, 3, 2);

    // In 4/4 the start block reads beat - 4 - 1.
    EXPECT_EQ(instance.callBack.isPlaying, 1);
    EXPECT_EQ(instance.callBack.ppqOffset, (3.0 + 1.0) * 4.0 + 1.0);
    EXPECT_EQ(instance.callBack.ppqPosition, 2.0 - 4.0 - 1.0);
    EXPECT_EQ(instance.callBack.samplePosition, 16);
    EXPECT_EQ(instance.callBack.positionValid, 1);
    EXPECT_EQ(instance.transport.lastBarBeatLocation, 0x100000010LL);
    // The effect's own time request inside processReplacing reads this block's snapshot.
    auto times = instance.TimesSeen();
    ASSERT_EQ(times.size(), 1u);
    const int32_t expectedFlags =
        vst2::kVstTempoValid | vst2::kVstTransportPlaying | vst2::kVstTimeSigValid | vst2::kVstPpqPosValid;
    EXPECT_EQ(times[0].flags, expectedFlags);
    EXPECT_EQ(times[0].ppqPos, -3.0);
    EXPECT_EQ(times[0].tempo, 133.0);
    EXPECT_EQ(times[0].samplePos, 16.0);
    EXPECT_EQ(times[0].timeSigNumerator, 4);
    EXPECT_EQ(instance.callBack.wasPlaying, 1);

    // Later blocks keep the origin; with 4/4 every result matches bars x 4 + beats + ticks.
    const struct { int32_t bar, beat; int64_t ticks; } later[] = {{3, 3, 480000}, {3, 4, 0}, {4, 1, 240000}, {9, 2, 1}};
    for (const auto& block : later) {
        PlayBlock(instance, block.bar, block.beat, block.ticks);
        EXPECT_EQ(instance.callBack.ppqOffset, 17.0);
        EXPECT_EQ(instance.callBack.ppqPosition, Position(block.bar, block.beat, block.ticks, 4, 17.0));
    }
    EXPECT_EQ(instance.TimesSeen()[1].ppqPos, -1.5);

    // Stopping (seen by a time request) and starting elsewhere latches a new origin.
    instance.transport.playing = false;
    RunBatch({instance.Context()});
    EXPECT_EQ(instance.callBack.wasPlaying, 0);
    PlayBlock(instance, 10, 1);
    EXPECT_EQ(instance.callBack.ppqOffset, 45.0);
    EXPECT_EQ(instance.callBack.ppqPosition, -4.0);
}

TEST(ProcessCallback, PositionCountsQuarterNotesAcrossBarLinesInEveryMeter) {
    // Started at bar 5 beat 1, the origin is 6 bars plus one beat of the meter. Worked by hand,
    // in the meter's beats and then in quarter notes (a beat over d is 4 / d of a quarter):
    //   6/8: origin 37; bar 5 beat 1 = 31 - 37 = -6 eighths = -3 quarters; bar 5 beat 6 = -1
    //        eighth = -0.5; bar 6 beat 1 and half a beat = 37.5 - 37 = 0.5 eighth = 0.25.
    const struct {
        int32_t numerator, denominator;
        double atStart, lastBeatOfBar, halfPastNextBar;
    } meters[] = {
        {4, 4, -4.0, -1.0, 0.5},  {3, 4, -3.0, -1.0, 0.5},   {6, 8, -3.0, -0.5, 0.25},
        {7, 8, -3.5, -0.5, 0.25}, {5, 4, -5.0, -1.0, 0.5},   {2, 2, -4.0, -2.0, 1.0},
    };
    for (const auto& meter : meters) {
        SCOPED_TRACE(testing::Message() << meter.numerator << "/" << meter.denominator);
        RenderInstance instance(1);
        instance.AskForTimeWhileProcessing();
        instance.transport.meterNumerator = meter.numerator;
        instance.transport.meterDenominator = meter.denominator;

        PlayBlock(instance, 5, 1);
        EXPECT_EQ(instance.callBack.ppqPosition, meter.atStart);
        // Beat by beat through the rest of bar 5 and into bar 7: one beat of the meter further
        // each time, across both bar lines.
        const double quartersPerBeat = 4.0 / meter.denominator;
        double previous = instance.callBack.ppqPosition;
        for (int32_t bar = 5; bar <= 7; ++bar) {
            for (int32_t beat = (bar == 5 ? 2 : 1); beat <= meter.numerator; ++beat) {
                PlayBlock(instance, bar, beat);
                EXPECT_EQ(instance.callBack.ppqPosition, previous + quartersPerBeat) << "bar " << bar << " beat " << beat;
                previous = instance.callBack.ppqPosition;
                if (bar == 5 && beat == meter.numerator) {
                    EXPECT_EQ(previous, meter.lastBeatOfBar);
                }
            }
        }
        PlayBlock(instance, 6, 1, 480000);
        EXPECT_EQ(instance.callBack.ppqPosition, meter.halfPastNextBar);
        EXPECT_EQ(instance.TimesSeen().back().ppqPos, meter.halfPastNextBar);
    }
}

TEST(ProcessCallback, WhileStoppedRefreshesTempoAndMeterButNotThePosition) {
    RenderInstance instance(2);
    instance.AskForTimeWhileProcessing();
    PlayBlock(instance, 2, 1);
    ASSERT_EQ(instance.callBack.positionValid, 1);
    const double position = instance.callBack.ppqPosition;

    instance.transport.playing = false;
    instance.transport.tempo = 97.5;
    instance.transport.meterNumerator = 7;
    instance.transport.meterDenominator = 8;
    const int32_t barBeatQueries = instance.transport.barBeatQueries;
    RunBatch({instance.Context()});

    EXPECT_EQ(instance.callBack.isPlaying, 0);
    EXPECT_EQ(instance.callBack.positionValid, 0);
    EXPECT_EQ(instance.callBack.ppqPosition, position);
    EXPECT_EQ(instance.transport.barBeatQueries, barBeatQueries);
    EXPECT_EQ(instance.callBack.tempoValid, 1);
    EXPECT_EQ(instance.callBack.tempo, 97.5);
    EXPECT_EQ(instance.callBack.timeSigValid, 1);
    EXPECT_EQ(instance.callBack.timeSigNumerator, 7);
    EXPECT_EQ(instance.callBack.timeSigDenominator, 8);
    const auto times = instance.TimesSeen();
    ASSERT_EQ(times.size(), 2u);
    EXPECT_EQ(times[1].flags, vst2::kVstTempoValid | vst2::kVstTimeSigValid);
}

TEST(ProcessCallback, AFailedQueryLeavesOnlyItsPartOfTheSnapshotInvalid) {
    {
        SCOPED_TRACE("sample location");
        RenderInstance instance(2);
        instance.callBack.tempoValid = instance.callBack.timeSigValid = instance.callBack.positionValid = 1;
        instance.transport.sampleLocationResult = AAX_ERROR_NULL_OBJECT;
        instance.transport.tempo = 90.0;
        PlayBlock(instance, 2, 1);
        EXPECT_EQ(instance.callBack.isPlaying, 1);
        EXPECT_EQ(instance.callBack.tempoValid, 0);
        EXPECT_EQ(instance.callBack.timeSigValid, 0);
        EXPECT_EQ(instance.callBack.positionValid, 0);
        EXPECT_EQ(instance.callBack.tempo, 120.0);
        EXPECT_EQ(instance.transport.barBeatQueries, 0);
        EXPECT_EQ(instance.processCalls, 1);  // audio runs regardless
    }
    {
        SCOPED_TRACE("tempo");
        RenderInstance instance(2);
        instance.transport.tempoResult = AAX_ERROR_UNIMPLEMENTED;
        instance.transport.tempo = 90.0;
        PlayBlock(instance, 2, 1);
        EXPECT_EQ(instance.callBack.tempoValid, 0);
        EXPECT_EQ(instance.callBack.tempo, 120.0);
        EXPECT_EQ(instance.callBack.timeSigValid, 1);
        EXPECT_EQ(instance.callBack.positionValid, 1);
    }
    {
        SCOPED_TRACE("playing");
        RenderInstance instance(2);
        instance.callBack.isPlaying = 1;
        instance.transport.playingResult = AAX_ERROR_NULL_OBJECT;
        PlayBlock(instance, 2, 1);
        EXPECT_EQ(instance.callBack.isPlaying, 0);
        EXPECT_EQ(instance.callBack.positionValid, 0);
        EXPECT_EQ(instance.callBack.tempoValid, 1);
    }
}

TEST(ProcessCallback, AFailedMeterQueryWhilePlayingCountsBarsWithTheLastKnownNumerator) {
    // Before the host ever reported a meter, bars count four beats.
    RenderInstance fresh(2);
    fresh.transport.meterResult = AAX_ERROR_NULL_OBJECT;
    PlayBlock(fresh, 2, 1);
    EXPECT_EQ(fresh.callBack.timeSigValid, 0);
    EXPECT_EQ(fresh.callBack.ppqOffset, 13.0);
    EXPECT_EQ(fresh.callBack.ppqPosition, 2.0 * 4 + 1 - 13.0);
    EXPECT_EQ(fresh.callBack.positionValid, 1);

    // After a 3/4 report, blocks whose meter query fails continue in 3/4.
    RenderInstance instance(2);
    instance.AskForTimeWhileProcessing();
    instance.transport.meterNumerator = 3;
    PlayBlock(instance, 2, 1);
    EXPECT_EQ(instance.callBack.ppqOffset, 10.0);
    EXPECT_EQ(instance.callBack.ppqPosition, -3.0);
    instance.transport.meterResult = AAX_ERROR_NULL_OBJECT;
    instance.transport.meterNumerator = 9;  // not to be read
    PlayBlock(instance, 2, 3);
    EXPECT_EQ(instance.callBack.timeSigValid, 0);
    EXPECT_EQ(instance.callBack.ppqPosition, -1.0);
    PlayBlock(instance, 3, 1);
    EXPECT_EQ(instance.callBack.ppqPosition, 0.0);
    EXPECT_EQ(instance.callBack.timeSigNumerator, 3);
}

TEST(ProcessCallback, WithoutATransportTheSnapshotStaysInvalidAndAudioStillRuns) {
    RenderInstance noNode(2), noTransport(2);
    noNode.context.fields[kField_TransportNode] = nullptr;
    noTransport.transportNode.SetTransport(nullptr);
    for (RenderInstance* instance : {&noNode, &noTransport}) {
        instance->callBack.tempoValid = instance->callBack.timeSigValid = instance->callBack.positionValid = 1;
        instance->transport.playing = true;
    }

    RunBatch({noNode.Context(), noTransport.Context()});

    for (RenderInstance* instance : {&noNode, &noTransport}) {
        EXPECT_EQ(instance->callBack.tempoValid, 0);
        EXPECT_EQ(instance->callBack.timeSigValid, 0);
        EXPECT_EQ(instance->callBack.positionValid, 0);
        EXPECT_EQ(instance->transport.playingQueries, 0);
        EXPECT_EQ(instance->processCalls, 1);
    }
    EXPECT_EQ(noTransport.transportNode.transportRequests, 1);
}

}  // namespace
