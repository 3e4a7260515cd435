// The loader through the real registry (or its replacement on Linux), the real library loader
// and the real test VST 2 library.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/registry_writer.h"
#include "support/RecordingEffect.h"
#include "support/TestEffectInstall.h"
#include "support/registry_sandbox.h"
#include "vsthost/LoadVstPlugin.h"
#include "vsthost/VstCallBack.h"

namespace {

// Records what the loader asks of the platform, then passes each request on (or fails it).
struct LoaderLog {
    std::vector<uint32_t> openMasks;
    std::vector<platform::RegistryKey> openedKeys;
    std::vector<platform::RegistryKey> closedKeys;
    int queries = 0;
    std::vector<std::string> loadedPaths;
    std::vector<std::string> symbols;
    int failFirstOpens = 0;  // opens that fail before reaching the registry
    bool fakeLoad = false;   // record the path, load nothing
    bool hideMain = false;
};
LoaderLog loaderLog;

int32_t RecordOpenKey(platform::RootKey root, const char* subKey, uint32_t access, platform::RegistryKey* key) {
    loaderLog.openMasks.push_back(access);
    if (loaderLog.failFirstOpens > 0) {
        --loaderLog.failFirstOpens;
        return platform::kRegistryNotFound;
    }
    const int32_t result = platform::RegistryOpenKey(root, subKey, access, key);
    if (result == platform::kRegistrySuccess) loaderLog.openedKeys.push_back(*key);
    return result;
}
int32_t RecordQueryText(platform::RegistryKey key, const char* name, char* text, uint32_t* size, uint32_t* type) {
    ++loaderLog.queries;
    return platform::RegistryQueryText(key, name, text, size, type);
}
int32_t RecordCloseKey(platform::RegistryKey key) {
    loaderLog.closedKeys.push_back(key);
    return platform::RegistryCloseKey(key);
}
platform::LibraryHandle RecordLoadLibrary(const char* path) {
    loaderLog.loadedPaths.emplace_back(path);
    return loaderLog.fakeLoad ? nullptr : platform::LoadLibraryFile(path);
}
void* RecordLookupSymbol(platform::LibraryHandle library, const char* name) {
    loaderLog.symbols.emplace_back(name);
    if (loaderLog.hideMain && std::string(name) == "main") return nullptr;
    return platform::LookupSymbol(library, name);
}

vst2::AEffect* LoadRecorded() {
    VstLoaderOps ops;
    ops.openKey = RecordOpenKey;
    ops.queryText = RecordQueryText;
    ops.closeKey = RecordCloseKey;
    ops.loadLibrary = RecordLoadLibrary;
    ops.lookupSymbol = RecordLookupSymbol;
    return LoadVstPluginWith(ops);
}

class Loader : public ::testing::Test {
protected:
    void SetUp() override {
        loaderLog = LoaderLog{};
        ASSERT_TRUE(install.Ok()) << install.Error();
    }
    static std::string ExpectedLibraryPath(const std::string& directory) {
        return directory + platform::kPathSeparatorText + "VST64" + platform::kPathSeparatorText +
               platform::kEffectLibraryFileName;
    }

