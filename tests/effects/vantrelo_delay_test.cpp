// VantreloDelay, driven only through the VST 2 interface of the built library.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "allocation_counter.h"
#include "effect_harness.h"

using effects_test::ApplyImpulseSettings;
using effects_test::EffectInstance;
using effects_test::FakeHost;
using effects_test::Impulse;
using effects_test::Stereo;

namespace {

enum : int32_t { kTime, kFeedback, kMix, kSync, kDivision, kPingPong, kTone, kOutput, kUiScale };
constexpr float kRepeatGain = 0.95f * 0.5f;

// Every sample except those listed is silent (to float precision).
void ExpectOnlyEchoes(const std::vector<float>& signal, const std::vector<std::pair<size_t, float>>& echoes) {
    size_t next = 0;
    for (size_t i = 0; i < signal.size(); ++i) {
        if (next < echoes.size() && echoes[next].first == i) {
            EXPECT_FLOAT_EQ(signal[i], echoes[next].second) << "echo at " << i;
            ++next;
        } else {
            ASSERT_NEAR(signal[i], 0.0f, 1e-7f) << "unexpected output at " << i;
        }
    }
    EXPECT_EQ(next, echoes.size());
}

std::string ParameterId(EffectInstance& effect, int32_t index, intptr_t capacity = 0) {
    char buffer[256];
    std::memset(buffer, 'x', sizeof buffer);
    buffer[255] = '\0';
    effect.Dispatch(vst2::effPrivateGetParameterId, index, capacity, buffer);
    return buffer;
}

std::vector<uint8_t> Chunk(EffectInstance& effect) {
    void* data = nullptr;
    const intptr_t size = effect.Dispatch(vst2::effGetChunk, 0, 0, &data);
    if (size <= 0 || data == nullptr) return {};
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

std::vector<float> AllValues(EffectInstance& effect) {
    std::vector<float> values;
    for (int32_t i = 0; i < 9; ++i) values.push_back(effect.Value(i));
    return values;
}

intptr_t KeyDown(EffectInstance& effect, char character, intptr_t virtualKey = 0, float modifiers = 0.0f) {
    return effect.Dispatch(vst2::effEditKeyDown, character, virtualKey, nullptr, modifiers);
}

}  // namespace

TEST(VantreloDelay, ExportsBothEntryPointsAndDescribesItself) {
    ASSERT_NE(effects_test::EffectEntryPoint("main"), nullptr);
    ASSERT_NE(effects_test::EffectEntryPoint("VSTPluginMain"), nullptr);
    vst2::AEffect* viaNewName = effects_test::EffectEntryPoint("VSTPluginMain")(nullptr);
    ASSERT_NE(viaNewName, nullptr);
    EXPECT_EQ(viaNewName->uniqueID, 0x5674446C);
    viaNewName->dispatcher(viaNewName, vst2::effClose, 0, 0, nullptr, 0.0f);

    EffectInstance effect;
    vst2::AEffect* record = effect.Get();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->magic, 0x56737450);
    EXPECT_EQ(record->numInputs, 2);
    EXPECT_EQ(record->numOutputs, 2);
    EXPECT_EQ(record->numParams, 9);
    EXPECT_EQ(record->numPrograms, 1);
    EXPECT_EQ(record->flags, vst2::effFlagsCanReplacing | vst2::effFlagsProgramChunks | vst2::effFlagsHasEditor);
    EXPECT_NE(record->processReplacing, nullptr);
    EXPECT_NE(record->process, nullptr);
    EXPECT_EQ(effect.Dispatch(vst2::effGetVstVersion), 2400);

    char text[128] = {};
    effect.Dispatch(vst2::effGetEffectName, 0, 0, text);
    EXPECT_STREQ(text, "VantreloDelay");
    effect.Dispatch(vst2::effGetVendorString, 0, 0, text);
    EXPECT_STREQ(text, "Brenlock");
    EXPECT_EQ(effect.Dispatch(vst2::effCanDo, 0, 0, const_cast<char*>("bypass")), 1);
    EXPECT_EQ(effect.Dispatch(vst2::effCanDo, 0, 0, const_cast<char*>("sendVstEvents")), 0);
}

