// The command line: exit statuses, one-line reasons, help texts and install-dir.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "AudioFile.h"
#include "Cli.h"
#include "CommandOutcome.h"
#include "FakeModule.h"
#include "InstallDirectory.h"
#include "LastWords.h"
#include "platform/platform.h"
#include "platform/registry_writer.h"
#include "support/registry_sandbox.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

using namespace aaxhost;
namespace fs = std::filesystem;

namespace {

using hosttest::Invoke;
using hosttest::Outcome;

bool OneLine(const std::string& text) {
    return !text.empty() && text.find('\n') == text.size() - 1;
}

}  // namespace

// Every case runs against a folder of prepared inputs; none may leave anything behind.
TEST(Command, BadInputsGiveTheirExitStatusAndOneLine) {
    testsupport::RegistrySandbox sandbox;
    const fs::path dir = fs::temp_directory_path() / ("aaxhost-cli-" + std::to_string(std::random_device{}() % 1000000000u));
    fs::create_directories(dir / "folder");
    const std::string in = (dir / "in.wav").string(), out = (dir / "out.wav").string(), folder = (dir / "folder").string();
    AudioData audio;
    audio.channels = {std::vector<float>(480, 0.25f)};
    ASSERT_TRUE(WriteWavFile(in, audio, 16, false, nullptr));
    auto write = [&dir](const char* name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return (dir / name).string();
    };
    const std::string zeros = write("zeros.bin", "");
    fs::resize_file(zeros, (size_t{16} << 20) + 1);  // sparse: larger than the limit, all zero bytes
    const std::string division0 = write("division0.mid", std::string("MThd\0\0\0\6\0\0\0\1\0\0", 14));
    const std::string badPoint = write("bad.txt", "0 mix 0.5\n1s mix 2\n");
    const std::string text = write("text.txt", "not a module\n");
    const std::string truncated = write("truncated.bin", std::string("AAXHSTAT\1\0\0\0\1\0\0\0", 16));
    const std::set<fs::path> before{fs::directory_iterator(dir), fs::directory_iterator()};
    const std::vector<std::string> render = {"render", "m.so", "-i", in, "-o", out};
    auto with = [&render](std::vector<std::string> more) {
        more.insert(more.begin(), render.begin(), render.end());
        return more;
    };
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string reason;  // a part of the one line
    } cases[] = {
        {{"frobnicate"}, kExitUsage, "unknown command \"frobnicate\""},
        {{"describe"}, kExitUsage, "describe takes one MODULE"},
        {{"describe", "/no/such/module.so"}, kExitUsage, "no such file: /no/such/module.so"},
        {{"render", "m.so", "-o", out}, kExitUsage, "render needs -i IN.wav and -o OUT.wav"},
        {with({"--set", "time"}), kExitUsage, "--set needs ID=VALUE"},
        {with({"--set", "time=1.5"}), kExitUsage, "--set time=1.5: the value must be a normalized number from 0 to 1"},
        {with({"--meter", "4/3"}), kExitUsage, "--meter must be N/D"},
        {with({"--stop-at", "1"}), kExitUsage, "--stop-at needs --play"},
        {with({"--block", "0"}), kExitUsage, "--block must be 1 to 65536"},
        {with({"--format", "pcm8"}), kExitUsage, "--format must be float32, pcm24 or pcm16"},
        {with({"--report", "-"}), kExitUsage, "--report -: only -o writes to standard output"},
        {with({"--play=0"}), kExitUsage, "--play takes no value"},
        {{"params", "m.so", "--json=no"}, kExitUsage, "--json takes no value"},
        {{"params", "m.so", "--layout", "surround"}, kExitUsage, "--layout must be mono or stereo"},
        {{"params", "m.so", "--layout", "mono", "--layout=stereo"}, kExitUsage, "--layout is given more than once"},
        {{"params", "m.so", "--state-in", folder}, kExitUsage, "--state-in: " + folder + " is a folder, not a file"},
        {{"params", "m.so", "--state-in", (dir / "none.bin").string()}, kExitUsage, "--state-in: no such file"},
        {{"params", "m.so", "--state-in", in}, kExitUsage, in + ": not an aaxhost state file"},
        {{"params", "m.so", "--state-in", truncated}, kExitUsage, truncated + ": state file is truncated"},
        {with({"-o", (dir / "other.wav").string()}), kExitUsage, "-o is given more than once"},
        {{"render", "m.so", "-i", in, "-o", in}, kExitUsage, "-i and -o name the same file"},
        {with({"--state-out", (dir / "." / "out.wav").string()}), kExitUsage, "-o and --state-out name the same file"},
        {{"render", "m.so", "-i", (dir / "none.wav").string(), "-o", out}, kExitUsage, "-i: no such file"},
        {with({"--state-in", folder}), kExitUsage, "--state-in: " + folder + " is a folder, not a file"},
        {with({"--midi", folder}), kExitUsage, "--midi: " + folder + " is a folder, not a file"},
        {with({"--state-in", in}), kExitUsage, in + ": not an aaxhost state file"},
        {with({"--midi", zeros}), kExitUsage, "neither a standard MIDI file nor MIDI event text"},
        {with({"--midi", division0}), kExitUsage, "MIDI file division is 0"},
        {with({"--automate", zeros}), kExitUsage, "is larger than 16 MiB, the limit for an automation file"},
        {with({"--automate", badPoint}), kExitUsage, "line 2: the value must be a normalized number from 0 to 1: 2"},
        {with({"--ramp", "mix=0:0,1s"}), kExitUsage, "\"1s\" is not TIME:VALUE"},
        {{"render", "m.so", "-i", in, "-o", folder}, kExitUsage, folder + " is a folder, not a file"},
        {{"render", "m.so", "-i", in, "-o", (dir / "none" / "out.wav").string()}, kExitUsage, "does not exist"},
        {with({}), kExitUsage, "no such file: m.so"},  // every input passed; the module is missing
        {{"validate", "m.so", "--strictness", "11"}, kExitUsage, "--strictness must be 1 to 10"},
        {{"validate", "m.so", "--frobnicate"}, kExitUsage, "unknown option --frobnicate for validate"},
        {{"validate", text}, kExitUsage, "cannot load " + fs::absolute(text).string()},
        {{"install-dir", "a", "b"}, kExitUsage, "install-dir takes at most one DIR"},
        {{"install-dir", "/" + std::string(999, 'd')}, kExitUsage, "at most 999 characters"},
        {{"install-dir", ""}, kExitUsage, "DIR is empty"},
        {{"gui", "m.so", "--screenshot", (dir / "editor.jpg").string()}, kExitUsage, "--screenshot writes PNG only"},
        {{"help", "frobnicate"}, kExitUsage, "unknown command \"frobnicate\""},
        {{"-q", "describe", "m.so", "--verbose"}, kExitUsage, "--quiet and --verbose cannot be given together"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = Invoke(c.arguments);
        EXPECT_EQ(outcome.status, c.status) << c.arguments[0] << " " << outcome.err;
        EXPECT_TRUE(OneLine(outcome.err)) << outcome.err;
        EXPECT_EQ(outcome.err.rfind("aaxhost: ", 0), 0u) << outcome.err;
        EXPECT_NE(outcome.err.find(c.reason), std::string::npos) << outcome.err;
    }
    EXPECT_EQ(std::set<fs::path>(fs::directory_iterator(dir), fs::directory_iterator()), before);
    std::error_code ec;
    fs::remove_all(dir, ec);
}

