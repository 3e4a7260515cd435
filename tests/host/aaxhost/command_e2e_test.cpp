// The command on the built module and reference delay, as a user runs it: a missing effect,
// outputs that are replaced only when complete, automation over time and memory that stays
// flat however long the render (the last two in a child process, on Linux).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "Cli.h"
#include "CommandOutcome.h"
#include "Interrupts.h"
#include "PluginModule.h"
#include "Render.h"
#include "Json.h"
#include "StateFile.h"
#include "platform/platform.h"
#include "support/RecordingEffect.h"
#include "support/TestEffectInstall.h"
#include "support/registry_sandbox.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

using namespace aaxhost;
namespace fs = std::filesystem;

namespace {

fs::path Built(const std::string& name) { return fs::path(testsupport::BinaryDirectory()) / name; }
const std::string kModuleFile = std::string("VantreloDelayAAX") + platform::kSharedLibrarySuffix;

using hosttest::Outcome;

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::set<fs::path> Listing(const fs::path& folder) { return {fs::directory_iterator(folder), fs::directory_iterator()}; }

#if !defined(_WIN32)
struct ChildRun {
    int status = -1;  // the exit status, or 128 + the signal that ended it
    long peakKilobytes = 0;
};

// aaxhost in a child process, as a shell starts it: the signals at their default actions, its
// output discarded and its errors in errors (if given). A fileLimit caps every file the child
// writes, as a full disk would.
pid_t StartChild(std::vector<std::string> arguments, rlim_t fileLimit = 0, const std::string& errors = "/dev/null") {
    arguments.insert(arguments.begin(), Built("aaxhost").string());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(open("/dev/null", O_WRONLY), 1);
        dup2(open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ, SIGPIPE}) std::signal(signal, SIG_DFL);
        if (fileLimit > 0) {
            const rlimit limit{fileLimit, fileLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

ChildRun FinishChild(pid_t pid) {
    ChildRun run;
    int status = 0;
    rusage usage{};
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        run.peakKilobytes = usage.ru_maxrss;
    }
    return run;
}

ChildRun RunChild(std::vector<std::string> arguments, rlim_t fileLimit = 0) {
    return FinishChild(StartChild(std::move(arguments), fileLimit));
}
#endif

bool HoldsTemporaryFile(const fs::path& folder) {
    for (const fs::path& entry : Listing(folder)) {
        if (entry.filename().string().find(".aaxhost-") != std::string::npos) return true;
    }
    return false;
}

class CommandOnBuiltModule : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(Built(kModuleFile)) || !fs::exists(Built(platform::kEffectLibraryFileName))) {
            GTEST_SKIP() << "the module or the effect is not built beside the tests";
        }
        dir_ = fs::temp_directory_path() / ("aaxhost-command-" + std::to_string(std::random_device{}() % 1000000000u));
        fs::create_directories(dir_ / "install" / "VST64");
        fs::copy_file(Built(platform::kEffectLibraryFileName), dir_ / "install" / "VST64" / platform::kEffectLibraryFileName);
        sandbox_ = std::make_unique<testsupport::RegistrySandbox>();
        sandbox_->SetInstallDirectory((dir_ / "install").string());
        module_ = Built(kModuleFile).string();
    }
    void TearDown() override {
        sandbox_.reset();
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }

    std::string Path(const char* name) const { return (dir_ / name).string(); }

    std::string WriteInput(const char* name, std::vector<float> samples) const {
        AudioData audio;
        audio.channels = {std::move(samples)};
        EXPECT_TRUE(WriteWavFile(Path(name), audio, 32, true, nullptr));
        return Path(name);
    }

    static Outcome Run(std::vector<std::string> arguments) { return hosttest::Invoke(std::move(arguments)); }

    fs::path dir_;
    std::string module_;
    std::unique_ptr<testsupport::RegistrySandbox> sandbox_;
};

}  // namespace

