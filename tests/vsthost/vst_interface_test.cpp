#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/RecordingEffect.h"
#include "vsthost/VstInterface.h"

namespace {

bool IsAllZero(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

// Runs every operation of the instance once and returns the results that carry a fallback.
struct FallbackResults {
    intptr_t chunk, automatable, properties, index;
    float parameter;
    int32_t numParams, uniqueId;
};
FallbackResults ExerciseEveryOperation(VstInterface& vst) {
    char name[VstInterface::kParameterNameBufferSize];
    char id[32];
    void* chunk = nullptr;
    vst2::VstParameterProperties properties{};
    vst2::ERect rect{1, 2, 3, 4};
    vst2::VstEvents list{};
    float* channels[2] = {nullptr, nullptr};
    vst.Open();
    vst.GetParamName(0, name);
    vst.SetSampleRate(48000.0f);
    vst.MainsChanged(1);
    vst.EditGetRect();
    vst.EditOpen(&rect);
    vst.EditClose();
    vst.EditIdle();
    FallbackResults results{};
    results.chunk = vst.GetChunk(&chunk, -1);
    vst.SetChunk(4, &rect);
    vst.ProcessEvents(&list);
    results.automatable = vst.CanBeAutomated(0, -2);
    vst.SetBypass(true);
    results.properties = vst.GetParameterProperties(0, &properties, -3);
    vst.EditKeyDown(50, 26);
    vst.EditorRedraw(&rect);
    vst.GetParameterId(0, id, 32);
    results.index = vst.FindParameterIndex("Time", -4);
    vst.PreOpenNotice();
    vst.SetParameter(0, 0.5f);
    results.parameter = vst.GetParameter(0, 0.125f);
    vst.ProcessReplacing(channels, channels, 0);
    vst.OpenEditor(&rect);
    results.numParams = vst.NumParams(-5);
    results.uniqueId = vst.UniqueId(-6);
    return results;
}

void ExpectFallbacks(const FallbackResults& results) {
    EXPECT_EQ(results.chunk, -1);
    EXPECT_EQ(results.automatable, -2);
    EXPECT_EQ(results.properties, -3);
    EXPECT_EQ(results.index, -4);
    EXPECT_EQ(results.parameter, 0.125f);
    EXPECT_EQ(results.numParams, -5);
    EXPECT_EQ(results.uniqueId, -6);
}

}  // namespace

TEST(VstInterface, StartsOpenWithEveryEventPreformatted) {
    VstInterface vst;
    EXPECT_EQ(vst.isOpen, 1);
    EXPECT_EQ(vst.effect, nullptr);
    EXPECT_EQ(vst.callBack, nullptr);
    EXPECT_EQ(vst.editorRect, nullptr);
    ASSERT_NE(vst.events, nullptr);
    for (int i = 0; i < VstInterface::kEventCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(vst.events[i].type, 1);
        EXPECT_EQ(vst.events[i].byteSize, 24);
        EXPECT_TRUE(IsAllZero(reinterpret_cast<const uint8_t*>(&vst.events[i]) + 8, sizeof(vst2::VstMidiEvent) - 8));
    }
}

TEST(VstInterface, WithoutAnEffectEveryOperationReturnsItsFallback) {
    VstInterface vst;
    ExpectFallbacks(ExerciseEveryOperation(vst));
}

TEST(VstInterface, ClosedInstanceMakesNoCallAndReturnsFallbacks) {
    RecordingEffect effect;
    effect.SetNumParams(3);
    VstInterface vst;
    vst.effect = effect.effect();
    vst.isOpen = 0;

    ExpectFallbacks(ExerciseEveryOperation(vst));
    EXPECT_TRUE(effect.calls.empty());
}

TEST(VstInterface, EffectWithNullEntryPointsGetsNoCall) {
    vst2::AEffect bare{};
    bare.numParams = 2;
    bare.uniqueID = 77;
    VstInterface vst;
    vst.effect = &bare;

    const FallbackResults results = ExerciseEveryOperation(vst);
    EXPECT_EQ(results.chunk, -1);
    EXPECT_EQ(results.automatable, -2);
    EXPECT_EQ(results.index, -4);
    EXPECT_EQ(results.parameter, 0.125f);
    EXPECT_EQ(results.numParams, 2);
    EXPECT_EQ(results.uniqueId, 77);
}

TEST(VstInterface, EachDispatcherRowSendsItsOpcodeAndArguments) {
    RecordingEffect effect;
    effect.SetParameterId(5, "Time");
    const std::vector<uint8_t> stored = {9, 8, 7};
    effect.SetChunk(stored);
    effect.SetAnswer(vst2::effCanBeAutomated, 1);
    VstInterface vst;
    vst.effect = effect.effect();

    char name[VstInterface::kParameterNameBufferSize];
    char id[32];
    void* chunkData = nullptr;
    uint8_t chunk[3] = {1, 2, 3};
    vst2::VstParameterProperties properties{};
    vst2::ERect rect{10, 20, 61, 120};
    vst2::VstEvents list{};
    int window = 0;

    vst.Open();
    vst.GetParamName(3, name);
    vst.SetSampleRate(48000.0f);
    vst.MainsChanged(1);
    vst.EditGetRect();
    vst.EditOpen(&window);
    vst.EditClose();
    vst.EditIdle();
    EXPECT_EQ(vst.GetChunk(&chunkData, -1), 3);
    EXPECT_NE(chunkData, nullptr);
    vst.SetChunk(3, chunk);
    vst.ProcessEvents(&list);
    EXPECT_EQ(vst.CanBeAutomated(2, 0), 1);
    vst.SetBypass(true);
    vst.SetBypass(false);
    vst.GetParameterProperties(4, &properties, 0);
    vst.EditKeyDown(50, 26);
    vst.EditorRedraw(&rect);
    vst.EditorRedraw(nullptr);
    vst.GetParameterId(5, id, 32);
    EXPECT_EQ(vst.FindParameterIndex("Time", -9), 5);
    EXPECT_EQ(vst.FindParameterIndex("Other", -9), -1);
    vst.PreOpenNotice();

    struct Expected {
        int32_t opcode;
        int32_t index;
        intptr_t value;
        void* ptr;
        float opt;
    };
    const std::vector<Expected> expected = {
        {0, 0, 0, nullptr, 0.0f},
        {8, 3, 0, name, 0.0f},
        {10, 0, 0, nullptr, 48000.0f},
        {12, 0, 1, nullptr, 0.0f},
        {13, 0, 0, &vst.editorRect, 0.0f},
        {14, 0, 0, &window, 0.0f},
        {15, 0, 0, nullptr, 0.0f},
        {19, 0, 0, nullptr, 0.0f},
        {23, 0, 0, &chunkData, 0.0f},
        {24, 0, 3, chunk, 0.0f},
        {25, 0, 0, &list, 0.0f},
        {26, 2, 0, nullptr, 0.0f},
        {44, 0, 1, nullptr, 0.0f},
        {44, 0, 0, nullptr, 0.0f},
        {56, 4, 0, &properties, 0.0f},
        {59, 50, 26, nullptr, 0.0f},
        {-1, 0, 0, &rect, 0.0f},
        {-1, 0, 0, nullptr, 0.0f},
        {-14, 5, 32, id, 0.0f},
        {-15, 0, 0, nullptr, 0.0f},  // ptr checked through the copied text
        {-15, 0, 0, nullptr, 0.0f},
        {-16, 0, 0, nullptr, 1.0f},
    };
    ASSERT_EQ(effect.calls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        const RecordedCall& call = effect.calls[i];
        EXPECT_EQ(call.kind, RecordedCall::Kind::Dispatcher);
        EXPECT_EQ(call.opcode, expected[i].opcode);
        EXPECT_EQ(call.index, expected[i].index);
        EXPECT_EQ(call.value, expected[i].value);
        if (call.opcode != -15) {
            EXPECT_EQ(call.ptr, expected[i].ptr);
        }
        EXPECT_EQ(call.opt, expected[i].opt);
    }
    EXPECT_EQ(effect.calls[19].text, "Time");
    EXPECT_EQ(effect.calls[20].text, "Other");
    EXPECT_EQ(effect.calls[9].bytes, std::vector<uint8_t>({1, 2, 3}));
    EXPECT_EQ(effect.calls[16].rect.bottom, 61);
    EXPECT_STREQ(id, "Time");
}

TEST(VstInterface, ChunkAndPropertiesComeBackFromTheEffect) {
    RecordingEffect effect;
    const std::vector<uint8_t> stored = {9, 8, 7, 6};
    effect.SetChunk(stored);
    vst2::VstParameterProperties reported{};
    reported.flags = vst2::kVstParameterIsSwitch;
    reported.stepInteger = 2;
    std::strcpy(reported.label, "Freeze");
    effect.SetParameterProperties(1, reported);
    VstInterface vst;
    vst.effect = effect.effect();

    void* data = nullptr;
    ASSERT_EQ(vst.GetChunk(&data, -1), 4);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::memcmp(data, stored.data(), stored.size()), 0);

