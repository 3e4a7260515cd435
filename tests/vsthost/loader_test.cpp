// The loader through the real registry (or its replacement on Linux), the real library loader
// and the real test VST 2 library.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
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
int32_t RecordQueryValue(platform::RegistryKey key, const char* name, uint8_t* data, uint32_t* size) {
    ++loaderLog.queries;
    return platform::RegistryQueryValue(key, name, data, size);
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
    ops.queryValue = RecordQueryValue;
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
    std::string ExpectedLibraryPath(const std::string& directory) const {
        return directory + platform::kPathSeparatorText + "VST64" + platform::kPathSeparatorText +
               platform::kEffectLibraryFileName;
    }

    TestEffectInstall install;
};

const std::vector<uint32_t> kAllThreeOpens = {0x20119, 0x20119, 0x20219};

}  // namespace

TEST_F(Loader, LoadsTheInstalledEffectThroughMainAndClearsUser) {
    RecordingEffect effect;
    effect.effect()->user = &effect;  // stale value the loader must clear
    install.Serve(&effect);

    vst2::AEffect* loaded = LoadRecorded();

    ASSERT_EQ(loaded, effect.effect());
    EXPECT_EQ(loaded->user, nullptr);
    EXPECT_EQ(install.MainCalls(), 1);
    EXPECT_EQ(install.LastHostCallback(), &VstCallBack::HostCallback);
    EXPECT_EQ(loaderLog.openMasks, std::vector<uint32_t>{0x20119});
    ASSERT_EQ(loaderLog.loadedPaths.size(), 1u);
    EXPECT_EQ(loaderLog.loadedPaths[0], ExpectedLibraryPath(install.InstallDirectory()));
    EXPECT_EQ(loaderLog.symbols, std::vector<std::string>{"main"});
    EXPECT_EQ(loaderLog.closedKeys, loaderLog.openedKeys);
}

TEST_F(Loader, DirectoryEndingInASeparatorGetsNoSecondOne) {
    install.Registry().SetInstallDirectory(install.InstallDirectory() + platform::kPathSeparatorText);
    RecordingEffect effect;
    install.Serve(&effect);

    EXPECT_EQ(LoadRecorded(), effect.effect());
    ASSERT_EQ(loaderLog.loadedPaths.size(), 1u);
    EXPECT_EQ(loaderLog.loadedPaths[0], ExpectedLibraryPath(install.InstallDirectory()));
}

TEST_F(Loader, EmptyDirectoryStillGetsTheSeparatorFirst) {
    install.Registry().SetInstallDirectory("");
    loaderLog.fakeLoad = true;

    EXPECT_EQ(LoadRecorded(), nullptr);
    ASSERT_EQ(loaderLog.loadedPaths.size(), 1u);
    EXPECT_EQ(loaderLog.loadedPaths[0], ExpectedLibraryPath(""));
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
    ASSERT_EQ(platform::RegistryWriteValue(platform::RootKey::LocalMachine, testsupport::kEffectKey,
                                           platform::kKeyWow64_64Key, "otherValue", other, sizeof other),
              0);

    EXPECT_EQ(LoadRecorded(), nullptr);
    EXPECT_EQ(loaderLog.queries, 1);
    ASSERT_EQ(loaderLog.openedKeys.size(), 1u);
    EXPECT_EQ(loaderLog.closedKeys, loaderLog.openedKeys);
    EXPECT_TRUE(loaderLog.loadedPaths.empty());
}

TEST_F(Loader, ValueWithoutTerminatorIsTerminatedWithinTheBuffer) {
    const std::string directory = install.InstallDirectory();
    install.Registry().SetInstallDirectoryBytes(directory.data(), static_cast<unsigned>(directory.size()));
    RecordingEffect effect;
    install.Serve(&effect);

    EXPECT_EQ(LoadRecorded(), effect.effect());
    ASSERT_EQ(loaderLog.loadedPaths.size(), 1u);
    EXPECT_EQ(loaderLog.loadedPaths[0], ExpectedLibraryPath(directory));
}

TEST_F(Loader, LongestDirectoryFitsAndLongerValuesAreRefused) {
    loaderLog.fakeLoad = true;
    const std::string longest(999, 'd');
    install.Registry().SetInstallDirectory(longest);  // 1000 bytes with the terminator
    EXPECT_EQ(LoadRecorded(), nullptr);
    ASSERT_EQ(loaderLog.loadedPaths.size(), 1u);
    EXPECT_EQ(loaderLog.loadedPaths[0], ExpectedLibraryPath(longest));

    // 1000 characters cannot be terminated within the 1000-byte limit.
    loaderLog = LoaderLog{};
    loaderLog.fakeLoad = true;
    const std::string tooLong(1000, 'd');
    install.Registry().SetInstallDirectoryBytes(tooLong.data(), static_cast<unsigned>(tooLong.size()));
    EXPECT_EQ(LoadRecorded(), nullptr);
    EXPECT_TRUE(loaderLog.loadedPaths.empty());
    EXPECT_EQ(loaderLog.closedKeys, loaderLog.openedKeys);

    loaderLog = LoaderLog{};
    loaderLog.fakeLoad = true;
    install.Registry().SetInstallDirectory(std::string(4000, 'd'));
    EXPECT_EQ(LoadRecorded(), nullptr);
    EXPECT_TRUE(loaderLog.loadedPaths.empty());
    EXPECT_EQ(loaderLog.closedKeys.size(), 1u);
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