// The forms users know from other tools: the version, help for a command asked for either
// way, and how much a command says.
TEST(Command, FollowsTheConventionsOfCommandLineTools) {
    const Outcome version = Invoke({"--version"});
    EXPECT_EQ(version.status, kExitSuccess);
    EXPECT_EQ(version.out, std::string("aaxhost ") + AAXW_PROJECT_VERSION + "\n");
    const std::string mainHelp = Invoke({"--help"}).out;
    for (const char* command : {"describe", "params", "render", "validate", "install-dir", "gui"}) {
        const Outcome asked = Invoke({"help", command});
        EXPECT_EQ(asked.status, kExitSuccess) << command;
        EXPECT_EQ(asked.out, Invoke({command, "--help"}).out) << command;
        EXPECT_EQ(asked.out, Invoke({"-v", command, "-h"}).out) << command;
        EXPECT_NE(asked.out, mainHelp) << command;
        EXPECT_NE(asked.out.find(std::string("Usage: aaxhost ") + command), std::string::npos) << asked.out;
    }
    EXPECT_EQ(Invoke({"help"}).out, mainHelp);

    testsupport::RegistrySandbox sandbox;
    const std::string directory = (fs::temp_directory_path() / "aaxhost-quiet").string();
    const struct {
        std::vector<std::string> arguments;
        bool saysWhatItDid;  // "install directory set to ..." and the note that VST64 is empty
    } runs[] = {
        {{"install-dir", directory}, true},
        {{"-q", "install-dir", directory}, false},
        {{"install-dir", "--quiet", directory}, false},
        {{"--verbose", "install-dir", directory}, true},
    };
    for (const auto& run : runs) {
        const Outcome outcome = Invoke(run.arguments);
        EXPECT_EQ(outcome.status, kExitSuccess) << outcome.err;
        EXPECT_EQ(outcome.out.empty(), !run.saysWhatItDid) << run.arguments[0] << ": " << outcome.out;
        EXPECT_EQ(outcome.err.find("aaxhost: note: ") == 0, run.saysWhatItDid) << run.arguments[0] << ": " << outcome.err;
    }
    // Quiet keeps what was asked for, and errors.
    EXPECT_EQ(Invoke({"-q", "install-dir"}).out, directory + "\n");
    EXPECT_EQ(Invoke({"-q", "install-dir", "a", "b"}).status, kExitUsage);
}