TEST(VantreloDelay, ParameterTableAnswersNamesPropertiesAndDefaults) {
    struct Expected {
        const char* id;
        const char* label;
        const char* shortLabel;
        int32_t steps;  // 0: continuous
        float defaultValue;
    };
    const Expected table[9] = {
        {"time", "Time", "Tm", 0, 0.25f},           {"feedback", "Feedback", "Fb", 0, 0.4f},
        {"mix", "Mix", "Mx", 0, 0.35f},             {"sync", "Tempo Sync", "Sync", 2, 0.0f},
        {"division", "Division", "Div", 5, 0.75f},  {"pingpong", "Ping-Pong", "PP", 2, 0.0f},
        {"tone", "Tone", "Tn", 0, 0.8f},            {"output", "Output", "", 0, 0.5f},
        {"uiscale", "Editor Scale", "Scl", 3, 0.0f},
    };
    EffectInstance effect;
    for (int32_t i = 0; i < 9; ++i) {
        SCOPED_TRACE(table[i].id);
        EXPECT_EQ(ParameterId(effect, i), table[i].id);
        EXPECT_FLOAT_EQ(effect.Value(i), table[i].defaultValue);
        EXPECT_EQ(effect.Dispatch(vst2::effCanBeAutomated, i), i == kUiScale ? 0 : 1);

        char name[128];
        std::memset(name, 0x5A, sizeof name);
        effect.Dispatch(vst2::effGetParamName, i, 0, name);
        EXPECT_STREQ(name, table[i].label);
        // At most 32 bytes are written, whatever the host's buffer holds.
        for (size_t b = 32; b < sizeof name; ++b) ASSERT_EQ(name[b], 0x5A);

        vst2::VstParameterProperties properties{};
        const intptr_t reported = effect.Dispatch(vst2::effGetParameterProperties, i, 0, &properties);
        if (i == kOutput) {
            EXPECT_EQ(reported, 0);
            continue;
        }
        ASSERT_EQ(reported, 1);
        EXPECT_STREQ(properties.label, table[i].label);
        EXPECT_STREQ(properties.shortLabel, table[i].shortLabel);
        EXPECT_EQ((properties.flags & vst2::kVstParameterIsSwitch) != 0, table[i].steps != 0);
        if (table[i].steps != 0) {
            EXPECT_EQ(properties.stepInteger, table[i].steps);
            EXPECT_EQ(properties.minInteger, 0);
            EXPECT_EQ(properties.maxInteger, table[i].steps - 1);
        }
    }
    EXPECT_EQ(effect.Dispatch(vst2::effCanBeAutomated, 9), 0);
    EXPECT_EQ(effect.Dispatch(vst2::effGetParameterProperties, -1, 0, nullptr), 0);
}

TEST(VantreloDelay, IdentifierRequestsHonourCapacityAndMatchExactly) {
    EffectInstance effect;
    EXPECT_EQ(ParameterId(effect, kFeedback, 0), "feedback");  // 0 means 32
    EXPECT_EQ(ParameterId(effect, kFeedback, 4), "fee");
    EXPECT_EQ(ParameterId(effect, kFeedback, 1), "");
    EXPECT_EQ(ParameterId(effect, 42), "");  // unknown index: empty, never stale

    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    effect.Dispatch(vst2::effPrivateGetParameterId, kMix, 3, buffer);
    EXPECT_EQ(std::string(buffer, 3), std::string("mi\0", 3));
    EXPECT_EQ(buffer[3], 'x');
    std::memset(buffer, 'x', sizeof buffer);
    effect.Dispatch(vst2::effPrivateGetParameterId, kMix, -5, buffer);
    EXPECT_EQ(buffer[0], 'x');

    for (int32_t i = 0; i < 9; ++i) {
        std::string id = ParameterId(effect, i);
        EXPECT_EQ(effect.Dispatch(vst2::effPrivateFindParameterIndex, 0, 0, id.data()), i);
    }
    for (const char* unknown : {"Mix", "mi", "mixx", "", " mix"}) {
        EXPECT_EQ(effect.Dispatch(vst2::effPrivateFindParameterIndex, 0, 0, const_cast<char*>(unknown)), -1) << unknown;
    }
    EXPECT_EQ(effect.Dispatch(vst2::effPrivateFindParameterIndex, 0, 0, nullptr), -1);
    EXPECT_NE(effect.Dispatch(vst2::effPrivatePreOpenNotice, 0, 0, nullptr, 1.0f), 0);
    EXPECT_NE(effect.Dispatch(vst2::effPrivateEditorRedraw, 0, 0, nullptr), 0);
}