TEST_F(CommandOnBuiltModule, EveryCommandThatCreatesAnInstanceSaysWhenTheEffectIsMissing) {
    fs::create_directories(dir_ / "empty");
    sandbox_->SetInstallDirectory(Path("empty"));
    const std::string expected = Path("empty") + platform::kPathSeparatorText + "VST64" + platform::kPathSeparatorText +
                                 platform::kEffectLibraryFileName;
    const std::string in = WriteInput("in.wav", std::vector<float>(4800, 0.5f));
    Outcome outcome;
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"render", module_, "-i", in, "-o", Path("out.wav")}, {"params", module_},
          {"validate", module_, "--strictness", "1"}}) {
        outcome = Run(arguments);
        EXPECT_EQ(outcome.status, kExitFailed) << arguments[0];
        EXPECT_NE(outcome.err.find("did not load its effect: it expected " + expected), std::string::npos) << outcome.err;
        EXPECT_NE(outcome.err.find("does not exist"), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
    }
    const size_t failure = outcome.out.find("FAIL");  // validate's first failing check
    ASSERT_NE(failure, std::string::npos);
    EXPECT_EQ(outcome.out.compare(failure, 18, "FAIL effect loads:"), 0) << outcome.out;
    EXPECT_FALSE(fs::exists(Path("out.wav")));
    // A module named relative to the current folder is found there, not on the library path.
    const fs::path previous = fs::current_path();
    fs::current_path(testsupport::BinaryDirectory());
    EXPECT_EQ(Run({"describe", kModuleFile}).status, kExitSuccess);
    fs::current_path(previous);
}

TEST_F(CommandOnBuiltModule, OutputsReplaceTheirTargetsOnlyWhenEverythingIsWritten) {
    const std::string in = WriteInput("in.wav", std::vector<float>(48000, 0.25f));
    const std::string out = Path("out.wav"), state = Path("state.bin");
    std::ofstream(out) << "previous";
    const std::set<fs::path> before = Listing(dir_);
    // The state cannot be written: the audio, though renderable, is not written either.
    Outcome outcome = Run({"render", module_, "-i", in, "-o", out, "--state-out", Path("none/state.bin")});
    EXPECT_EQ(outcome.status, kExitUsage) << outcome.err;
    EXPECT_EQ(Contents(out), "previous");
    EXPECT_EQ(Listing(dir_), before);
#if !defined(_WIN32)
    // A disk that fills after 16 KiB: the render fails part-way and leaves nothing of itself.
    EXPECT_EQ(RunChild({"render", module_, "-i", in, "-o", out, "--state-out", state}, 16384).status, kExitUsage);
    EXPECT_EQ(Contents(out), "previous");
    EXPECT_EQ(Listing(dir_), before);
#endif
    outcome = Run({"render", module_, "-i", in, "-o", out, "--state-out", state});
    ASSERT_EQ(outcome.status, kExitSuccess) << outcome.err;
    AudioData written;
    std::vector<SavedChunk> chunks;
    ASSERT_TRUE(ReadWavFile(out, &written, nullptr));
    EXPECT_EQ(written.Frames(), 48000);
    EXPECT_TRUE(ReadStateFile(state, &chunks, nullptr));
    EXPECT_EQ(Listing(dir_).size(), before.size() + 1);  // the state file, and no temporary left
}

