// Installs the test VST 2 library (TestVstEffect, built beside the tests) where the module's
// loader looks for the wrapped effect, and serves test-owned RecordingEffects from its entry
// point.
//
// The library is copied once per process to <temp dir>/VST64/<platform effect file name>; each
// TestEffectInstall points the registry (through a RegistrySandbox) at <temp dir>, loads the
// copy by that same path (so the loader under test shares the one loaded copy) and installs a
// main hook that hands out the effects queued with Serve, in order, and null once the queue is
// empty. Destruction clears the hook and the registry key.
#pragma once

#include <memory>
#include <string>

#include "interfaces/vst2.h"
#include "support/RecordingEffect.h"
#include "support/registry_sandbox.h"

namespace testsupport {

using MainHook = vst2::AEffect* (*)(vst2::AudioMasterCallback hostCallback);

class TestEffectInstall {
public:
    TestEffectInstall();
    ~TestEffectInstall();
    TestEffectInstall(const TestEffectInstall&) = delete;
    TestEffectInstall& operator=(const TestEffectInstall&) = delete;

    // False (with a reason) when the library could not be found, copied or loaded.
    bool Ok() const { return ok_; }
    const std::string& Error() const { return error_; }

    // The directory stored in the registry (no trailing separator).
    const std::string& InstallDirectory() const { return directory_; }
    // The full path of the installed library copy.
    const std::string& LibraryPath() const { return libraryPath_; }
    RegistrySandbox& Registry() { return *registry_; }

    // Queues an effect for the next call of the library's entry point: it is attached to the
    // host callback given to "main" (running its OnMain script) and returned.
    void Serve(RecordingEffect* effect);
    // The number of times the entry point ran since construction.
    int MainCalls() const;
    // The host callback the entry point received last (null before the first call).
    vst2::AudioMasterCallback LastHostCallback() const;
    // Replaces the serving hook with another (null makes "main" return null).
    void SetMainHook(MainHook hook);

    // The path of the library as built (beside the test binaries).
    static std::string BuiltLibraryPath();

private:
    bool ok_ = false;
    std::string error_;
    std::string directory_;
    std::string libraryPath_;
    std::unique_ptr<RegistrySandbox> registry_;
    void (*setHook_)(MainHook) = nullptr;
};

}  // namespace testsupport

using testsupport::TestEffectInstall;