    TestEffectInstall install;
};

const std::vector<uint32_t> kAllThreeOpens = {0x20119, 0x20119, 0x20219};

// value is UTF-8 (the C library's own calls would take it in the system's code page).
void SetVariable(const char* name, const std::string& value) {
#if defined(_WIN32)
    const auto wide = [](const std::string& text) {
        return std::filesystem::path(std::u8string(text.begin(), text.end())).wstring();
    };
    _wputenv_s(wide(name).c_str(), wide(value).c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

// Replaces each "{dir}" in text with directory.
std::string WithDirectory(std::string text, const std::string& directory) {
    for (size_t at = text.find("{dir}"); at != std::string::npos; at = text.find("{dir}", at + directory.size())) {
        text.replace(at, 5, directory);
    }
    return text;
}

// Forward slashes as backslashes, as Windows reads a path.
std::string Normal(std::string path) {
    for (char& c : path) {
        if (platform::IsPathSeparator(c)) c = platform::kPathSeparator;
    }
    return path;
}

}  // namespace

TEST_F(Loader, LoadsTheInstalledEffectThroughMainAndClearsUser) {
    RecordingEffect effect;
    effect.effect()->user = &effect;  // stale value the loader must clear
    install.Serve(&effect);

    vst2::AEffect* loaded = LoadRecorded();

    ASSERT_EQ(loaded, effect.effect());
    EXPECT_NE(install.InstallDirectory().find("\xC5\x81\xC3\xB3" "d\xC5\xBA"), std::string::npos)
        << "the effect's folder is named outside every single-byte code page";
    EXPECT_EQ(loaded->user, nullptr);
    EXPECT_EQ(install.MainCalls(), 1);
    EXPECT_EQ(install.LastHostCallback(), &VstCallBack::HostCallback);
    EXPECT_EQ(loaderLog.openMasks, std::vector<uint32_t>{0x20119});
    ASSERT_EQ(loaderLog.loadedPaths.size(), 1u);
    EXPECT_EQ(loaderLog.loadedPaths[0], ExpectedLibraryPath(install.InstallDirectory()));
    EXPECT_EQ(loaderLog.symbols, std::vector<std::string>{"main"});
    EXPECT_EQ(loaderLog.closedKeys, loaderLog.openedKeys);
}

// The forms a directory value takes on real machines, and the values that cannot be used, after
// which the 32-bit view is read.
TEST_F(Loader, FindsTheLibraryThroughEachValueFormAndSkipsUnusableValues) {
    struct Stored {
        bool view32;
        std::string text;  // "{dir}" is the folder that holds VST64/<library>
        uint32_t type = platform::kRegistryString;
        bool terminated = true;
        const char* name = "installdirectory";
    };
    struct Form {
        const char* name;
        std::vector<Stored> values;
        bool found;
        bool from32;  // found through the 32-bit view, or nothing found after reading it
    };
    const std::string tooLong(kVstInstallValueLimit, 'd');
    SetVariable("AAXW_TEST_EFFECT_ROOT", install.InstallDirectory());
    const Form forms[] = {
        {"plain", {{false, "{dir}"}}, true, false},
        {"ending in a separator", {{false, std::string("{dir}") + platform::kPathSeparatorText}}, true, false},
        {"forward slashes", {{false, "{dir}/"}}, true, false},
        {"quoted", {{false, "\"{dir}\""}}, true, false},
        {"quoted, with spaces inside and after", {{false, "\"{dir}  \"   "}}, true, false},
        {"trailing spaces", {{false, "{dir}   "}}, true, false},
        {"expandable", {{false, "%AAXW_TEST_EFFECT_ROOT%", platform::kRegistryExpandString}}, true, false},
        {"without terminator", {{false, "{dir}", platform::kRegistryString, false}}, true, false},
        {"64-bit key without the value", {{false, "{dir}", platform::kRegistryString, true, "other"}, {true, "{dir}"}},
         true, true},
        {"empty 64-bit value", {{false, ""}, {true, "{dir}"}}, true, true},
        {"relative 64-bit value", {{false, "VantreloDelay"}, {true, "{dir}"}}, true, true},
        {"64-bit folder without the library",
         {{false, std::string("{dir}") + platform::kPathSeparatorText + "nowhere"}, {true, "{dir}"}}, true, true},
        {"64-bit value too long to read", {{false, tooLong}, {true, "{dir}"}}, true, true},
        {"64-bit value too long, unterminated", {{false, tooLong, platform::kRegistryString, false}, {true, "{dir}"}},
         true, true},
        {"nothing usable in either view", {{false, "\"\"  "}, {true, "VantreloDelay"}}, false, true},
    };
    for (const Form& form : forms) {
        SCOPED_TRACE(form.name);
        install.Registry().Clear();
        for (const Stored& value : form.values) {
            std::string text = WithDirectory(value.text, install.InstallDirectory());
            if (std::string(form.name) == "forward slashes") {
                for (char& c : text) c = platform::IsPathSeparator(c) ? '/' : c;
            }
            const uint32_t view = value.view32 ? platform::kKeyWow64_32Key : platform::kKeyWow64_64Key;
            const uint32_t size = static_cast<uint32_t>(text.size() + (value.terminated ? 1 : 0));
            ASSERT_EQ(platform::RegistryWriteText(platform::RootKey::LocalMachine, testsupport::kEffectKey, view, value.name,
                                                  value.type, text.c_str(), size),
                      0);
        }
        loaderLog = LoaderLog{};
        loaderLog.fakeLoad = true;

        EXPECT_EQ(LoadRecorded(), nullptr);
        std::vector<std::string> loaded;
        for (const std::string& path : loaderLog.loadedPaths) loaded.push_back(Normal(path));
        EXPECT_EQ(loaded, form.found ? std::vector<std::string>{ExpectedLibraryPath(install.InstallDirectory())}
                                     : std::vector<std::string>{});
        EXPECT_EQ(loaderLog.openMasks, form.from32 ? (std::vector<uint32_t>{0x20119, 0x20219})
                                                   : std::vector<uint32_t>{0x20119});
        EXPECT_EQ(loaderLog.closedKeys, loaderLog.openedKeys);
    }
}

TEST_F(Loader, KeyOnlyInThe32BitViewIsFoundOnTheThirdOpen) {
    install.Registry().Clear();
    install.Registry().SetInstallDirectory(install.InstallDirectory(), /*view32=*/true);
    RecordingEffect effect;
    install.Serve(&effect);

    EXPECT_EQ(LoadRecorded(), effect.effect());
    EXPECT_EQ(loaderLog.openMasks, kAllThreeOpens);
    EXPECT_EQ(loaderLog.openedKeys.size(), 1u);
    EXPECT_EQ(loaderLog.closedKeys, loaderLog.openedKeys);
}

TEST_F(Loader, SecondOpenInThe64BitViewIsUsedWhenTheFirstFails) {
    loaderLog.failFirstOpens = 1;
    RecordingEffect effect;
    install.Serve(&effect);

    EXPECT_EQ(LoadRecorded(), effect.effect());
    EXPECT_EQ(loaderLog.openMasks, (std::vector<uint32_t>{0x20119, 0x20119}));
}

TEST_F(Loader, NoKeyInEitherViewYieldsNullAfterThreeOpens) {
    install.Registry().Clear();

    EXPECT_EQ(LoadRecorded(), nullptr);
    EXPECT_EQ(loaderLog.openMasks, kAllThreeOpens);
    EXPECT_EQ(loaderLog.queries, 0);
    EXPECT_TRUE(loaderLog.closedKeys.empty());
    EXPECT_TRUE(loaderLog.loadedPaths.empty());
    EXPECT_EQ(install.MainCalls(), 0);
}

TEST_F(Loader, UnreadableValueYieldsNullAndClosesTheKey) {
    install.Registry().Clear();
    const char other[] = "elsewhere";
    ASSERT_EQ(platform::RegistryWriteText(platform::RootKey::LocalMachine, testsupport::kEffectKey,
                                          platform::kKeyWow64_64Key, "otherValue", platform::kRegistryString, other,
                                          sizeof other),
              0);

    EXPECT_EQ(LoadRecorded(), nullptr);
    EXPECT_EQ(loaderLog.queries, 1);
    ASSERT_EQ(loaderLog.openedKeys.size(), 1u);
    EXPECT_EQ(loaderLog.closedKeys, loaderLog.openedKeys);
    EXPECT_TRUE(loaderLog.loadedPaths.empty());
}

TEST_F(Loader, MissingLibraryYieldsNull) {
    install.Registry().SetInstallDirectory(install.InstallDirectory() + platform::kPathSeparatorText + "nowhere");

    EXPECT_EQ(LoadVstPlugin(), nullptr);
    EXPECT_EQ(install.MainCalls(), 0);
}

TEST_F(Loader, MissingMainYieldsNull) {
    loaderLog.hideMain = true;
    RecordingEffect effect;
    install.Serve(&effect);

    EXPECT_EQ(LoadRecorded(), nullptr);
    EXPECT_EQ(loaderLog.loadedPaths.size(), 1u);
    EXPECT_EQ(install.MainCalls(), 0);
}

TEST_F(Loader, MainReturningNullOrARecordWithoutTheMagicYieldsNull) {
    EXPECT_EQ(LoadVstPlugin(), nullptr);
    EXPECT_EQ(install.MainCalls(), 1);

    RecordingEffect notAnEffect;
    notAnEffect.effect()->magic = 0x56737451;  // 'VstQ'
    notAnEffect.effect()->user = &notAnEffect;
    install.Serve(&notAnEffect);
    EXPECT_EQ(LoadVstPlugin(), nullptr);
    EXPECT_EQ(install.MainCalls(), 2);
    EXPECT_TRUE(notAnEffect.calls.empty()) << "a record that is not an effect is not even closed";
    EXPECT_EQ(notAnEffect.effect()->user, &notAnEffect) << "nor written to";
}

TEST_F(Loader, CallbacksDuringMainGetTheNeutralAnswers) {
    RecordingEffect effect;
    // The record is the effect's unfinished work while main runs: `user` may hold anything.
    effect.effect()->user = reinterpret_cast<void*>(static_cast<uintptr_t>(0x10));
    effect.OnMain({vst2::audioMasterAutomate, 0, 0, nullptr, 0.5f});
    effect.OnMain({vst2::audioMasterVersion});
    effect.OnMain({vst2::audioMasterCurrentId});
    effect.OnMain({vst2::audioMasterGetTime});
    effect.OnMain({vst2::audioMasterGetSampleRate});
    install.Serve(&effect);

    ASSERT_EQ(LoadVstPlugin(), effect.effect());
    ASSERT_EQ(effect.hostReplies.size(), 5u);
    EXPECT_EQ(effect.hostReplies[0].result, 0);
    EXPECT_EQ(effect.hostReplies[1].result, 7);
    EXPECT_EQ(effect.hostReplies[2].result, 0x41415348);
    EXPECT_EQ(effect.hostReplies[3].result, 0);
    EXPECT_EQ(effect.hostReplies[4].result, 0);
    EXPECT_TRUE(effect.calls.empty());  // no object behind user, so no effSetSampleRate
}

TEST_F(Loader, EachInstanceGetsItsOwnEffectServedByTheOneCallback) {
    RecordingEffect first;
    RecordingEffect second;
    install.Serve(&first);
    install.Serve(&second);

    vst2::AEffect* a = LoadVstPlugin();
    vst2::AEffect* b = LoadVstPlugin();
    ASSERT_EQ(a, first.effect());
    ASSERT_EQ(b, second.effect());
    EXPECT_EQ(install.MainCalls(), 2);
    EXPECT_EQ(first.HostCallback(), second.HostCallback());

    VstCallBack callBackA(nullptr);
    VstCallBack callBackB(nullptr);
    callBackA.tempoValid = 1;
    callBackA.tempo = 90.0;
    callBackB.tempoValid = 1;
    callBackB.tempo = 150.0;
    a->user = &callBackA;
    b->user = &callBackB;
    callBackA.MarkAudioThread();
    callBackB.MarkAudioThread();

    EXPECT_EQ(first.CallHost({vst2::audioMasterGetTime}), reinterpret_cast<intptr_t>(&callBackA.timeInfo));
    EXPECT_EQ(second.CallHost({vst2::audioMasterGetTime}), reinterpret_cast<intptr_t>(&callBackB.timeInfo));
    EXPECT_EQ(first.hostReplies.back().time.tempo, 90.0);
    EXPECT_EQ(second.hostReplies.back().time.tempo, 150.0);
}