TEST_F(CommandOnBuiltModule, AutomationLandsOnItsFrameThroughTheHostsAutomation) {
    // A steady input and echoes beyond the render: the output is the dry part, gain x (1 - mix) x 0.5.
    const std::string in = WriteInput("in.wav", std::vector<float>(9600, 0.5f));
    std::ofstream(Path("lanes.txt")) << "# time id value\n1000smp mix 1\n0 feedback 0\n0.1s feedback 0.9 ramp\n";
    const Outcome outcome = Run({"render", module_, "-i", in, "-o", Path("out.wav"), "--automate", Path("lanes.txt"),
                                 "--report", Path("report.json"), "--set", "time=1", "--set", "mix=0"});
    ASSERT_EQ(outcome.status, kExitSuccess) << outcome.err;
    const std::string report = Contents(Path("report.json"));
    EXPECT_NE(report.find("\"frame\": 1000,"), std::string::npos) << report;
    EXPECT_NE(report.find("\"id\": \"mix\""), std::string::npos) << report;

    AudioData input;
    ASSERT_TRUE(ReadWavFile(in, &input, nullptr));
    RenderOptions options;
    options.sets = {{"time", 1.0}, {"mix", 0.0}, {"output", 0.5}};
    ASSERT_TRUE(ReadAutomationFile(Path("lanes.txt"), 48000.0, &options.automation, nullptr));
    std::vector<AppliedChange> changes;
    RenderResult result;
    std::unique_ptr<PluginModule> module = PluginModule::Load(module_, nullptr);
    ASSERT_TRUE(module && module->StartAndRegister(nullptr));
    ASSERT_TRUE(Render(*module->Effect(), input, options, &result, nullptr,
                       [&changes](const AppliedChange& change) { changes.push_back(change); }));
    const std::vector<float>& out = result.output.channels[0];
    EXPECT_FLOAT_EQ(out[999], 0.5f);
    EXPECT_LT(out[1000], out[999]);  // the mix moves at its own frame, inside a 512-frame buffer
    EXPECT_LT(out.back(), 0.01f);
    EXPECT_EQ(std::string(outcome.out), "wrote " + Path("out.wav") + " (9600 frames, 1 channel, 48000 Hz)\napplied " +
                                            std::to_string(changes.size()) + " automation changes\n");
    // The ramp moves once per buffer on the straight line to 0.9 at 4800, and the module holds
    // what the host's automation handed it.
    int64_t lastFrame = -1;
    int32_t mixChanges = 0;
    for (const AppliedChange& change : changes) {
        if (change.id == "mix") {
            EXPECT_EQ(change.frame, 1000);
            EXPECT_EQ(change.requested, 1.0);
            ++mixChanges;
            continue;
        }
        EXPECT_GT(change.frame, lastFrame);
        EXPECT_NEAR(change.requested, 0.9 * static_cast<double>(std::min<int64_t>(change.frame, 4800)) / 4800.0, 1e-12);
        EXPECT_NEAR(change.value, change.requested, 1e-6);
        lastFrame = change.frame;
    }
    EXPECT_EQ(mixChanges, 1);
    EXPECT_EQ(lastFrame, 4800);
    EXPECT_GT(changes.size(), 8u);
}

#if !defined(_WIN32)
TEST_F(CommandOnBuiltModule, PeakMemoryIsTheSameForOneAndTenMinutes) {
    // Silent inputs made sparse, so that writing them costs nothing; 8 kHz mono keeps the run short.
    long peak[2] = {};
    const int minutes[2] = {1, 10};
    for (int i = 0; i < 2; ++i) {
        const int64_t frames = int64_t{minutes[i]} * 60 * 8000;
        const std::vector<uint8_t> header = FloatWavHeader(8000.0, 1, static_cast<uint64_t>(frames));
        const std::string in = Path("long.wav");
        std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(header.data()),
                                                   static_cast<std::streamsize>(header.size()));
        fs::resize_file(in, header.size() + static_cast<uintmax_t>(frames) * 4);
        const ChildRun run = RunChild({"render", module_, "-i", in, "-o", Path("long-out.wav")});
        ASSERT_EQ(run.status, kExitSuccess);
        EXPECT_GE(fs::file_size(Path("long-out.wav")), static_cast<uintmax_t>(frames) * 4);
        peak[i] = run.peakKilobytes;
    }
    RecordProperty("peak_kB_1_minute", std::to_string(peak[0]));
    RecordProperty("peak_kB_10_minutes", std::to_string(peak[1]));
    // The whole output of ten minutes is 19 MB; a render that held it would differ by that.
    EXPECT_LT(std::labs(peak[1] - peak[0]), 4096) << "peak kB: " << peak[0] << " (1 min), " << peak[1] << " (10 min)";
}
#endif

