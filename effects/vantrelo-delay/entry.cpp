// The library's exported VST 2 entry points. Nothing else is exported.
#include "VantreloDelay.h"
#include "interfaces/vst2.h"

#if defined(_WIN32)
#define VANTRELO_EXPORT __declspec(dllexport)
#else
#define VANTRELO_EXPORT __attribute__((visibility("default")))
#endif

// [main] Creates one instance; null when it cannot be created.
extern "C" VANTRELO_EXPORT vst2::AEffect* VSTPluginMain(vst2::AudioMasterCallback host) {
    return vantrelo::CreateDelayEffect(host);
}

#if !defined(_WIN32)
// The older entry name. C++ reserves the name main for the program entry, so the function is
// declared under another name and given the symbol name through its assembler label. (On
// Windows the module-definition file exports "main" as an alias of VSTPluginMain.)
extern "C" VANTRELO_EXPORT vst2::AEffect* VantreloLegacyMain(vst2::AudioMasterCallback host) __asm__("main");
extern "C" vst2::AEffect* VantreloLegacyMain(vst2::AudioMasterCallback host) {
    return vantrelo::CreateDelayEffect(host);
}
#endif