TEST(VantreloDelay, ImpulseGivesEchoesAtHalfSecondsWithRepeatGain) {
    FakeHost host;
    EffectInstance effect(&host);
    ApplyImpulseSettings(effect);
    effect.Start(48000.0f);
    const Stereo out = effect.Render(Impulse(80000), 512);
    const std::vector<std::pair<size_t, float>> echoes = {
        {24000, 1.0f}, {48000, kRepeatGain}, {72000, kRepeatGain * kRepeatGain}};
    ExpectOnlyEchoes(out.left, echoes);
    ExpectOnlyEchoes(out.right, echoes);
    EXPECT_GT(host.timeRequests, 0);  // asks every block; no tempo given means 120 BPM
}

TEST(VantreloDelay, SettingsChosenBeforeTheFirstBlockApplyAtOnceAndLaterTimeChangesGlide) {
    EffectInstance effect;
    ApplyImpulseSettings(effect);
    // 100 samples: the echo arrives well within a glide or crossfade, so it is exact only if
    // the first block starts at the chosen settings instead of gliding from the defaults.
    effect.Set(kTime, 100.0f / 96000.0f);
    effect.Set(kFeedback, 0.0f);
    effect.Start(48000.0f);
    ExpectOnlyEchoes(effect.Render(Impulse(20000), 480).left, {{100, 1.0f}});

    // A slow ramp through the delay: a jump of the delay time mid-stream must not make the wet
    // signal jump (a hard switch of the tap would step by 0.38 x the mix).
    effect.Set(kMix, 0.5f);
    const size_t half = 48000;
    Stereo ramp{std::vector<float>(2 * half), std::vector<float>(2 * half)};
    for (size_t i = 0; i < ramp.left.size(); ++i) ramp.left[i] = ramp.right[i] = -0.5f + i / (2.0f * half);
    const Stereo firstHalf{{ramp.left.begin(), ramp.left.begin() + half}, {ramp.right.begin(), ramp.right.begin() + half}};
    const Stereo secondHalf{{ramp.left.begin() + half, ramp.left.end()}, {ramp.right.begin() + half, ramp.right.end()}};
    std::vector<float> out = effect.Render(firstHalf, 256).left;
    effect.Set(kTime, 0.4f);
    const std::vector<float> rest = effect.Render(secondHalf, 256).left;
    out.insert(out.end(), rest.begin(), rest.end());
    float largestStep = 0.0f;
    for (size_t i = half / 2; i < out.size(); ++i) largestStep = std::max(largestStep, std::fabs(out[i] - out[i - 1]));
    // The ramp itself moves by 1e-5 per sample.
    EXPECT_LT(largestStep, 0.01f);
}

TEST(VantreloDelay, TempoSyncUsesTheHostTempoOnlyWhenMarkedValid) {
    struct Case {
        bool answer;
        double tempo;
        int32_t flags;
        float division;
        size_t echo;
    };
    const Case cases[] = {
        {true, 120.0, vst2::kVstTempoValid, 0.75f, 24000},                              // one quarter
        {true, 60.0, vst2::kVstTempoValid | vst2::kVstTransportPlaying, 0.75f, 48000},  // slower tempo
        {true, 60.0, vst2::kVstTransportPlaying, 0.75f, 24000},                         // tempo not valid
        {false, 0.0, 0, 0.75f, 24000},                                                  // no time info
        {true, 120.0, vst2::kVstTempoValid, 0.25f, 12000},                              // half a quarter
        {true, 120.0, vst2::kVstTempoValid, 0.0f, 6000},                                // a quarter of one
        {true, 30.0, vst2::kVstTempoValid, 1.0f, 96000},                                // longer than 2 s: capped
        {true, 999.0, vst2::kVstTempoValid, 0.0f, 721},  // within the first block's would-be glide
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "tempo " << c.tempo << " flags " << c.flags << " division " << c.division);
        FakeHost host;
        host.answerTime = c.answer;
        host.time.tempo = c.tempo;
        host.time.flags = c.flags;
        EffectInstance effect(&host);
        ApplyImpulseSettings(effect);
        effect.Set(kFeedback, 0.0f);
        effect.Set(kSync, 1.0f);
        effect.Set(kDivision, c.division);
        effect.Start(48000.0f);
        ExpectOnlyEchoes(effect.Render(Impulse(100000), 1024).left, {{c.echo, 1.0f}});
    }
}