// How much render says at each verbosity, a parameter set by its index, and a state of
// another plug-in.
TEST_F(CommandOnBuiltModule, RenderSaysAsMuchAsAskedSetsByIndexAndRefusesAnotherPluginsState) {
    const std::string in = WriteInput("in.wav", std::vector<float>(4800, 0.5f));
    const std::vector<std::string> render = {"render", module_, "-i", in, "-o", Path("out.wav"), "--state-out",
                                             Path("state.bin")};
    const struct {
        const char* option;
        bool wrote;       // "wrote ..." on stdout
        bool explained;   // the install directory and settings on stderr
    } levels[] = {{"-q", false, false}, {"--tail=0", true, false}, {"-v", true, true}};
    for (const auto& level : levels) {
        std::vector<std::string> arguments = render;
        arguments.push_back(level.option);
        const Outcome outcome = Run(arguments);
        ASSERT_EQ(outcome.status, kExitSuccess) << outcome.err;
        EXPECT_EQ(outcome.out.rfind("wrote ", 0) == 0, level.wrote) << level.option << ": " << outcome.out;
        EXPECT_EQ(outcome.err.find("the install directory is " + Path("install")) != std::string::npos, level.explained)
            << level.option << ": " << outcome.err;
        if (!level.wrote) {
            EXPECT_EQ(outcome.out + outcome.err, "");
        }
    }

    // mix is parameter 3: both forms give the same output, and an index past the end is named.
    ASSERT_EQ(Run({"render", module_, "-i", in, "-o", Path("by-id.wav"), "--set", "mix=1"}).status, kExitSuccess);
    ASSERT_EQ(Run({"render", module_, "-i", in, "-o", Path("by-index.wav"), "--set", "#3=1"}).status, kExitSuccess);
    EXPECT_EQ(Contents(Path("by-id.wav")), Contents(Path("by-index.wav")));
    EXPECT_NE(Contents(Path("by-id.wav")), Contents(Path("out.wav")));
    Outcome outcome = Run({"render", module_, "-i", in, "-o", Path("x.wav"), "--set", "#99=1"});
    EXPECT_EQ(outcome.status, kExitUsage);
    EXPECT_NE(outcome.err.find("no parameter #99 (it has 9, #0 to #8)"), std::string::npos) << outcome.err;

    // The same state under another effect's chunk identifier.
    std::vector<SavedChunk> chunks;
    ASSERT_TRUE(ReadStateFile(Path("state.bin"), &chunks, nullptr));
    ASSERT_EQ(chunks.size(), 1u);
    chunks[0].id = 0x4F746852;  // 'OthR'
    const std::vector<uint8_t> other = EncodeStateFile(chunks);
    std::ofstream(Path("other.bin"), std::ios::binary).write(reinterpret_cast<const char*>(other.data()), static_cast<std::streamsize>(other.size()));
    for (const std::string command : {"render", "gui", "params"}) {
        std::vector<std::string> arguments = {command, module_, "--state-in", Path("other.bin")};
        if (command == "render") arguments.insert(arguments.end(), {"-i", in, "-o", Path("x.wav")});
        outcome = Run(arguments);
        EXPECT_EQ(outcome.status, kExitUsage) << outcome.err;
        EXPECT_NE(outcome.err.find("--state-in: the state is another plug-in's: its chunk is 'OthR', saved by plug-in"),
                  std::string::npos)
            << outcome.err;
        EXPECT_NE(outcome.err.find("this effect keeps its state in chunk 'VtDl'"), std::string::npos) << outcome.err;
    }
    EXPECT_FALSE(fs::exists(Path("x.wav")));
}

// params --state-in lists what the host's parameters show after restoring a state file (the
// value a render saved, read back from the effect), and names the file.
TEST_F(CommandOnBuiltModule, ParamsListsTheValuesAfterRestoringAState) {
    const std::string in = WriteInput("in.wav", std::vector<float>(4800, 0.5f));
    const std::string state = Path("state.bin");
    ASSERT_EQ(Run({"render", module_, "-i", in, "-o", Path("out.wav"), "--set", "time=0.9", "--state-out",
                   state}).status,
              kExitSuccess);
    const Outcome table = Run({"params", module_, "--state-in", state});
    ASSERT_EQ(table.status, kExitSuccess) << table.err;
    EXPECT_NE(table.out.find("\n1     \"time\"      Time/Tm           continuous  65     0.2500   0.9000   "),
              std::string::npos) << table.out;
    EXPECT_NE(table.out.find("; values after restoring " + state + "\n"), std::string::npos) << table.out;
    const Outcome json = Run({"params", module_, "--state-in", state, "--json"});
    EXPECT_NE(json.out.find("\"stateIn\": \"" + JsonEscape(state) + "\""), std::string::npos) << json.out;
}

namespace {

// Every instance gets a test effect of its own, configured by gConfigure.
std::function<void(RecordingEffect&)> gConfigure;
std::vector<std::unique_ptr<RecordingEffect>> gMade;

vst2::AEffect* MakeEffect(vst2::AudioMasterCallback host) {
    gMade.push_back(std::make_unique<RecordingEffect>());
    gConfigure(*gMade.back());
    return gMade.back()->AttachHost(host);
}

bool ValidUtf8WithoutControls(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8SequenceLength(text, i);
        if (length == 0 || (static_cast<unsigned char>(text[i]) < 0x20 && text[i] != '\n')) return false;
        i += length;
    }
    return true;
}

}  // namespace

