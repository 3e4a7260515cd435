// The test VST 2 library. Its entry points hand out whatever effect the test's hook returns, so
// the real loader can be exercised end to end on a real shared library.
#include "interfaces/vst2.h"

using MainHook = vst2::AEffect* (*)(vst2::AudioMasterCallback hostCallback);

namespace {

MainHook mainHook = nullptr;

vst2::AEffect* RunHook(vst2::AudioMasterCallback hostCallback) {
    return mainHook != nullptr ? mainHook(hostCallback) : nullptr;
}

}  // namespace

extern "C" {

// Installs the hook that the entry points call; null makes them return null.
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
