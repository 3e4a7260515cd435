// End to end: the built module and the reference delay, loaded from the binary folder exactly
// as a host loads them, with the effect installed in a private install directory.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <sstream>

#include "Cli.h"
#include "PluginModule.h"
#include "Render.h"
#include "StateFile.h"
#include "Validate.h"
#include "platform/platform.h"
#include "support/registry_sandbox.h"

using namespace aaxhost;
namespace fs = std::filesystem;

namespace {

std::string ModulePath() {
    return (fs::path(testsupport::BinaryDirectory()) / (std::string("VantreloDelayAAX") + platform::kSharedLibrarySuffix)).string();
}

std::string EffectPath() {
    return (fs::path(testsupport::BinaryDirectory()) / platform::kEffectLibraryFileName).string();
}

class BuiltModule : public ::testing::Test {
protected:
    void SetUp() override {
        SlotTraps::Reset();
        if (!fs::exists(ModulePath()) || !fs::exists(EffectPath())) {
            GTEST_SKIP() << "the module or the effect is not built beside the tests";
        }
        install_ = fs::temp_directory_path() /
                   ("aaxhost-e2e-" + std::to_string(std::random_device{}() % 1000000000u));
        fs::create_directories(install_ / "VST64");
        fs::copy_file(EffectPath(), install_ / "VST64" / platform::kEffectLibraryFileName,
                      fs::copy_options::overwrite_existing);
        sandbox_ = std::make_unique<testsupport::RegistrySandbox>();
        sandbox_->SetInstallDirectory(install_.string());
        std::string error;
        module_ = PluginModule::Load(ModulePath(), &error);
        ASSERT_TRUE(module_) << error;
        ASSERT_TRUE(module_->StartAndRegister(&error)) << error;
    }

    void TearDown() override {
        // Every call the module made to the host's string, node and transport tables landed in a slot.
        EXPECT_EQ(SlotTraps::Count(), 0) << SlotTraps::Latest();
        module_.reset();
        sandbox_.reset();
        std::error_code ec;
        if (!install_.empty()) fs::remove_all(install_, ec);
    }

    AudioData Impulse(int32_t channels, double seconds) const {
        AudioData audio;
        audio.sampleRate = 48000.0;
        audio.channels.assign(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(48000.0 * seconds), 0.0f));
        for (auto& channel : audio.channels) channel[0] = 1.0f;
        return audio;
    }

    AudioData Noise(int32_t channels, double seconds, uint32_t seed) const {
        AudioData audio = Impulse(channels, seconds);
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
        for (auto& channel : audio.channels) {
            for (float& sample : channel) sample = noise(random);
        }
        return audio;
    }

    RenderResult RenderOk(const AudioData& input, const RenderOptions& options) {
        RenderResult result;
        std::string error;
        EXPECT_TRUE(Render(*module_->Effect(), input, options, &result, &error)) << error;
        return result;
    }

    static double Energy(const std::vector<float>& samples, size_t from, size_t to) {
        double sum = 0.0;
        for (size_t i = from; i < to && i < samples.size(); ++i) sum += static_cast<double>(samples[i]) * samples[i];
        return sum;
    }

    fs::path install_;
    std::unique_ptr<testsupport::RegistrySandbox> sandbox_;
    std::unique_ptr<PluginModule> module_;
};

}  // namespace

TEST_F(BuiltModule, ImpulseEchoesAtTheDelayTimeWithTheFeedbackGain) {
    RenderOptions options;
    options.sets = {{"time", 0.25}, {"feedback", 0.5}, {"mix", 1.0}, {"tone", 1.0}, {"output", 0.5}};
    options.tailSeconds = 0.2;
    const RenderResult result = RenderOk(Impulse(1, 1.6), options);
    ASSERT_EQ(result.output.ChannelCount(), 1);
    const std::vector<float>& out = result.output.channels[0];
    ASSERT_EQ(out.size(), 86400u);
    EXPECT_NEAR(out[24000], 1.0, 1e-4);
    EXPECT_NEAR(out[48000], 0.475, 1e-4);
    EXPECT_NEAR(out[72000], 0.475 * 0.475, 1e-4);
    EXPECT_LT(Energy(out, 0, 24000), 1e-10);  // fully wet: nothing before the first echo
    EXPECT_LT(Energy(out, 24001, 48000), 1e-8);
}

TEST_F(BuiltModule, TempoSyncFollowsTheHostTransport) {
    for (const auto& [tempo, frames] : {std::pair<double, size_t>{120.0, 24000}, {90.0, 32000}}) {
        RenderOptions options;
        options.sets = {{"sync", 1.0}, {"division", 0.75}, {"feedback", 0.0}, {"mix", 1.0}, {"tone", 1.0}, {"output", 0.5}};
        options.tempo = tempo;
        options.play = true;
        const RenderResult result = RenderOk(Impulse(1, 1.0), options);
        const std::vector<float>& out = result.output.channels[0];
        const size_t peak = static_cast<size_t>(std::max_element(out.begin(), out.end(), [](float a, float b) {
                                                    return std::fabs(a) < std::fabs(b);
                                                }) - out.begin());
        EXPECT_EQ(peak, frames) << "tempo " << tempo;
        EXPECT_NEAR(out[frames], 1.0, 1e-4) << "tempo " << tempo;
    }
}