TEST(VantreloDelay, BypassPassesInputBitForBitAndDropsTheTail) {
    EffectInstance effect;
    ApplyImpulseSettings(effect);
    effect.Start(48000.0f);
    effect.Render(Impulse(1000));  // an echo is now pending at 24000

    EXPECT_EQ(effect.Dispatch(vst2::effSetBypass, 0, 1), 1);
    Stereo input{std::vector<float>(4096), std::vector<float>(4096)};
    uint32_t seed = 12345;
    for (size_t i = 0; i < input.left.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        const uint32_t bits = seed & 0x807FFFFFu;  // includes subnormals, both signs
        std::memcpy(&input.left[i], &bits, 4);
        input.right[i] = static_cast<float>(seed >> 8) * 1e-7f - 0.5f;
    }
    const Stereo out = effect.Render(input, 333);
    EXPECT_EQ(std::memcmp(out.left.data(), input.left.data(), input.left.size() * 4), 0);
    EXPECT_EQ(std::memcmp(out.right.data(), input.right.data(), input.right.size() * 4), 0);

    // In place, as hosts often process.
    Stereo inPlace = input;
    float* channels[2] = {inPlace.left.data(), inPlace.right.data()};
    effect.Get()->processReplacing(effect.Get(), channels, channels, 4096);
    EXPECT_EQ(std::memcmp(inPlace.left.data(), input.left.data(), input.left.size() * 4), 0);

    // Resuming starts from silence: neither the impulse nor the bypassed audio echoes.
    EXPECT_EQ(effect.Dispatch(vst2::effSetBypass, 0, 0), 1);
    ExpectOnlyEchoes(effect.Render(Impulse(60000, 0.0f)).left, {});
    ExpectOnlyEchoes(effect.Render(Impulse(30000)).left, {{24000, 1.0f}});
}

TEST(VantreloDelay, AllNotesOffCutsTheTailFromItsFrameOnAndOtherEventsDoNothing) {
    // The impulse's first echo falls at 24000, i.e. frame 1000 of a block starting at 23000.
    struct Case {
        uint8_t status;
        uint8_t data1;
        int32_t delta;
        bool firstEchoHeard;
        bool laterEchoesHeard;
    };
    const Case cases[] = {
        {0xB0, 123, 500, false, false},  // before the echo
        {0xB7, 123, 999, false, false},  // any channel; the last frame before the echo
        {0xB0, 123, 1001, true, false},  // after the echo: it is heard, the repeats are not
        {0xB0, 121, 0, true, true},      // another controller
        {0x90, 123, 0, true, true},      // a note-on with the same data byte
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int(c.status) << " " << std::dec << int(c.data1) << " at "
                                        << c.delta);
        EffectInstance effect;
        ApplyImpulseSettings(effect);
        effect.Start(48000.0f);
        std::vector<float> out = effect.Render(Impulse(23000), 1000).left;
        effect.SendMidi(c.status, c.data1, 0, c.delta);
        const std::vector<float> rest = effect.Render(Impulse(57000, 0.0f), 2000).left;
        out.insert(out.end(), rest.begin(), rest.end());
        std::vector<std::pair<size_t, float>> echoes;
        if (c.firstEchoHeard) echoes.push_back({24000, 1.0f});
        if (c.laterEchoesHeard) {
            echoes.push_back({48000, kRepeatGain});
            echoes.push_back({72000, kRepeatGain * kRepeatGain});
        }
        ExpectOnlyEchoes(out, echoes);
    }
}

TEST(VantreloDelay, AllNotesOffDeliveredFromInsideTheTimeRequestAppliesToThatBlock) {
    FakeHost host;
    EffectInstance effect(&host);
    ApplyImpulseSettings(effect);
    effect.Start(48000.0f);
    std::vector<float> out = effect.Render(Impulse(23000), 1000).left;
    host.allNotesOffInNextTimeRequest = true;  // a transport stop, reported with the time
    const std::vector<float> rest = effect.Render(Impulse(30000, 0.0f), 2000).left;
    out.insert(out.end(), rest.begin(), rest.end());
    ExpectOnlyEchoes(out, {});
}

