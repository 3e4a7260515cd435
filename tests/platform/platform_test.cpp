#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "platform/registry_writer.h"
#include "support/FailingAllocations.h"
#include "support/registry_sandbox.h"

using namespace std::string_literals;
using testsupport::kEffectKey;
using testsupport::RegistrySandbox;

namespace {

int32_t Query(uint32_t access, uint8_t* data, uint32_t* size) {
    platform::RegistryKey key = nullptr;
    int32_t result = platform::RegistryOpenKey(platform::RootKey::LocalMachine, kEffectKey, access, &key);
    if (result != 0) return result;
    result = platform::RegistryQueryText(key, "installdirectory", reinterpret_cast<char*>(data), size);
    platform::RegistryCloseKey(key);
    return result;
}

void SetVariable(const char* name, const char* value) {
#if defined(_WIN32)
    _putenv_s(name, value);
#else
    setenv(name, value, 1);
#endif
}

constexpr uint32_t kRead64 = platform::kKeyRead | platform::kKeyWow64_64Key;

}  // namespace

TEST(Registry, KeepsThe64And32BitViewsApart) {
    RegistrySandbox sandbox;
    sandbox.SetInstallDirectory("C:\\Sixty Four\\");
    sandbox.SetInstallDirectory("C:\\Thirty Two", true);

    uint8_t data[64] = {};
    uint32_t size = sizeof data;
    ASSERT_EQ(Query(platform::kKeyRead | platform::kKeyWow64_64Key, data, &size), 0);
    EXPECT_EQ(size, 14u);
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

// Every form a value's text may be stored in reads back as the one UTF-8 text.
TEST(Registry, TextOfEachValueForm) {
    struct Form {
        const char* name;
        uint32_t type;
        std::string stored;  // UTF-8, zeros included
        bool raw;            // stored as bytes exactly, not as text in the system's string form
        std::string expected;
    };
    SetVariable("AAXW_TEST_VENDOR_ROOT", "C:\\Vendor");
    const Form forms[] = {
        {"plain", platform::kRegistryString, "C:\\Vendor\0"s, false, "C:\\Vendor"},
        {"without terminator", platform::kRegistryString, "C:\\Vendor", false, "C:\\Vendor"},
        {"outside any code page", platform::kRegistryString, "C:\\Vendor\\\xC5\x81\xC3\xB3" "d\xC5\xBA\0"s, false,
         "C:\\Vendor\\\xC5\x81\xC3\xB3" "d\xC5\xBA"},
        {"expandable", platform::kRegistryExpandString, "%AAXW_TEST_VENDOR_ROOT%\\Delay\0"s, false,
         "C:\\Vendor\\Delay"},
        {"expandable, undefined variable", platform::kRegistryExpandString,
         "%AAXW_TEST_UNDEFINED%\\Delay\0"s, false, "%AAXW_TEST_UNDEFINED%\\Delay"},
        {"several strings", platform::kRegistryMultiString, "C:\\One\0C:\\Two\0\0"s, false, "C:\\One"},
        {"binary, as 8-bit text", platform::kRegistryBinary, "C:\\Bytes\0junk"s, true, "C:\\Bytes"},
    };
    for (const Form& form : forms) {
        SCOPED_TRACE(form.name);
        RegistrySandbox sandbox;
        const auto root = platform::RootKey::LocalMachine;
        const auto size32 = static_cast<uint32_t>(form.stored.size());
        ASSERT_EQ(form.raw ? platform::RegistryWriteValue(root, kEffectKey, platform::kKeyWow64_64Key, "installdirectory",
                                                          form.type, form.stored.data(), size32)
                           : platform::RegistryWriteText(root, kEffectKey, platform::kKeyWow64_64Key, "installdirectory",
                                                         form.type, form.stored.data(), size32),
                  0);
        char text[64];
        std::memset(text, 0x7F, sizeof text);
        uint32_t size = sizeof text;
        uint32_t type = 0;
        platform::RegistryKey key = nullptr;
        ASSERT_EQ(platform::RegistryOpenKey(platform::RootKey::LocalMachine, kEffectKey, kRead64, &key), 0);
        EXPECT_EQ(platform::RegistryQueryText(key, "installdirectory", text, &size, &type), 0);
        platform::RegistryCloseKey(key);
        EXPECT_EQ(type, form.type);
        EXPECT_EQ(std::string(text, size), form.expected);
        EXPECT_EQ(text[size], '\0');
    }
}

// What a tool saves and puts back (aaxhost's validate) comes back with its type and bytes.
TEST(Registry, ValueReadAsStoredIsWrittenBackUnchanged) {
    RegistrySandbox sandbox;
    SetVariable("AAXW_TEST_VENDOR_ROOT", "C:\\Vendor");
    const std::string stored = "%AAXW_TEST_VENDOR_ROOT%\\\xC5\x81\xC3\xB3" "d\xC5\xBA\0"s;
    const auto root = platform::RootKey::LocalMachine;
    ASSERT_EQ(platform::RegistryWriteText(root, kEffectKey, platform::kKeyWow64_64Key, "installdirectory",
                                          platform::kRegistryExpandString, stored.data(),
                                          static_cast<uint32_t>(stored.size())),
              0);
    uint8_t saved[256];
    uint32_t savedSize = sizeof saved;
    uint32_t savedType = 0;
    platform::RegistryKey key = nullptr;
    ASSERT_EQ(platform::RegistryOpenKey(root, kEffectKey, kRead64, &key), 0);
    ASSERT_EQ(platform::RegistryQueryValue(key, "installdirectory", saved, &savedSize, &savedType), 0);
    platform::RegistryCloseKey(key);

    sandbox.SetInstallDirectory("/elsewhere");
    ASSERT_EQ(platform::RegistryWriteValue(root, kEffectKey, platform::kKeyWow64_64Key, "installdirectory", savedType,
                                           saved, savedSize),
              0);
    uint8_t text[64] = {};
    uint32_t size = sizeof text;
    ASSERT_EQ(Query(kRead64, text, &size), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text), size), "C:\\Vendor\\\xC5\x81\xC3\xB3" "d\xC5\xBA");
}