TEST_F(BuiltModule, StateSavedByOneRenderGivesIdenticalOutputInAnother) {
    const AudioData input = Noise(2, 0.5, 3);
    RenderOptions first;
    first.sets = {{"time", 0.1}, {"feedback", 0.7}, {"mix", 0.6}, {"pingpong", 1.0}, {"tone", 0.4}};
    first.saveState = true;
    const RenderResult configured = RenderOk(input, first);
    ASSERT_FALSE(configured.state.empty());
    // Through the state file format, as --state-out and --state-in do it.
    std::vector<SavedChunk> restored;
    std::string error;
    ASSERT_TRUE(DecodeStateFile(EncodeStateFile(configured.state), &restored, &error)) << error;

    RenderOptions second;
    second.stateIn = &restored;
    second.saveState = true;
    const RenderResult fromState = RenderOk(input, second);
    RenderOptions plain;
    const RenderResult defaults = RenderOk(input, plain);
    ASSERT_EQ(fromState.output.channels.size(), 2u);
    EXPECT_NE(fromState.output.channels, defaults.output.channels);  // the state made a difference
    RenderOptions again = second;
    const RenderResult repeated = RenderOk(input, again);
    EXPECT_EQ(fromState.output.channels, repeated.output.channels);
    // An instance restored from the state shows its values in the host's parameters, each told
    // to the host as its current value, as a reopened song must.
    std::unique_ptr<HostInstance> shown = HostInstance::Create(*module_->Effect(), InstanceSettings{}, &error);
    ASSERT_TRUE(shown) << error;
    ASSERT_EQ(shown->Initialize(), AAX_SUCCESS);
    ASSERT_EQ(shown->RestoreChunks(restored, &error), AAX_SUCCESS) << error;
    for (const auto& [id, value] : first.sets) {
        double normalized = -1.0, told = -1.0;
        EXPECT_EQ(shown->GetParameter(id, &normalized), AAX_SUCCESS) << id;
        EXPECT_NEAR(normalized, value, 1e-6) << id;
        EXPECT_TRUE(shown->Automation().CurrentValue(id, &told)) << id;
        EXPECT_NEAR(told, value, 1e-6) << id;
    }
    shown->Release();
    // The restored instance saves the same state back.
    ASSERT_EQ(fromState.state.size(), configured.state.size());
    EXPECT_EQ(fromState.state[0].DataSize(), configured.state[0].DataSize());
    EXPECT_TRUE(std::equal(fromState.state[0].record.begin() + 56, fromState.state[0].record.end(),
                           configured.state[0].record.begin() + 56));
}