// Names and identifiers as an effect may give them: control characters, a backslash, an '=',
// valid UTF-8 and bytes that are not; and an effect without parameters.
TEST(CommandOnTestEffect, ShowsAnyBytesOfNamesSafelyAndSetsAnyIdentifier) {
    TestEffectInstall install;
    ASSERT_TRUE(install.Ok()) << install.Error();
    install.SetMainHook(&MakeEffect);
    const std::string module = Built(kModuleFile).string();
    const struct {
        const char* id;
        const char* name;
        const char* table;  // the row's identifier and name as the table shows them
        const char* json;   // the name as JSON holds it
    } parameters[] = {
        {"ctl", "\x1b[31mred\tname", "\"ctl\"       \\x1B[31mred\\tname ", "\"\\u001b[31mred\\tname\""},
        {"a=b", "Zeit \xE2\x86\x92", "\"a=b\"       Zeit \xE2\x86\x92            ", "\"Zeit \xE2\x86\x92\""},
        {"lat\xE9", "\xFF\xC3 half", "\"lat\\xE9\"   \\xFF\\xC3 half     ", "\"\\u00ff\\u00c3 half\""},
        {"back\\slash", "line\nfeed", "\"back\\\\slash\" line/feed", "\"line\\nfeed\""},
    };
    gConfigure = [&parameters](RecordingEffect& effect) {
        effect.SetNumParams(4);
        for (int32_t i = 0; i < 4; ++i) {
            effect.SetParameterId(i, parameters[i].id);
            effect.SetParameterName(i, parameters[i].name);
        }
    };
    const Outcome table = hosttest::Invoke({"params", module});
    ASSERT_EQ(table.status, kExitSuccess) << table.err;
    EXPECT_EQ(std::count(table.out.begin(), table.out.end(), '\n'), 7) << table.out;  // header, 5 rows, summary
    const Outcome json = hosttest::Invoke({"params", module, "--json"});
    ASSERT_EQ(json.status, kExitSuccess) << json.err;
    EXPECT_TRUE(ValidUtf8WithoutControls(json.out)) << json.out;
    for (const auto& parameter : parameters) {
        EXPECT_NE(table.out.find(parameter.table), std::string::npos) << parameter.table << "\n" << table.out;
        EXPECT_NE(json.out.find(parameter.json), std::string::npos) << parameter.json << "\n" << json.out;
    }

    // An identifier with '=' in it, set with --set.
    // A folder of plain ASCII: the test program, unlike aaxhost.exe, does not run with UTF-8 as
    // its code page, and the install directory's name is not ASCII.
    const fs::path scratch = fs::temp_directory_path() / ("aaxhost-names-" + std::to_string(std::random_device{}() % 1000000000u));
    fs::create_directories(scratch);
    const fs::path in = scratch / "in.wav";
    AudioData audio;
    audio.channels = {std::vector<float>(256, 0.5f)};
    ASSERT_TRUE(WriteWavFile(in.string(), audio, 16, false, nullptr));
    const Outcome set = hosttest::Invoke({"render", module, "-i", in.string(), "-o", (in.parent_path() / "out.wav").string(),
                                          "--set", "a=b=0.75"});
    ASSERT_EQ(set.status, kExitSuccess) << set.err;
    EXPECT_EQ(gMade.back()->ParameterValue(1), 0.75f);

    // Without parameters there is nothing to change, and validate says it skipped that check.
    gConfigure = [](RecordingEffect& effect) { effect.SetNumParams(0); };
    const Outcome validate = hosttest::Invoke({"validate", module, "--strictness", "1"});
    EXPECT_NE(validate.out.find("\nSKIP state follows the parameters: the effect has no parameters to change\n"),
              std::string::npos)
        << validate.out;
    EXPECT_NE(validate.out.find(" skipped\n"), std::string::npos) << validate.out;
    EXPECT_EQ(validate.out.find('\n', validate.out.rfind(" passed, ")), validate.out.size() - 1) << validate.out;
    install.SetMainHook(nullptr);
    gMade.clear();
    std::error_code ec;
    fs::remove_all(scratch, ec);
}