TEST(Registry, DeletingAValueLeavesTheKeyItsOtherValuesAndTheOtherView) {
    RegistrySandbox sandbox;
    const auto root = platform::RootKey::LocalMachine;
    sandbox.SetInstallDirectory("/sixty/four");
    sandbox.SetInstallDirectory("/thirty/two", true);
    ASSERT_EQ(platform::RegistryWriteText(root, kEffectKey, platform::kKeyWow64_64Key, "other", platform::kRegistryString,
                                          "kept", 5),
              0);

    EXPECT_EQ(platform::RegistryDeleteValue(root, kEffectKey, platform::kKeyWow64_64Key, "installdirectory"), 0);
    uint8_t data[32] = {};
    uint32_t size = sizeof data;
    EXPECT_NE(Query(platform::kKeyRead | platform::kKeyWow64_64Key, data, &size), 0);
    platform::RegistryKey key = nullptr;
    ASSERT_EQ(platform::RegistryOpenKey(root, kEffectKey, platform::kKeyRead | platform::kKeyWow64_64Key, &key), 0);
    size = sizeof data;
    EXPECT_EQ(platform::RegistryQueryText(key, "other", reinterpret_cast<char*>(data), &size), 0);
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

// A path the system cannot take is refused with a reason that says so, not cut short.
TEST(Library, PathsLongerThanTheSystemTakesAreRefusedClearly) {
    const std::string folder = testsupport::BinaryDirectory();
    const std::string longest = folder + std::string(platform::kMostPathLength - folder.size(), 'x');
    EXPECT_FALSE(platform::FileExists((longest + "y").c_str()));
    EXPECT_EQ(platform::LoadLibraryFile((longest + "y").c_str()), nullptr);
    EXPECT_NE(std::string(platform::LastLoadError()).find(std::to_string(platform::kMostPathLength)), std::string::npos)
        << platform::LastLoadError();
    EXPECT_EQ(platform::LoadLibraryFile(longest.c_str()), nullptr);
    EXPECT_EQ(std::string(platform::LastLoadError()).find(std::to_string(platform::kMostPathLength)), std::string::npos)
        << "a path within the limit reaches the system: " << platform::LastLoadError();
#if defined(_WIN32)
    const char* self = "platform_tests.exe";
#else
    const char* self = "platform_tests";
#endif
    EXPECT_TRUE(platform::FileExists((folder + platform::kPathSeparatorText + self).c_str()));
    EXPECT_FALSE(platform::FileExists(folder.c_str())) << "a folder is not a file";
}

#if defined(_WIN32)
// A library that ships one of its own beside it loads from any folder, whatever the current
// folder and the program's.
TEST(Library, FindsWhatALibraryNeedsInItsOwnFolder) {
    namespace fs = std::filesystem;
    const fs::path built = fs::path(testsupport::BinaryDirectory()) / "companion";
    const fs::path folder = fs::temp_directory_path() / fs::path(u8"aaxw-companion-Łódź-") +=
                            std::to_string(std::random_device()());
    ASSERT_TRUE(fs::create_directories(folder));
    for (const char* name : {"test_companion.dll", "test_needs_companion.dll"}) {
        fs::copy_file(built / name, folder / name);
    }
    const std::u8string path = (folder / "test_needs_companion.dll").u8string();
    platform::LibraryHandle library = platform::LoadLibraryFile(std::string(path.begin(), path.end()).c_str());
    ASSERT_NE(library, nullptr) << platform::LastLoadError();
    const auto answer = reinterpret_cast<int (*)()>(platform::LookupSymbol(library, "TestNeedsCompanion_Answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 43);
}
#endif

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