#if !defined(_WIN32)
// A crash while validate runs ends with the words set for it and exit status 1.
TEST(Command, LastWordsAreSpokenWhenTheProcessCrashes) {
    int pipes[2][2];
    ASSERT_EQ(pipe(pipes[0]), 0);
    ASSERT_EQ(pipe(pipes[1]), 0);
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipes[0][1], 1);
        dup2(pipes[1][1], 2);
        LastWords words;
        words.Set("FAIL editor: the process crashed (@CAUSE@)\n3 passed, 1 failed\n", "aaxhost: @CAUSE@\n");
        raise(SIGSEGV);
        _exit(0);
    }
    close(pipes[0][1]);
    close(pipes[1][1]);
    auto drain = [](int fd) {
        std::string text;
        char buffer[256];
        for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
        close(fd);
        return text;
    };
    const std::string out = drain(pipes[0][0]), err = drain(pipes[1][0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(out, "FAIL editor: the process crashed (signal SIGSEGV)\n3 passed, 1 failed\n");
    EXPECT_EQ(err, "aaxhost: signal SIGSEGV\n");
}
#endif

TEST(Command, HelpDocumentsEachCommand) {
    EXPECT_EQ(Invoke({"--help"}).status, kExitSuccess);
    const Outcome render = Invoke({"render", "--help"});
    EXPECT_EQ(render.status, kExitSuccess);
    EXPECT_NE(render.out.find("--set =1"), std::string::npos);
    EXPECT_NE(render.out.find("--stop-at"), std::string::npos);
    EXPECT_NE(Invoke({"install-dir", "--help"}).out.find("VANTRELO_REGISTRY_FILE"), std::string::npos);
    EXPECT_NE(Invoke({"validate", "--help"}).out.find("--strictness"), std::string::npos);
    EXPECT_NE(Invoke({"describe", "--help"}).out.find("--json"), std::string::npos);
    EXPECT_NE(Invoke({"params", "--help"}).out.find("--layout"), std::string::npos);
}

TEST(Command, ValidateReportsAModuleThatDoesNotLoadAsAFailedCheck) {
    const Outcome outcome = Invoke({"validate", "/no/such/module.so"});
    EXPECT_EQ(outcome.status, kExitUsage);  // not a module: an input error
    EXPECT_NE(outcome.out.find("FAIL module loads"), std::string::npos);
    EXPECT_NE(outcome.out.find("0 passed, 1 failed\n"), std::string::npos);
    EXPECT_TRUE(OneLine(outcome.err)) << outcome.err;
    const Outcome json = Invoke({"validate", "/no/such/module.so", "--json"});
    EXPECT_NE(json.out.find("\"failed\": 1"), std::string::npos) << json.out;
}

TEST(Command, InstallDirSetsAndShowsTheRegistryValue) {
    testsupport::RegistrySandbox sandbox;
    const Outcome unset = Invoke({"install-dir"});
    EXPECT_EQ(unset.status, kExitFailed);
    EXPECT_TRUE(OneLine(unset.err));
    const std::string directory = (std::filesystem::temp_directory_path() / "aaxhost-install").string();
    const Outcome set = Invoke({"install-dir", directory});
    ASSERT_EQ(set.status, kExitSuccess) << set.err;
    const Outcome shown = Invoke({"install-dir"});
    EXPECT_EQ(shown.status, kExitSuccess);
    EXPECT_EQ(shown.out, directory + "\n");
}

// validate points the module at an empty folder for one check; afterwards the registry holds
// exactly what it held before: the old value, or no value and no key it did not have.
TEST(Command, AMissingEffectForOneCheckLeavesTheRegistryAsItWas) {
    testsupport::RegistrySandbox sandbox;
    const auto root = platform::RootKey::LocalMachine;
    const uint32_t view = platform::kKeyWow64_64Key;
    const auto keyExists = [&](const char* subKey) {
        platform::RegistryKey key = nullptr;
        if (platform::RegistryOpenKey(root, subKey, platform::kKeyRead | view, &key) != 0) return false;
        platform::RegistryCloseKey(key);
        return true;
    };
    const auto shown = [] { return Invoke({"install-dir"}); };

    platform::RegistryDeleteKey(root, "Software\\Brenlock", view);
    { aaxhost::ScopedMissingEffect missing; EXPECT_TRUE(missing.Active()); }
    EXPECT_FALSE(keyExists(testsupport::kEffectKey));
    EXPECT_FALSE(keyExists("Software\\Brenlock"));

    ASSERT_EQ(platform::RegistryWriteText(root, testsupport::kEffectKey, view, "other", platform::kRegistryString, "kept", 5),
              0);
    { aaxhost::ScopedMissingEffect missing; }
    EXPECT_TRUE(keyExists(testsupport::kEffectKey)) << "the maker's key and its other values stay";
    EXPECT_EQ(shown().status, kExitFailed) << "and no install directory was left in it";

    sandbox.SetInstallDirectory("/where/it/was");
    { aaxhost::ScopedMissingEffect missing; }
    EXPECT_EQ(shown().out, "/where/it/was\n");

    // Both views come back with their types and bytes (an expandable value stays expandable).
    const auto stored = [&](uint32_t inView) {
        std::pair<uint32_t, std::vector<uint8_t>> value{0, std::vector<uint8_t>(256)};
        platform::RegistryKey key = nullptr;
        if (platform::RegistryOpenKey(root, testsupport::kEffectKey, platform::kKeyRead | inView, &key) != 0) return value;
        uint32_t size = 256;
        if (platform::RegistryQueryValue(key, "installdirectory", value.second.data(), &size, &value.first) != 0) size = 0;
        value.second.resize(size);
        platform::RegistryCloseKey(key);
        return value;
    };
    sandbox.SetInstallDirectory("%AAXW_TEST_ROOT%\\Delay", false, platform::kRegistryExpandString);
    sandbox.SetInstallDirectory("/thirty/two", true);
    const auto before64 = stored(view);
    const auto before32 = stored(platform::kKeyWow64_32Key);
    {
        aaxhost::ScopedMissingEffect missing;
        EXPECT_NE(stored(platform::kKeyWow64_32Key), before32) << "the 32-bit view names no effect either";
    }
    EXPECT_EQ(stored(view), before64);
    EXPECT_EQ(stored(platform::kKeyWow64_32Key), before32);
    EXPECT_EQ(before64.first, platform::kRegistryExpandString);
}
