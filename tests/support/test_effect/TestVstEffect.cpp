// The test VST 2 library. Its entry points hand out whatever effect the test's hook returns, so
// the real loader can be exercised end to end on a real shared library. Without a hook, and with
// TEST_VST_EFFECT set in the environment, they make a new ConcurrentEffect configured from it
// ("thread", "channels", or "throw:" and an entry point, see ConcurrentEffect::ConfigureFromText),
// so that a host in another process (aaxhost) meets an effect that misbehaves.
#include <cstdlib>
#include <new>

#include "interfaces/vst2.h"
#include "support/ConcurrentEffect.h"

using MainHook = vst2::AEffect* (*)(vst2::AudioMasterCallback hostCallback);

namespace {

MainHook mainHook = nullptr;

vst2::AEffect* ServeConfiguredEffect(vst2::AudioMasterCallback hostCallback) {
    const char* setting = std::getenv("TEST_VST_EFFECT");
    if (setting == nullptr) return nullptr;
    auto* effect = new (std::nothrow) testsupport::ConcurrentEffect();
    if (effect == nullptr || !effect->ConfigureFromText(setting)) {
        delete effect;
        return nullptr;
    }
    effect->DeleteOnClose();
    return effect->AttachHost(hostCallback);
}

vst2::AEffect* RunHook(vst2::AudioMasterCallback hostCallback) {
    if (mainHook != nullptr) return mainHook(hostCallback);
    return ServeConfiguredEffect(hostCallback);
}

}  // namespace

extern "C" {

// Installs the hook that the entry points call; null makes them return null (or serve the
// effect the environment configures).
void TestEffect_SetMainHook(MainHook hook) { mainHook = hook; }

vst2::AEffect* VSTPluginMain(vst2::AudioMasterCallback hostCallback) { return RunHook(hostCallback); }

// Exported as "main" (the export list renames it; the name cannot be declared directly).
#if defined(_WIN32)
vst2::AEffect* TestEffect_LegacyMain(vst2::AudioMasterCallback hostCallback);
#else
vst2::AEffect* TestEffect_LegacyMain(vst2::AudioMasterCallback hostCallback) __asm__("main");
#endif
vst2::AEffect* TestEffect_LegacyMain(vst2::AudioMasterCallback hostCallback) { return RunHook(hostCallback); }

}  // extern "C"
