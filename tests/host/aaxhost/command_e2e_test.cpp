// The command on the built module and reference delay, as a user runs it: a missing effect,
// outputs that are replaced only when complete, automation over time and memory that stays
// flat however long the render (the last two in a child process, on Linux).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "Cli.h"
#include "CommandOutcome.h"
#include "PluginModule.h"
#include "Render.h"
#include "StateFile.h"
#include "platform/platform.h"
#include "support/registry_sandbox.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/resource.h>
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
    int status = -1;
    long peakKilobytes = 0;
};

// aaxhost in a child process with its output discarded. A fileLimit caps every file the child
// writes, as a full disk would.
ChildRun RunChild(std::vector<std::string> arguments, rlim_t fileLimit = 0) {
    arguments.insert(arguments.begin(), Built("aaxhost").string());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        if (fileLimit > 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{fileLimit, fileLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    ChildRun run;
    int status = 0;
    rusage usage{};
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) {
        run.status = WEXITSTATUS(status);
        run.peakKilobytes = usage.ru_maxrss;
    }
    return run;
}
#endif

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
    EXPECT_EQ(std::string(outcome.out), "wrote " + Path("out.wav") + " (9600 frames, 1 channels, 48000 Hz)\napplied " +
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