TEST(VantreloDelay, StateChunkRoundTripsExactlyAndReportsTheChange) {
    FakeHost sourceHost;
    EffectInstance source(&sourceHost);
    const float values[9] = {0.123456789f, 1.0f / 3.0f, 0.0f, 1.0f, 0.5f, 1.0f, 0.999999f, 1e-30f, 0.5f};
    for (int32_t i = 0; i < 9; ++i) source.Set(i, values[i]);
    const std::vector<uint8_t> chunk = Chunk(source);
    ASSERT_GT(chunk.size(), 12u);
    EXPECT_EQ(std::string(chunk.begin(), chunk.begin() + 4), "VtDs");

    FakeHost targetHost;
    EffectInstance target(&targetHost);
    std::vector<uint8_t> copy = chunk;
    EXPECT_EQ(target.Dispatch(vst2::effSetChunk, 0, static_cast<intptr_t>(copy.size()), copy.data()), 1);
    for (int32_t i = 0; i < 9; ++i) {
        const float restored = target.Value(i);
        EXPECT_EQ(std::memcmp(&restored, &values[i], 4), 0) << "parameter " << i;
    }
    EXPECT_EQ(Chunk(target), chunk);
    EXPECT_EQ(targetHost.Calls(vst2::audioMasterUpdateDisplay).size(), 1u);
}

TEST(VantreloDelay, StateChunkClampsValuesAndSkipsUnknownIdentifiers) {
    auto entry = [](std::vector<uint8_t>& out, const std::string& id, float value) {
        out.push_back(static_cast<uint8_t>(id.size()));
        out.insert(out.end(), id.begin(), id.end());
        uint8_t bytes[4];
        std::memcpy(bytes, &value, 4);
        out.insert(out.end(), bytes, bytes + 4);
    };
    std::vector<uint8_t> chunk = {'V', 't', 'D', 's', 1, 0, 0, 0, 4, 0, 0, 0};
    entry(chunk, "mix", 1.5f);
    entry(chunk, "sparkle", 0.3f);
    entry(chunk, "feedback", -2.0f);
    entry(chunk, "Tone", 0.1f);  // identifiers are case-sensitive
    EffectInstance effect;
    ASSERT_EQ(effect.Dispatch(vst2::effSetChunk, 0, static_cast<intptr_t>(chunk.size()), chunk.data()), 1);
    EXPECT_EQ(effect.Value(kMix), 1.0f);
    EXPECT_EQ(effect.Value(kFeedback), 0.0f);
    EXPECT_FLOAT_EQ(effect.Value(kTone), 0.8f);
    EXPECT_FLOAT_EQ(effect.Value(kTime), 0.25f);
}