    vst2::VstParameterProperties properties{};
    EXPECT_EQ(vst.GetParameterProperties(1, &properties, -1), 1);
    EXPECT_STREQ(properties.label, "Freeze");
    EXPECT_EQ(properties.stepInteger, 2);
    EXPECT_EQ(vst.GetParameterProperties(0, &properties, -1), 0);
}

TEST(VstInterface, IdentifierAndNameBuffersAreClearedBeforeTheEffectWrites) {
    RecordingEffect effect;  // knows no identifier and no name
    VstInterface vst;
    vst.effect = effect.effect();

    char id[40];
    std::memset(id, 'x', sizeof id);
    vst.GetParameterId(0, id, 32);
    EXPECT_TRUE(IsAllZero(id, 32));
    EXPECT_EQ(id[32], 'x');  // nothing beyond the stated capacity is touched

    std::memset(id, 'x', sizeof id);
    vst.GetParameterId(0, id, 0);  // 0 stands for the effect's default capacity of 32
    EXPECT_TRUE(IsAllZero(id, 32));
    EXPECT_EQ(id[32], 'x');

    char name[VstInterface::kParameterNameBufferSize];
    std::memset(name, 'x', sizeof name);
    vst.GetParamName(0, name);
    EXPECT_STREQ(name, "");

    effect.SetParameterName(0, "Feedback");
    vst.GetParamName(0, name);
    EXPECT_STREQ(name, "Feedback");

    const size_t before = effect.calls.size();
    vst.GetParameterId(0, nullptr, 32);
    vst.GetParamName(0, nullptr);
    EXPECT_EQ(vst.FindParameterIndex(nullptr, -7), -7);
    EXPECT_EQ(effect.calls.size(), before);
}

