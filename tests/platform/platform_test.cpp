#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "support/FailingAllocations.h"
#include "support/registry_sandbox.h"

using testsupport::kEffectKey;
using testsupport::RegistrySandbox;

namespace {

int32_t Query(uint32_t access, uint8_t* data, uint32_t* size) {
    platform::RegistryKey key = nullptr;
    int32_t result = platform::RegistryOpenKey(platform::RootKey::LocalMachine, kEffectKey, access, &key);
    if (result != 0) return result;
    result = platform::RegistryQueryValue(key, "installdirectory", data, size);
    platform::RegistryCloseKey(key);
    return result;
}

}  // namespace

TEST(Registry, KeepsThe64And32BitViewsApart) {
    RegistrySandbox sandbox;
    sandbox.SetInstallDirectory("C:\\Sixty Four\\");
    sandbox.SetInstallDirectory("C:\\Thirty Two", true);

    uint8_t data[64] = {};
    uint32_t size = sizeof data;
    ASSERT_EQ(Query(platform::kKeyRead | platform::kKeyWow64_64Key, data, &size), 0);
    EXPECT_EQ(size, 15u);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "C:\\Sixty Four\\");

    size = sizeof data;
    ASSERT_EQ(Query(platform::kKeyRead | platform::kKeyWow64_32Key, data, &size), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "C:\\Thirty Two");
}

TEST(Registry, MissingKeyAndValueFailAndSmallBuffersReportMoreData) {
    RegistrySandbox sandbox;
    platform::RegistryKey key = nullptr;
    EXPECT_NE(platform::RegistryOpenKey(platform::RootKey::LocalMachine, kEffectKey,
                                        platform::kKeyRead | platform::kKeyWow64_64Key, &key),
              0);

    sandbox.SetInstallDirectory("/a/long/enough/directory");
    uint8_t data[8];
    uint32_t size = sizeof data;
    EXPECT_EQ(Query(platform::kKeyRead | platform::kKeyWow64_64Key, data, &size), platform::kRegistryMoreData);

    ASSERT_EQ(platform::RegistryOpenKey(platform::RootKey::LocalMachine, kEffectKey,
                                        platform::kKeyRead | platform::kKeyWow64_64Key, &key),
              0);
    size = sizeof data;
    EXPECT_NE(platform::RegistryQueryValue(key, "nosuchvalue", data, &size), 0);
    platform::RegistryCloseKey(key);
}

TEST(Registry, ValueWithoutTerminatorComesBackAsStored) {
    RegistrySandbox sandbox;
    sandbox.SetInstallDirectoryBytes("abc", 3);
    uint8_t data[16];
    std::memset(data, 0x7F, sizeof data);
    uint32_t size = sizeof data;
    ASSERT_EQ(Query(platform::kKeyRead | platform::kKeyWow64_64Key, data, &size), 0);
    // Win32 may add a terminator to a string value that lacks one; it never removes bytes.
    ASSERT_GE(size, 3u);
    EXPECT_EQ(std::memcmp(data, "abc", 3), 0);
}

TEST(Registry, DeletingAValueLeavesTheKeyItsOtherValuesAndTheOtherView) {
    RegistrySandbox sandbox;
    const auto root = platform::RootKey::LocalMachine;
    sandbox.SetInstallDirectory("/sixty/four");
    sandbox.SetInstallDirectory("/thirty/two", true);
    ASSERT_EQ(platform::RegistryWriteValue(root, kEffectKey, platform::kKeyWow64_64Key, "other", "kept", 5), 0);

    EXPECT_EQ(platform::RegistryDeleteValue(root, kEffectKey, platform::kKeyWow64_64Key, "installdirectory"), 0);
    uint8_t data[32] = {};
    uint32_t size = sizeof data;
    EXPECT_NE(Query(platform::kKeyRead | platform::kKeyWow64_64Key, data, &size), 0);
    platform::RegistryKey key = nullptr;
    ASSERT_EQ(platform::RegistryOpenKey(root, kEffectKey, platform::kKeyRead | platform::kKeyWow64_64Key, &key), 0);
    size = sizeof data;
    EXPECT_EQ(platform::RegistryQueryValue(key, "other", data, &size), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "kept");
    platform::RegistryCloseKey(key);
    size = sizeof data;
    ASSERT_EQ(Query(platform::kKeyRead | platform::kKeyWow64_32Key, data, &size), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "/thirty/two");

    // Deleting what is not there is not an error.
    EXPECT_EQ(platform::RegistryDeleteValue(root, kEffectKey, platform::kKeyWow64_64Key, "installdirectory"), 0);
    EXPECT_EQ(platform::RegistryDeleteValue(root, "Software\\NoSuchMaker", platform::kKeyWow64_64Key, "x"), 0);
}

TEST(Library, MissingFilesAndSymbolsGiveNull) {
    EXPECT_EQ(platform::LoadLibraryFile("/no/such/library/anywhere.bin"), nullptr);
    EXPECT_STRNE(platform::LastLoadError(), "");
    EXPECT_EQ(platform::LookupSymbol(nullptr, "main"), nullptr);
}

TEST(Registry, RunningOutOfMemoryIsAFailedCallNotAnException) {
    RegistrySandbox sandbox;
    sandbox.SetInstallDirectory("/opt/vantrelo");
    // Fail each allocation of a whole read in turn: every call still answers with a code.
    for (int64_t allowed = 0;; ++allowed) {
        SCOPED_TRACE(allowed);
        uint8_t data[64] = {};
        uint32_t size = sizeof data;
        int32_t result = -1;
        bool triggered = false;
        {
            AllocationFailure failing(allowed);
            result = Query(platform::kKeyRead | platform::kKeyWow64_64Key, data, &size);
            triggered = failing.Triggered();
        }
        if (!triggered) {
            EXPECT_EQ(result, 0);
            EXPECT_STREQ(reinterpret_cast<char*>(data), "/opt/vantrelo");
            break;
        }
        EXPECT_NE(result, 0);
    }
}

TEST(Registry, SandboxPutsTheFileVariableBackWhenItGoes) {
#if defined(_WIN32)
    GTEST_SKIP() << "the real registry needs no variable";
#else
    const char* variable = platform::kRegistryFileVariable;
    const char* initial = std::getenv(variable);
    const std::string saved = initial != nullptr ? initial : "";
    setenv(variable, "/outer/registry", 1);
    {
        RegistrySandbox sandbox;
        EXPECT_STRNE(std::getenv(variable), "/outer/registry");
    }
    EXPECT_STREQ(std::getenv(variable), "/outer/registry");
    unsetenv(variable);
    { RegistrySandbox sandbox; }
    EXPECT_EQ(std::getenv(variable), nullptr);
    if (initial != nullptr) setenv(variable, saved.c_str(), 1);
#endif
}

TEST(OwnerMutex, SecondThreadWaitsUntilRelease) {
    platform::MutexHandle mutex = platform::CreateOwnerMutex();
    ASSERT_NE(mutex, nullptr);
    ASSERT_TRUE(platform::WaitForOwnerMutex(mutex));
    std::atomic<bool> acquired{false};
    uint32_t otherId = 0;
    std::thread other([&] {
        otherId = platform::CurrentThreadId();
        platform::WaitForOwnerMutex(mutex);
        acquired = true;
        platform::ReleaseOwnerMutex(mutex);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(acquired.load());
    platform::ReleaseOwnerMutex(mutex);
    other.join();
    EXPECT_TRUE(acquired.load());
    EXPECT_NE(otherId, 0u);
    EXPECT_NE(otherId, platform::CurrentThreadId());
    platform::CloseOwnerMutex(mutex);
}