TEST(VantreloDelay, MalformedStateChunksChangeNothing) {
    FakeHost host;
    EffectInstance effect(&host);
    EffectInstance other;
    for (int32_t i = 0; i < 9; ++i) other.Set(i, 0.9f);
    const std::vector<uint8_t> good = Chunk(other);
    ASSERT_FALSE(good.empty());
    const std::vector<float> before = AllValues(effect);

    auto expectRejected = [&](const void* data, intptr_t size, const char* what) {
        EXPECT_EQ(effect.Dispatch(vst2::effSetChunk, 0, size, const_cast<void*>(data)), 0) << what;
        EXPECT_EQ(AllValues(effect), before) << what;
    };
    for (size_t length = 0; length < good.size(); ++length) {
        std::vector<uint8_t> truncated(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
        truncated.push_back(0xEE);  // readable memory past the stated size that must not be used
        expectRejected(truncated.data(), static_cast<intptr_t>(length), "truncated");
    }
    std::vector<uint8_t> badMagic = good;
    badMagic[0] = 'X';
    expectRejected(badMagic.data(), static_cast<intptr_t>(badMagic.size()), "bad magic");
    std::vector<uint8_t> futureVersion = good;
    futureVersion[4] = 2;
    expectRejected(futureVersion.data(), static_cast<intptr_t>(futureVersion.size()), "unknown version");
    std::vector<uint8_t> trailing = good;
    trailing.push_back(0);
    expectRejected(trailing.data(), static_cast<intptr_t>(trailing.size()), "trailing byte");
    std::vector<uint8_t> hugeCount = good;
    hugeCount[11] = 0x7F;
    expectRejected(hugeCount.data(), static_cast<intptr_t>(hugeCount.size()), "count past the end");
    std::vector<uint8_t> notANumber = good;
    const uint32_t nanBits = 0x7FC00000u;
    std::memcpy(notANumber.data() + notANumber.size() - 4, &nanBits, 4);
    expectRejected(notANumber.data(), static_cast<intptr_t>(notANumber.size()), "NaN value");
    expectRejected(good.data(), -1, "negative size");
    expectRejected(good.data(), static_cast<intptr_t>(1) << 40, "huge size");
    expectRejected(nullptr, static_cast<intptr_t>(good.size()), "null data");
    EXPECT_TRUE(host.Calls(vst2::audioMasterUpdateDisplay).empty());
}

TEST(VantreloDelay, EditorKeysEditTheFocusedParameterAndReportGestures) {
    FakeHost host;
    host.echoAutomation = true;
    EffectInstance effect(&host);
    vst2::ERect* rect = nullptr;
    ASSERT_EQ(effect.Dispatch(vst2::effEditGetRect, 0, 0, &rect), 1);  // known before opening
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 500);
    EXPECT_EQ(rect->bottom - rect->top, 300);

    EXPECT_EQ(KeyDown(effect, '+'), 0);  // closed: keys do nothing
    EXPECT_FLOAT_EQ(effect.Value(kTime), 0.25f);

    int window = 0;
    ASSERT_EQ(effect.Dispatch(vst2::effEditOpen, 0, 0, &window), 1);
    host.calls.clear();
    EXPECT_EQ(KeyDown(effect, '+'), 1);  // the time has the focus first
    ASSERT_EQ(host.calls.size(), 3u);
    EXPECT_EQ(host.calls[0].opcode, vst2::audioMasterBeginEdit);
    EXPECT_EQ(host.calls[1].opcode, vst2::audioMasterAutomate);
    EXPECT_EQ(host.calls[2].opcode, vst2::audioMasterEndEdit);
    for (const auto& call : host.calls) EXPECT_EQ(call.index, kTime);
    EXPECT_FLOAT_EQ(host.calls[1].opt, 0.26f);
    EXPECT_FLOAT_EQ(effect.Value(kTime), 0.26f);

    // Tab moves to the feedback, the keypad minus steps it down.
    EXPECT_EQ(KeyDown(effect, '\t', 2), 1);
    host.calls.clear();
    EXPECT_EQ(KeyDown(effect, 0, 37), 1);
    ASSERT_EQ(host.calls.size(), 3u);
    EXPECT_EQ(host.calls[1].index, kFeedback);
    EXPECT_FLOAT_EQ(host.calls[1].opt, 0.39f);

    // What the host sends before closing the editor ('2', virtual key 26) changes nothing.
    const std::vector<float> before = AllValues(effect);
    host.calls.clear();
    EXPECT_EQ(KeyDown(effect, '2', 26), 0);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(AllValues(effect), before);

    // A switch steps one position at a time and reports nothing at the end of its range.
    for (int i = 0; i < 3; ++i) KeyDown(effect, '\t');  // sync, division
    ASSERT_FLOAT_EQ(effect.Value(kDivision), 0.75f);
    KeyDown(effect, '+');
    EXPECT_FLOAT_EQ(effect.Value(kDivision), 1.0f);
    host.calls.clear();
    KeyDown(effect, '+');
    EXPECT_TRUE(host.calls.empty());
    // Shift+Tab goes back to sync.
    KeyDown(effect, '\t', 2, 1.0f);
    KeyDown(effect, '+');
    EXPECT_EQ(effect.Value(kSync), 1.0f);

    // The zoom is an editor setting: no automation, but the window follows it.
    for (int i = 0; i < 5; ++i) KeyDown(effect, '\t');  // sync to the zoom, the last one
    host.calls.clear();
    KeyDown(effect, '+');
    EXPECT_FLOAT_EQ(effect.Value(kUiScale), 0.5f);
    EXPECT_TRUE(host.Calls(vst2::audioMasterAutomate).empty());
    ASSERT_EQ(host.Calls(vst2::audioMasterSizeWindow).size(), 1u);
    EXPECT_EQ(host.Calls(vst2::audioMasterSizeWindow)[0].index, 750);
    EXPECT_EQ(host.Calls(vst2::audioMasterSizeWindow)[0].value, 450);
    effect.Dispatch(vst2::effEditGetRect, 0, 0, &rect);
    EXPECT_EQ(rect->right, 750);

    EXPECT_EQ(effect.Dispatch(vst2::effEditClose), 1);
    EXPECT_EQ(KeyDown(effect, '+'), 0);
}

