// The command line: exit statuses, one-line reasons, help texts and install-dir.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "Cli.h"
#include "FakeModule.h"
#include "support/registry_sandbox.h"

using namespace aaxhost;

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

Outcome Invoke(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "aaxhost");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    std::ostringstream out, err;
    const int status = RunCommand(static_cast<int>(argv.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}

bool OneLine(const std::string& text) {
    return !text.empty() && text.find('\n') == text.size() - 1;
}

}  // namespace

TEST(Command, UsageErrorsExitTwoWithOneLineReason) {
    const std::vector<std::vector<std::string>> cases = {
        {"frobnicate"},
        {"describe"},
        {"describe", "/no/such/module.so"},
        {"render", "m.so", "-o", "out.wav"},
        {"render", "m.so", "-i", "in.wav", "-o", "out.wav", "--set", "time"},
        {"render", "m.so", "-i", "in.wav", "-o", "out.wav", "--set", "time=1.5"},
        {"render", "m.so", "-i", "in.wav", "-o", "out.wav", "--meter", "4/3"},
        {"render", "m.so", "-i", "in.wav", "-o", "out.wav", "--stop-at", "1"},
        {"render", "m.so", "-i", "in.wav", "-o", "out.wav", "--block", "0"},
        {"params", "m.so", "--layout", "surround"},
        {"validate", "m.so", "--strictness", "11"},
        {"validate", "m.so", "--frobnicate"},
        {"install-dir", "a", "b"},
    };
    for (const auto& arguments : cases) {
        const Outcome outcome = Invoke(arguments);
        EXPECT_EQ(outcome.status, kExitUsage) << arguments[0] << " " << outcome.err;
        EXPECT_TRUE(OneLine(outcome.err)) << outcome.err;
        EXPECT_EQ(outcome.err.rfind("aaxhost: ", 0), 0u) << outcome.err;
    }
    EXPECT_EQ(Invoke({"render", "m.so", "-i", "in.wav", "-o", "out.wav", "--set", "time=1.5"}).err,
              "aaxhost: --set time=1.5: the value must be a normalized number from 0 to 1\n");
}

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