TEST_F(BuiltModule, MasterBypassIsBitExactThroughTheCommand) {
    const fs::path in = install_ / "noise.wav", out = install_ / "bypassed.wav";
    const AudioData input = Noise(2, 0.3, 5);
    std::string error;
    ASSERT_TRUE(WriteWavFile(in.string(), input, 32, true, &error)) << error;
    std::vector<std::string> arguments = {"aaxhost", "render", ModulePath(), "-i", in.string(), "-o", out.string(),
                                          "--set", "=1", "--set", "mix=1", "--set", "feedback=0.9", "--block", "300"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    std::ostringstream stdoutText, stderrText;
    ASSERT_EQ(RunCommand(static_cast<int>(argv.size()), argv.data(), stdoutText, stderrText), kExitSuccess)
        << stderrText.str();
    AudioData output;
    ASSERT_TRUE(ReadWavFile(out.string(), &output, &error)) << error;
    EXPECT_EQ(output.channels, input.channels);

    arguments = {"aaxhost", "render", ModulePath(), "-i", in.string(), "-o", out.string(), "--set", "nosuch=1"};
    argv.clear();
    for (std::string& argument : arguments) argv.push_back(argument.data());
    std::ostringstream ignored, reason;
    EXPECT_EQ(RunCommand(static_cast<int>(argv.size()), argv.data(), ignored, reason), kExitUsage);
    EXPECT_EQ(reason.str(), "aaxhost: the effect has no parameter \"nosuch\"\n");
}

TEST_F(BuiltModule, TransportStopCutsTheTail) {
    RenderOptions options;
    options.sets = {{"time", 0.25}, {"feedback", 0.8}, {"mix", 1.0}, {"tone", 1.0}};
    options.play = true;
    options.tailSeconds = 1.0;
    const AudioData input = Impulse(1, 1.0);
    const RenderResult ringing = RenderOk(input, options);
    options.stopAtSeconds = 0.6;
    const RenderResult stopped = RenderOk(input, options);
    const std::vector<float>& ring = ringing.output.channels[0];
    const std::vector<float>& cut = stopped.output.channels[0];
    // Identical up to the stop; afterwards the running transport keeps echoing, the stopped one not.
    EXPECT_TRUE(std::equal(ring.begin(), ring.begin() + 28800, cut.begin()));
    EXPECT_GT(Energy(ring, 30000, ring.size()), 0.1);
    EXPECT_LT(Energy(cut, 30000, cut.size()), 1e-6);
}

TEST_F(BuiltModule, ConformanceRunPassesAtStrictnessFive) {
    module_.reset();  // validate starts and registers the module itself
    std::string error;
    auto module = PluginModule::Load(ModulePath(), &error);
    ASSERT_TRUE(module) << error;
    ValidateOptions options;
    options.strictness = 5;
    const ValidateReport report = Validate(*module, options);
    for (const CheckResult& check : report.checks) EXPECT_TRUE(check.passed) << check.name << ": " << check.detail;
    EXPECT_GT(report.Passed(), 30);
}

TEST_F(BuiltModule, DescribeAndParamsShowTheMirroredParameters) {
    std::vector<std::string> arguments = {"aaxhost", "params", ModulePath(), "--json"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    std::ostringstream out, err;
    ASSERT_EQ(RunCommand(static_cast<int>(argv.size()), argv.data(), out, err), kExitSuccess) << err.str();
    for (const char* id : {"time", "feedback", "mix", "sync", "division", "pingpong", "tone", "output"}) {
        EXPECT_NE(out.str().find(std::string("\"id\": \"") + id + "\""), std::string::npos) << id;
    }
    EXPECT_EQ(out.str().find("uiscale"), std::string::npos);  // not automatable, so not mirrored
    EXPECT_NE(out.str().find("\"masterBypass\": \"\""), std::string::npos);
}

// NaN, +inf and -inf at the start, then an impulse at 0.1 s: every output frame is finite (so
// neither the line nor the filter took them in), and the echoes of the impulse are whole, also
// with the longest delay at high rates.
TEST_F(BuiltModule, DelayOutputStaysFiniteAfterNonFiniteInputAndEchoesAtEveryRate) {
    using Sets = std::vector<std::pair<std::string, double>>;
    const Sets echoing = {{"time", 0.25}, {"feedback", 0.5}, {"mix", 1.0}, {"tone", 1.0}, {"output", 0.5}};
    const Sets longest = {{"time", 1.0}, {"feedback", 0.0}, {"mix", 1.0}, {"tone", 1.0}, {"output", 0.5}};
    Sets filtered = echoing;
    filtered[3].second = 0.5;
    const struct {
        double rate;
        Sets sets;
        std::vector<std::pair<double, float>> echoes;  // seconds after the impulse, value
        bool silentElsewhere;
    } cases[] = {
        {48000.0, echoing, {{0.5, 1.0f}, {1.0, 0.475f}}, true},
        {48000.0, {{"feedback", 0.0}, {"mix", 0.0}, {"output", 0.5}}, {{0.0, 1.0f}}, true},  // dry only
        {48000.0, filtered, {{0.5, 1.0f}}, false},
        {768000.0, longest, {{2.0, 1.0f}}, true},
        {1536000.0, longest, {{2.0, 1.0f}}, true},
    };
    for (const auto& c : cases) {
        AudioData input;
        input.sampleRate = c.rate;
        input.channels.assign(2, std::vector<float>(static_cast<size_t>(c.rate * (c.echoes.back().first + 0.2)), 0.0f));
        const auto impulse = static_cast<size_t>(c.rate / 10);
        for (auto& channel : input.channels) {
            channel[100] = std::nanf("");
            channel[200] = INFINITY;
            channel[300] = -INFINITY;
            channel[impulse] = 1.0f;
        }
        RenderOptions options;
        options.sets = c.sets;
        const RenderResult result = RenderOk(input, options);
        EXPECT_EQ(result.nonFiniteSamples, 0) << c.rate;
        const std::vector<float>& out = result.output.channels[1];
        double stray = 0.0;
        size_t silentFrom = 0;
        for (const auto& [seconds, value] : c.echoes) {
            const size_t frame = impulse + static_cast<size_t>(seconds * c.rate);
            EXPECT_NEAR(out[frame], value, 1e-4) << c.rate << " Hz, " << seconds << " s";
            stray += Energy(out, silentFrom, frame);
            silentFrom = frame + 1;
        }
        if (c.silentElsewhere) {
            EXPECT_LT(stray + Energy(out, silentFrom, out.size()), 1e-8) << c.rate;
        }
    }
}