TEST(VantreloDelay, ProcessingAndEventsAllocateNothing) {
    if (!effects_test::AllocationCountSeesLibraries()) {
        GTEST_SKIP() << "the effect links its own runtime here; its allocations are invisible to this binary";
    }
    FakeHost host;
    host.answerTime = true;
    host.time.tempo = 97.0;
    host.time.flags = vst2::kVstTempoValid;
    EffectInstance effect(&host);
    // The counter does see the library: building a state chunk allocates inside it.
    const int64_t beforeChunk = effects_test::AllocationCount();
    Chunk(effect);
    ASSERT_GT(effects_test::AllocationCount(), beforeChunk);

    effect.Start(48000.0f);
    std::vector<float> left(512, 0.25f), right(512, -0.25f), outLeft(512), outRight(512);
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    vst2::VstMidiEvent event{};
    event.type = vst2::kVstMidiType;
    event.midiData[0] = static_cast<char>(0xB3);
    event.midiData[1] = 123;
    event.deltaFrames = 100;
    vst2::VstEvents events{};
    events.numEvents = 1;
    events.events[0] = reinterpret_cast<vst2::VstEvent*>(&event);
    vst2::AEffect* fx = effect.Get();

    const int64_t before = effects_test::AllocationCount();
    int64_t rateChange = 0;
    for (int block = 0; block < 200; ++block) {
        if (block == 50) fx->setParameter(fx, kSync, 1.0f);
        if (block == 90) fx->setParameter(fx, kPingPong, 1.0f);
        if (block == 120) {
            // Sizes the line for the new rate here, on the main thread; the next block takes it.
            const int64_t mark = effects_test::AllocationCount();
            fx->dispatcher(fx, vst2::effSetSampleRate, 0, 0, nullptr, 96000.0f);
            rateChange = effects_test::AllocationCount() - mark;
        }
        if (block % 10 == 0) fx->dispatcher(fx, vst2::effProcessEvents, 0, 0, &events, 0.0f);
        if (block == 150) host.allNotesOffInNextTimeRequest = true;
        fx->processReplacing(fx, in, out, 512);
    }
    EXPECT_GT(rateChange, 0);
    EXPECT_EQ(effects_test::AllocationCount() - rateChange, before);
}

TEST(VantreloDelay, InstancesAreIndependent) {
    EffectInstance first;
    EffectInstance second;
    ApplyImpulseSettings(first);
    ApplyImpulseSettings(second);
    second.Set(kTime, 0.5f);
    EXPECT_FLOAT_EQ(first.Value(kTime), 0.25f);
    first.Start(48000.0f);
    second.Start(48000.0f);
    // Interleaved blocks: the impulse goes only into the first.
    Stereo impulse = Impulse(50000);
    Stereo silence = Impulse(50000, 0.0f);
    Stereo a{std::vector<float>(), std::vector<float>()}, b = a;
    for (size_t start = 0; start < 50000; start += 500) {
        Stereo chunkA{{impulse.left.begin() + start, impulse.left.begin() + start + 500},
                      {impulse.right.begin() + start, impulse.right.begin() + start + 500}};
        Stereo chunkB{{silence.left.begin() + start, silence.left.begin() + start + 500},
                      {silence.right.begin() + start, silence.right.begin() + start + 500}};
        Stereo outA = first.Render(chunkA, 500);
        Stereo outB = second.Render(chunkB, 500);
        a.left.insert(a.left.end(), outA.left.begin(), outA.left.end());
        b.left.insert(b.left.end(), outB.left.begin(), outB.left.end());
    }
    ExpectOnlyEchoes(a.left, {{24000, 1.0f}, {48000, kRepeatGain}});
    ExpectOnlyEchoes(b.left, {});
}

TEST(VantreloDelay, MonoProcessesTheFirstChannelAlone) {
    EffectInstance effect;
    ApplyImpulseSettings(effect);
    effect.Set(kPingPong, 1.0f);  // nothing to alternate with in mono
    effect.Start(48000.0f);
    std::vector<float> input(50000, 0.0f);
    input[0] = 1.0f;
    ExpectOnlyEchoes(effect.RenderMono(input, 256), {{24000, 1.0f}, {48000, kRepeatGain}});
}

TEST(VantreloDelay, PingPongAlternatesTheEchoesBetweenChannels) {
    EffectInstance effect;
    ApplyImpulseSettings(effect);
    effect.Set(kPingPong, 1.0f);
    effect.Start(48000.0f);
    const Stereo out = effect.Render(Impulse(80000));
    ExpectOnlyEchoes(out.left, {{24000, 1.0f}, {72000, kRepeatGain * kRepeatGain}});
    ExpectOnlyEchoes(out.right, {{48000, kRepeatGain}});
}