// Audio through the built module as a host renders it, in buffers longer than the block size the
// effect is told: an effect that grows to six channels at its tenth call (and says so from it)
// is silent only until the host's next main-thread call, and processed again from there on.
TEST(CommandOnTestEffect, AnEffectThatChangesItsChannelsMidRenderIsProcessedAgainAfterTheNextIdle) {
    TestEffectInstall install;
    ASSERT_TRUE(install.Ok()) << install.Error();
    install.SetMainHook(&MakeEffect);
    std::string error;
    auto module = PluginModule::Load(Built(kModuleFile).string(), &error);
    ASSERT_TRUE(module && module->StartAndRegister(&error)) << error;
    AudioData input;
    input.sampleRate = 48000.0;
    input.channels = {std::vector<float>(60000, 0.25f), std::vector<float>(60000, 0.5f)};
    RenderOptions options;
    options.block = 10000;
    gConfigure = [](RecordingEffect& effect) { effect.ChangeChannelsAt(10, 6, 6, true); };
    RenderResult result;
    ASSERT_TRUE(Render(*module->Effect(), input, options, &result, &error)) << error;
    EXPECT_EQ(result.unwrittenSamples, 0);
    // Buffer 4 (from frame 30000) ran its first sub-block of 4096 frames, the change came in it.
    for (size_t channel = 0; channel < 2; ++channel) {
        const std::vector<float>& out = result.output.channels.at(channel);
        ASSERT_EQ(out.size(), 60000u);
        for (size_t frame = 0; frame < out.size(); ++frame) {
            ASSERT_EQ(out[frame], frame >= 34096 && frame < 40000 ? 0.0f : input.channels[channel][0]) << frame;
        }
    }
    // Told the block size once, before it resumed, and never handed more.
    const RecordingEffect& effect = *gMade.back();
    const std::vector<int32_t> opcodes = effect.Opcodes();
    const auto told = std::find(opcodes.begin(), opcodes.end(), vst2::effSetBlockSize);
    ASSERT_NE(told, opcodes.end());
    EXPECT_EQ(std::count(opcodes.begin(), opcodes.end(), vst2::effSetBlockSize), 1);
    EXPECT_EQ(*(told + 1), vst2::effMainsChanged);
    EXPECT_EQ(effect.CallsWithOpcode(vst2::effSetBlockSize)[0].value, 4096);
    std::vector<int32_t> frames;
    for (const RecordedCall& call : effect.calls) {
        if (call.kind == RecordedCall::Kind::ProcessReplacing) frames.push_back(call.frames);
    }
    EXPECT_EQ(frames.size(), 16u);
    EXPECT_EQ(*std::max_element(frames.begin(), frames.end()), 4096);
    install.SetMainHook(nullptr);
    gMade.clear();
}