TEST(VstInterface, OpenEditorAsksForTheRectangleThenOpensInTheParent) {
    RecordingEffect effect;
    effect.SetEditorRect({0, 0, 300, 500});
    VstInterface vst;
    vst.effect = effect.effect();
    int parent = 0;

    vst.OpenEditor(&parent);

    EXPECT_EQ(effect.Opcodes(), (std::vector<int32_t>{vst2::effEditGetRect, vst2::effEditOpen}));
    EXPECT_EQ(effect.calls[1].ptr, &parent);
    ASSERT_NE(vst.editorRect, nullptr);
    EXPECT_EQ(vst.editorRect->bottom, 300);
    EXPECT_EQ(vst.editorRect->right, 500);
}

TEST(VstInterface, ParametersAndAudioReachTheEffect) {
    RecordingEffect effect;
    effect.SetNumParams(4);
    effect.SetUniqueId(0x56446C79);
    effect.SetParameterValue(2, 0.25f);
    effect.SetProcessGain(0.5f);
    VstInterface vst;
    vst.effect = effect.effect();

    EXPECT_EQ(vst.NumParams(0), 4);
    EXPECT_EQ(vst.UniqueId(0), 0x56446C79);
    EXPECT_EQ(vst.GetParameter(2, -1.0f), 0.25f);
    vst.SetParameter(1, 0.75f);
    EXPECT_EQ(effect.ParameterValue(1), 0.75f);

    float left[3] = {1, 2, 3};
    float outLeft[3] = {};
    float* inputs[2] = {left, nullptr};
    float* outputs[2] = {outLeft, nullptr};
    vst.ProcessReplacing(inputs, outputs, 3);
    EXPECT_EQ(outLeft[2], 1.5f);

    ASSERT_EQ(effect.calls.size(), 3u);
    EXPECT_EQ(effect.calls[0].kind, RecordedCall::Kind::GetParameter);
    EXPECT_EQ(effect.calls[1].kind, RecordedCall::Kind::SetParameter);
    EXPECT_EQ(effect.calls[1].index, 1);
    EXPECT_EQ(effect.calls[1].opt, 0.75f);
    EXPECT_EQ(effect.calls[2].kind, RecordedCall::Kind::ProcessReplacing);
    EXPECT_EQ(effect.calls[2].inputs, inputs);
    EXPECT_EQ(effect.calls[2].outputs, outputs);
    EXPECT_EQ(effect.calls[2].frames, 3);
}

namespace {

// Observes the instance's gate from inside the effect's dispatcher.
VstInterface* observed = nullptr;
std::vector<std::pair<int32_t, int32_t>> closeObservations;  // (opcode, isOpen at the call)

intptr_t ObservingDispatcher(vst2::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    closeObservations.push_back({opcode, observed != nullptr ? observed->isOpen : -1});
    return 0;
}

}  // namespace

TEST(VstInterface, DestructionClosesTheEffectAfterShuttingTheGate) {
    vst2::AEffect effect{};
    effect.dispatcher = &ObservingDispatcher;
    closeObservations.clear();
    {
        VstInterface vst;
        observed = &vst;
        vst.effect = &effect;
    }
    observed = nullptr;
    ASSERT_EQ(closeObservations.size(), 1u);
    EXPECT_EQ(closeObservations[0].first, vst2::effClose);
    EXPECT_EQ(closeObservations[0].second, 0);

    closeObservations.clear();
    { VstInterface withoutEffect; }
    EXPECT_TRUE(closeObservations.empty());
}

TEST(VstInterface, UngatedDispatchReachesTheEffectEvenWhenClosed) {
    RecordingEffect effect;
    effect.SetAnswer(vst2::effGetChunk, 42);
    EXPECT_EQ(VstInterface::DispatchUngated(effect.effect(), vst2::effGetChunk, 0, 0, nullptr, 0.0f), 42);
    EXPECT_EQ(VstInterface::DispatchUngated(nullptr, vst2::effGetChunk, 0, 0, nullptr, 0.0f), 0);
    vst2::AEffect bare{};
    EXPECT_EQ(VstInterface::DispatchUngated(&bare, vst2::effGetChunk, 0, 0, nullptr, 0.0f), 0);
}
