#include "GuiCommand.h"

#include <chrono>
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "Cli.h"
#include "EffectPresence.h"
#include "FileAccess.h"
#include "GuiSession.h"
#include "PluginModule.h"
#include "PngFile.h"
#include "StateFile.h"

namespace aaxhost {

const char* const kGuiHelp =
    "Usage: aaxhost gui MODULE [--layout mono|stereo] [--seconds S] [--screenshot FILE.png] [--events]\n"
    "                          [--state-in FILE]\n"
    "\n"
    "Opens a window (X11 on Linux, Win32 on Windows), creates one instance (48 kHz) and its GUI,\n"
    "and shows the effect's editor in the window. The window follows the view's size; the view\n"
    "is ticked about 30 times a second while silence runs through the instance. Closing the\n"
    "window ends the command, which withdraws the view, uninitialises and releases.\n"
    "  --layout L            mono or stereo (default stereo)\n"
    "  --seconds S           end after S seconds (default: when the window is closed; 1 with\n"
    "                        --screenshot)\n"
    "  --screenshot FILE     after S seconds write the window's contents as PNG and end\n"
    "  --state-in FILE       restore a state saved with render --state-out first\n"
    "  --events              print each automation event the host receives, one per line:\n"
    "                        \"touch ID\", \"value ID V\", \"release ID\" (a parameter's touch\n"
    "                        state beginning, a requested normalized value, its end)\n"
    "Without a display the command fails with exit status 2.\n";

namespace {

constexpr double kTicksPerSecond = 30.0;
constexpr double kSampleRate = 48000.0;

// Runs the window until it is closed or the time is up; prints the automation as it arrives.
void RunWindow(GuiSession& session, const GuiOptions& options, std::ostream& out) {
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration<double>(1.0 / kTicksPerSecond);
    const Clock::time_point start = Clock::now();
    int64_t processedFrames = 0;
    for (int64_t tick = 1;; ++tick) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        // Audio keeps pace with the clock, at most a second's worth at once after a stall.
        const int64_t due = static_cast<int64_t>(elapsed * kSampleRate);
        const int64_t frames = std::min<int64_t>(due - processedFrames, static_cast<int64_t>(kSampleRate));
        processedFrames = due;
        const bool open = session.Tick(static_cast<int32_t>(std::max<int64_t>(frames, 0)));
        if (options.events) {
            for (const std::string& line : session.TakeAutomationLines()) out << line << "\n";
            out.flush();
        }
        if (!open || (options.seconds >= 0.0 && elapsed >= options.seconds)) return;
        std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(period * static_cast<double>(tick)));
    }
}

}  // namespace

int GuiCommand(const GuiOptions& options, std::ostream& out, std::ostream& err) {
    std::string error;
    AtomicOutput png;
    if (!options.screenshot.empty() && !png.Prepare(options.screenshot, &error)) {
        err << "aaxhost: " << error << "\n";
        return kExitUsage;
    }
    std::vector<SavedChunk> state;
    if (!options.stateIn.empty() && !ReadStateFile(options.stateIn, &state, &error)) {
        err << "aaxhost: " << error << "\n";
        return kExitUsage;
    }
    std::unique_ptr<PluginModule> module = PluginModule::Load(options.module, &error);
    if (!module) {
        err << "aaxhost: " << error << "\n";
        return kExitUsage;
    }
    if (!module->StartAndRegister(&error)) {
        err << "aaxhost: " << error << "\n";
        return kExitFailed;
    }
    InstanceSettings settings;
    settings.sampleRate = kSampleRate;
    settings.stemFormat = options.stemFormat;
    std::unique_ptr<HostInstance> instance = HostInstance::Create(*module->Effect(), settings, &error);
    if (!instance) {
        err << "aaxhost: " << error << "\n";
        return kExitFailed;
    }
    const AAX_Result initialized = instance->Initialize();
    if (initialized != AAX_SUCCESS) {
        err << "aaxhost: Initialize failed with " << initialized << "\n";
        return kExitFailed;
    }
    if (!EffectLoaded(*instance)) {
        instance->Release();
        err << "aaxhost: " << MissingEffectReason() << "\n";
        return kExitFailed;
    }
    if (!state.empty() && instance->RestoreChunks(state, &error) != AAX_SUCCESS) {
        err << "aaxhost: " << error << "\n";
        return kExitFailed;
    }
    bool noDisplay = false;
    std::unique_ptr<GuiSession> session = GuiSession::Open(*instance, module->Name(), &error, &noDisplay);
    if (!session) {
        instance->Release();
        err << "aaxhost: " << error << "\n";
        return noDisplay ? kExitUsage : kExitFailed;
    }
    RunWindow(*session, options, out);

    int status = kExitSuccess;
    if (!options.screenshot.empty()) {
        WindowPixels pixels;
        if (!session->Window().Capture(&pixels, &error) ||
            !WritePngFile(png.TemporaryPath(), pixels, &error) || !png.Commit(&error)) {
            err << "aaxhost: " << error << "\n";
            status = kExitUsage;
        } else {
            out << "wrote " << options.screenshot << " (" << pixels.width << " x " << pixels.height << ")\n";
        }
    }
    session->Close();
    instance->Uninitialize();
    instance->Release();
    return status;
}

}  // namespace aaxhost