TEST(VantreloDelay, FollowsSampleRateAndKeepsLongTailsOutOfDenormals) {
    EffectInstance effect;
    ApplyImpulseSettings(effect);
    effect.Set(kFeedback, 1.0f);  // 0.95 per repeat
    effect.Set(kTime, 0.0f);      // the shortest delay: one sample
    effect.Set(kTone, 0.3f);      // filtered feedback path
    effect.Start(96000.0f);
    const Stereo out = effect.Render(Impulse(96000 * 4), 4096);
    size_t subnormals = 0;
    for (float sample : out.left) subnormals += std::fpclassify(sample) == FP_SUBNORMAL ? 1 : 0;
    EXPECT_EQ(subnormals, 0u);
    EXPECT_EQ(out.left.back(), 0.0f);  // flushed, not lingering at tiny values
    EXPECT_NE(out.left[1], 0.0f);

    EffectInstance fast;
    ApplyImpulseSettings(fast);
    fast.Set(kFeedback, 0.0f);
    fast.Start(96000.0f);
    ExpectOnlyEchoes(fast.Render(Impulse(60000)).left, {{48000, 1.0f}});
}

TEST(VantreloDelay, RateChangesWhileAudioRunsHandOverTheLineSizedForTheRate) {
    EffectInstance effect;
    ApplyImpulseSettings(effect);
    effect.Set(kTime, 1.0f);
    effect.Set(kFeedback, 0.0f);
    effect.Start(48000.0f);
    std::atomic<bool> stop{false};
    std::thread audio([&effect, &stop] {
        std::vector<float> left(256, 0.25f), right(256, -0.25f);
        float* channels[2] = {left.data(), right.data()};
        while (!stop.load()) effect.Get()->processReplacing(effect.Get(), channels, channels, 256);
    });
    // Lines grow and shrink while blocks run; resumes come in between, as a host may send them.
    const float rates[] = {96000.0f, 44100.0f, 48000.0f, 192000.0f};
    for (int change = 0; change < 64; ++change) {
        effect.Dispatch(vst2::effSetSampleRate, 0, 0, nullptr, rates[change % 4]);
        if (change % 8 == 7) effect.Dispatch(vst2::effMainsChanged, 0, 1);
        std::this_thread::yield();
    }
    stop.store(true);
    audio.join();
    // The last line offered is the one in use: 2 s at 192 kHz. Above the highest rate with the
    // whole range (1.536 MHz) the line keeps that rate's length: 1 s at 3.072 MHz.
    ExpectOnlyEchoes(effect.Render(Impulse(384100), 4096).left, {{384000, 1.0f}});
    effect.Dispatch(vst2::effSetSampleRate, 0, 0, nullptr, 3072000.0f);
    ExpectOnlyEchoes(effect.Render(Impulse(3072100), 8192).left, {{3072000, 1.0f}});
}

TEST(VantreloDelay, ToneFiltersOnlyTheRepeats) {
    EffectInstance effect;
    ApplyImpulseSettings(effect);
    effect.Set(kTone, 0.0f);  // 200 Hz
    effect.Start(48000.0f);
    const std::vector<float> out = effect.Render(Impulse(50000)).left;
    EXPECT_FLOAT_EQ(out[24000], 1.0f);  // the first echo has not passed the feedback path
    // The repeat is smeared by the low-pass: a much lower peak, with energy after it.
    EXPECT_LT(out[48000], 0.1f);
    EXPECT_GT(out[48000], 0.0f);
    EXPECT_GT(out[48010], 0.0f);
}

TEST(VantreloDelay, AccumulatingProcessAddsToTheOutputs) {
    EffectInstance effect;
    ApplyImpulseSettings(effect);
    effect.Set(kMix, 0.0f);  // dry only, at unity
    effect.Start(48000.0f);
    std::vector<float> left(1000, 0.5f), right(1000, 0.25f), outLeft(1000, 1.0f), outRight(1000, 2.0f);
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    effect.Get()->process(effect.Get(), in, out, 1000);
    EXPECT_FLOAT_EQ(outLeft[999], 1.5f);
    EXPECT_FLOAT_EQ(outRight[0], 2.25f);
}