// What -o does with each kind of target: the file a link names is replaced and the link kept;
// devices, named pipes and folders are refused and left as they were; a replaced file keeps its
// permissions; a read-only one is replaced only with --force; "-" is standard output.
TEST_F(CommandOnBuiltModule, EachKindOfOutputTargetIsReplacedOrRefusedAsDocumented) {
    const std::string in = WriteInput("in.wav", std::vector<float>(4800, 0.25f));
    auto previous = [this](const char* name, fs::perms permissions) {
        std::ofstream(Path(name)) << "previous";
        fs::permissions(Path(name), permissions);
        return Path(name);
    };
    const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    const struct {
        const char* name;
        std::function<std::string()> make;  // the target, as -o names it
        std::string written;                // the file that gets the render ("" for none)
        std::vector<std::string> extra;
        int status;
        const char* reason;
    } cases[] = {
#if !defined(_WIN32)
        {"link", [&] { fs::create_symlink(previous("real.wav", fs::perms(0644)), Path("link.wav")); return Path("link.wav"); },
         Path("real.wav"), {}, kExitSuccess, ""},
        // The superuser could replace a node: a node of our own then, with /dev/null's numbers.
        {"device", [&] { return geteuid() == 0 && mknod(Path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 ? Path("null") : "/dev/null"; },
         "", {}, kExitUsage, "it is a device"},
        {"FIFO", [&] { return mkfifo(Path("fifo").c_str(), 0644) == 0 ? Path("fifo") : ""; }, "", {}, kExitUsage, "it is a named pipe"},
        {"0600", [&] { return previous("private.wav", fs::perms(0600)); }, Path("private.wav"), {}, kExitSuccess, ""},
#else
        {"device", [] { return std::string("NUL"); }, "", {}, kExitUsage, "it is a device"},
#endif
        {"read-only", [&] { return previous("locked.wav", readOnly); }, "", {}, kExitUsage, "it is read-only"},
        {"read-only, forced", [&] { return previous("forced.wav", readOnly); }, Path("forced.wav"), {"--force"}, kExitSuccess, ""},
        {"folder", [&] { fs::create_directory(Path("folder")); return Path("folder"); }, "", {}, kExitUsage, "is a folder"},
        {"standard output", [] { return std::string("-"); }, "", {}, kExitSuccess, "wrote standard output (4800 frames"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string target = c.make();
        ASSERT_FALSE(target.empty());
        std::error_code ec;
        const fs::file_type kind = fs::symlink_status(target, ec).type();
        const fs::perms permissions = fs::status(target, ec).permissions();
        std::vector<std::string> arguments = {"render", module_, "-i", in, "-o", target};
        arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
        const Outcome outcome = Run(arguments);
        EXPECT_EQ(outcome.status, c.status) << outcome.err;
        EXPECT_NE(outcome.err.find(c.reason), std::string::npos) << outcome.err;
        EXPECT_FALSE(HoldsTemporaryFile(dir_));
        AudioData written;
        if (target == "-") {
            EXPECT_TRUE(DecodeWav(std::vector<uint8_t>(outcome.out.begin(), outcome.out.end()), &written, nullptr));
            EXPECT_EQ(written.Frames(), 4800);
            continue;
        }
        EXPECT_EQ(fs::symlink_status(target, ec).type(), kind);
        EXPECT_TRUE(kind != fs::file_type::regular || fs::status(target, ec).permissions() == permissions);
        if (!c.written.empty()) {
            EXPECT_TRUE(ReadWavFile(c.written, &written, nullptr));
            EXPECT_EQ(written.Frames(), 4800);
        } else if (kind == fs::file_type::regular) {
            EXPECT_EQ(Contents(target), "previous");
        }
    }
}

// SIGINT, SIGTERM and SIGHUP during a long render, and a file-size limit reached with the
// default action of its signal: the target keeps its content, no temporary file is left, and
// the one line says why. (Windows: the console events' request, in process.)
TEST_F(CommandOnBuiltModule, InterruptionsAndFileSizeLimitsLeaveNoTemporaryFileAndOneLine) {
    const std::string in = WriteInput("in.wav", std::vector<float>(4800, 0.25f));
    const std::string out = Path("out.wav"), errors = Path("errors.txt");
    auto awaitTemporaryFile = [this] {
        for (int i = 0; i < 6000 && !HoldsTemporaryFile(dir_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return HoldsTemporaryFile(dir_);
    };
    const std::vector<std::string> longRender = {"render", module_, "-i", in, "-o", out, "--tail", "3600"};
#if !defined(_WIN32)
    const struct {
        int signal;  // 0: none, the file-size limit ends the render
        int status;
        std::string line;
    } cases[] = {
        {SIGINT, 130, "aaxhost: stopped by SIGINT; its unfinished files were removed\n"},
        {SIGTERM, 143, "aaxhost: stopped by SIGTERM; its unfinished files were removed\n"},
        {SIGHUP, 129, "aaxhost: stopped by SIGHUP; its unfinished files were removed\n"},
        {0, kExitUsage, "aaxhost: cannot write " + out + ": File too large\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        std::ofstream(out) << "previous";
        const pid_t child = StartChild(longRender, c.signal == 0 ? 65536 : 0, errors);
        if (c.signal != 0) {
            ASSERT_TRUE(awaitTemporaryFile()) << Contents(errors);
            kill(child, c.signal);
        }
        EXPECT_EQ(FinishChild(child).status, c.status);
        EXPECT_EQ(Contents(errors), c.line);
        EXPECT_EQ(Contents(out), "previous");
        EXPECT_FALSE(HoldsTemporaryFile(dir_));
    }
#else
    std::ofstream(out) << "previous";
    std::thread console([&] {
        if (awaitTemporaryFile()) RequestInterrupt(130, "Ctrl-C");
    });
    const Outcome outcome = Run(longRender);
    console.join();
    RequestInterrupt(0, nullptr);
    EXPECT_EQ(outcome.status, 130);
    EXPECT_EQ(outcome.err, "aaxhost: stopped by Ctrl-C; its unfinished files were removed\n");
    EXPECT_EQ(Contents(out), "previous");
    EXPECT_FALSE(HoldsTemporaryFile(dir_));
#endif
}

// Inputs the render takes with a warning (one line each, with a count) or refuses, naming the
// file: a WAV shorter than its header, automation and MIDI past the end (in text files that
// start with a byte-order mark), and a standard MIDI file with a malformed data byte.
TEST_F(CommandOnBuiltModule, ShortAndLateInputsAreWarnedAboutAndMalformedMidiIsRefused) {
    const std::string in = WriteInput("in.wav", std::vector<float>(4800, 0.25f));
    const std::string shortIn = Path("short.wav"), lanes = Path("lanes.txt"), notes = Path("notes.txt"), smf = Path("bad.mid");
    fs::copy_file(in, shortIn);
    fs::resize_file(shortIn, fs::file_size(in) - 2400 * 4);  // half of the data
    std::ofstream(lanes) << "\xEF\xBB\xBF" "0 mix 0.5\n1s mix 1\n2s mix 0\n";
    std::ofstream(notes) << "\xEF\xBB\xBF" "0 0x90 60 100\n9600 0x80 60 0\n";
    const char track[] = "MThd\0\0\0\6\0\0\0\1\1\xE0MTrk\0\0\0\x8\0\xB0\xFB\0\0\xFF\x2F\0";
    std::ofstream(smf, std::ios::binary).write(track, sizeof track - 1);
    const std::string end = " at or past the end of the render (4800 frames)";
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string err;
    } cases[] = {
        {{"-i", shortIn}, kExitSuccess,
         "aaxhost: warning: " + shortIn + " is shorter than its header says: it holds 2400 frames of 4800; the render uses those\n"},
        {{"-i", in, "--automate", lanes}, kExitSuccess, "aaxhost: warning: 2 automation points" + end + " were not reached\n"},
        {{"-i", in, "--midi", notes}, kExitSuccess, "aaxhost: warning: 1 MIDI event" + end + " was not sent\n"},
        {{"-i", in, "--midi", smf}, kExitUsage,
         "aaxhost: " + smf + ": MIDI track 1: byte 0xFB at offset 24 should be a data byte (below 0x80)\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = {"render", module_, "-o", Path("out.wav")};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const Outcome outcome = Run(arguments);
        EXPECT_EQ(outcome.status, c.status) << c.arguments.back();
        EXPECT_EQ(outcome.err, c.err);
    }
}

// Each sample format renders the same bytes twice (no timestamp anywhere), within a step of the
// float render (two for the dithered 16 bits), in a file of its size.
TEST_F(CommandOnBuiltModule, EverySampleFormatIsReproducibleAndCloseToTheFloatRender) {
    std::vector<float> ramp(4800);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<float>(i) / 4800.0f - 0.5f;
    const std::string in = WriteInput("in.wav", ramp);
    AudioData reference;
    const struct {
        const char* format;
        int32_t bytes;
        double tolerance;
    } formats[] = {{"float32", 4, 0.0}, {"pcm24", 3, 1.0 / 8388608}, {"pcm16", 2, 2.0 / 32768}};
    for (const auto& f : formats) {
        SCOPED_TRACE(f.format);
        for (const char* name : {"a.wav", "b.wav"}) {
            ASSERT_EQ(Run({"render", module_, "-i", in, "-o", Path(name), "--format", f.format, "--set", "mix=0"}).status, kExitSuccess);
        }
        EXPECT_EQ(Contents(Path("a.wav")), Contents(Path("b.wav")));
        const uintmax_t size = fs::file_size(Path("a.wav")), data = 4800u * static_cast<uintmax_t>(f.bytes);
        EXPECT_TRUE(size > data && size < data + 128) << size;
        AudioData rendered;
        ASSERT_TRUE(ReadWavFile(Path("a.wav"), &rendered, nullptr));
        if (reference.channels.empty()) reference = rendered;
        ASSERT_EQ(rendered.Frames(), 4800);
        for (size_t i = 0; i < 4800; i += 7) EXPECT_NEAR(rendered.channels[0][i], reference.channels[0][i], f.tolerance) << i;
    }
}
