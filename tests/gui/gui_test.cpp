// The effect's editor in a real window: the built module and the reference delay in our host's
// window on a display (the test runner starts a virtual X server; the Windows build runs under
// Wine on it), turned with a mouse the window system takes for a real one.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <regex>
#include <sstream>
#include <thread>

#include "Cli.h"
#include "EditorLayout.h"
#include "GuiSession.h"
#include "PluginModule.h"
#include "WindowSystem.h"
#include "interfaces/vst2.h"
#include "platform/platform.h"
#include "support/registry_sandbox.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include "stb_image.h"

using namespace aaxhost;
namespace fs = std::filesystem;

namespace {

// Indices of the delay's parameters, in the order its editor lays them out.
constexpr int32_t kTime = 0;
constexpr int32_t kMix = 2;
constexpr int32_t kPingPong = 5;
constexpr int32_t kUiScale = 8;
// Enough ticks for input to travel from the window system to the editor on a busy machine.
constexpr int kMostTicks = 400;

std::string BuiltFile(const std::string& name) { return (fs::path(testsupport::BinaryDirectory()) / name).string(); }

bool DisplayRequired() {
    const char* required = std::getenv("AAXW_REQUIRE_DISPLAY");
    return required != nullptr && std::string(required) == "1";
}

// The centre of a parameter's track, or of one switch position on it, in window pixels.
void TrackPoint(int32_t index, double scale, int32_t* x, int32_t* y, int32_t position = -1, int32_t steps = 1) {
    const vantrelo::EditorBox track = vantrelo::LayoutControl(index, scale).track;
    *x = position < 0 ? track.x + track.width / 2 : track.x + track.width * (2 * position + 1) / (2 * steps);
    *y = track.y + track.height / 2;
}

// Pixels that differ between two captures inside a box.
int64_t Differences(const WindowPixels& a, const WindowPixels& b, const vantrelo::EditorBox& box) {
    int64_t count = 0;
    for (int32_t y = box.y; y < box.y + box.height; ++y) {
        for (int32_t x = box.x; x < box.x + box.width; ++x) count += a.At(x, y) != b.At(x, y) ? 1 : 0;
    }
    return count;
}

class EditorWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(BuiltFile(std::string("VantreloDelayAAX") + platform::kSharedLibrarySuffix)) ||
            !fs::exists(BuiltFile(platform::kEffectLibraryFileName))) {
            GTEST_SKIP() << "the module or the effect is not built beside the tests";
        }
        std::string error;
        mouse_ = guitest::SyntheticMouse::Create(&error);
        if (!mouse_) {
            if (DisplayRequired()) FAIL() << "AAXW_REQUIRE_DISPLAY=1 but " << error;
            GTEST_SKIP() << error << " (the test runner starts a virtual X server)";
        }
        install_ = fs::temp_directory_path() / ("aaxhost-gui-" + std::to_string(std::random_device{}() % 1000000000u));
        fs::create_directories(install_ / "VST64");
        fs::copy_file(BuiltFile(platform::kEffectLibraryFileName), install_ / "VST64" / platform::kEffectLibraryFileName,
                      fs::copy_options::overwrite_existing);
        sandbox_ = std::make_unique<testsupport::RegistrySandbox>();
        sandbox_->SetInstallDirectory(install_.string());
        module_ = PluginModule::Load(ModulePath(), &error);
        ASSERT_TRUE(module_) << error;
        ASSERT_TRUE(module_->StartAndRegister(&error)) << error;
        instance_ = HostInstance::Create(*module_->Effect(), InstanceSettings{}, &error);
        ASSERT_TRUE(instance_) << error;
        ASSERT_EQ(instance_->Initialize(), AAX_SUCCESS);
    }

    void TearDown() override {
        session_.reset();
        if (instance_) instance_->Release();
        instance_.reset();
        module_.reset();
        sandbox_.reset();
        std::error_code ec;
        if (!install_.empty()) fs::remove_all(install_, ec);
    }

    static std::string ModulePath() { return BuiltFile(std::string("VantreloDelayAAX") + platform::kSharedLibrarySuffix); }

    void OpenSession() {
        std::string error;
        bool noDisplay = false;
        session_ = GuiSession::Open(*instance_, "gui_tests", &error, &noDisplay);
        ASSERT_TRUE(session_) << error;
    }

    WindowPixels Capture() {
        WindowPixels pixels;
        std::string error;
        EXPECT_TRUE(session_->Window().Capture(&pixels, &error)) << error;
        return pixels;
    }

    // Ticks until the automation the host received (appended to `lines`) ends with `last`, or
    // until more lines than `atLeast` have arrived when `last` is empty.
    std::vector<std::string> TickUntilLine(const std::string& last, std::vector<std::string> lines = {},
                                           size_t atLeast = 0) {
        auto done = [&] { return last.empty() ? lines.size() > atLeast : !lines.empty() && lines.back() == last; };
        for (int tick = 0; tick < kMostTicks && !done(); ++tick) {
            session_->Tick(64);
            for (std::string& line : session_->TakeAutomationLines()) lines.push_back(std::move(line));
            if (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return lines;
    }

    bool TickUntilViewSize(float width, float height) {
        for (int tick = 0; tick < kMostTicks; ++tick) {
            session_->Tick(64);
            if (session_->ViewSize().horz == width && session_->ViewSize().vert == height) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    // A press and release at a point of the editor, in window pixels.
    void ClickAt(int32_t x, int32_t y) {
        int32_t originX = 0, originY = 0;
        session_->Window().ClientOrigin(&originX, &originY);
        mouse_->MoveTo(originX + x, originY + y);
        mouse_->Press();
        mouse_->Release();
    }

    // Returns the size found, as text.
    std::string ExpectWindowSize(int32_t width, int32_t height) {
        int32_t clientWidth = 0, clientHeight = 0;
        session_->Window().ClientSize(&clientWidth, &clientHeight);
        EXPECT_EQ(clientWidth, width);
        EXPECT_EQ(clientHeight, height);
        return std::to_string(clientWidth) + " x " + std::to_string(clientHeight);
    }

    double Value(const std::string& id) {
        double value = -1.0;
        EXPECT_EQ(instance_->GetParameter(id, &value), AAX_SUCCESS) << id;
        return value;
    }

    fs::path install_;
    std::unique_ptr<testsupport::RegistrySandbox> sandbox_;
    std::unique_ptr<PluginModule> module_;
    std::unique_ptr<HostInstance> instance_;
    std::unique_ptr<GuiSession> session_;
    std::unique_ptr<guitest::SyntheticMouse> mouse_;
};

// One scripted session: the picture, host automation shown, a drag, a click, the zoom, and
// twenty open/close cycles that leave nothing behind.
TEST_F(EditorWindow, ShowsTheEditorTurnsItsControlsFollowsItsZoomAndClosesCleanly) {
    std::vector<SavedChunk> initialState;
    std::string error;
    ASSERT_EQ(instance_->SaveChunks(&initialState, &error), AAX_SUCCESS) << error;
    guitest::WindowSystemUse before;
    ASSERT_TRUE(guitest::CountWindowSystemUse(&before, &error)) << error;
    OpenSession();
    ASSERT_TRUE(session_);
    session_->Tick(64);

    // The window is the editor's size and shows the editor: its background, its panels.
    EXPECT_EQ(session_->ViewSize().horz, 500.0f);
    EXPECT_EQ(session_->ViewSize().vert, 300.0f);
    std::string sizes = "window at scale 1: " + ExpectWindowSize(500, 300);
    ASSERT_EQ(instance_->SetParameter("mix", 0.2), AAX_SUCCESS);
    session_->Tick(64);
    const WindowPixels first = Capture();
    ASSERT_EQ(first.width, 500);
    ASSERT_EQ(first.height, 300);
    EXPECT_EQ(first.At(2, 2), vantrelo::kColourBackground);
    const vantrelo::ControlLayout mix = vantrelo::LayoutControl(kMix, 1.0);
    EXPECT_EQ(first.At(mix.panel.x + 2, mix.panel.y + 2), vantrelo::kColourPanel);
    int64_t textPixels = 0;
    for (int32_t y = 0; y < first.height; ++y) {
        for (int32_t x = 0; x < first.width; ++x) textPixels += first.At(x, y) == vantrelo::kColourText ? 1 : 0;
    }
    EXPECT_GT(textPixels, 100) << "no value texts drawn";

    // A value set by the host shows after one tick, in its own control only.
    ASSERT_EQ(instance_->SetParameter("mix", 0.6), AAX_SUCCESS);
    session_->Tick(64);
    const WindowPixels second = Capture();
    EXPECT_GT(Differences(first, second, mix.valueText), 5);
    EXPECT_EQ(Differences(first, second, vantrelo::LayoutControl(kTime, 1.0).valueText), 0);
    ASSERT_EQ(instance_->SetParameter("mix", 0.2), AAX_SUCCESS);
    session_->Tick(64);
    session_->TakeAutomationLines();

    // A drag to the right on mix: touch, values rising step by step, release.
    int32_t originX = 0, originY = 0, x = 0, y = 0;
    session_->Window().ClientOrigin(&originX, &originY);
    TrackPoint(kMix, 1.0, &x, &y);
    mouse_->MoveTo(originX + x, originY + y);
    mouse_->Press();
    std::vector<std::string> lines = TickUntilLine("touch mix");
    for (int step = 1; step <= 4; ++step) {
        mouse_->MoveTo(originX + x + 10 * step, originY + y);
        lines = TickUntilLine("", lines, lines.size());
    }
    mouse_->Release();
    lines = TickUntilLine("release mix", lines);
    std::ostringstream transcript;
    for (const std::string& line : lines) transcript << "  " << line << "\n";
    std::cout << "drag on mix, as --events prints it:\n" << transcript.str();
    ASSERT_GE(lines.size(), 3u) << transcript.str();
    EXPECT_EQ(lines.front(), "touch mix");
    EXPECT_EQ(lines.back(), "release mix");
    double previous = 0.2;
    const std::regex valueLine("value mix ([0-9.eE+-]+)");
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[i], match, valueLine)) << transcript.str();
        const double value = std::stod(match[1].str());
        EXPECT_GT(value, previous) << transcript.str();
        previous = value;
    }
    // 40 pixels over a 132-pixel track, and the instance holds the last value sent.
    EXPECT_NEAR(previous, 0.2 + 40.0 / mix.track.width, 1e-4);
    EXPECT_NEAR(Value("mix"), previous, 1e-5);

    // A click on the ping-pong switch toggles it as one gesture.
    ASSERT_EQ(Value("pingpong"), 0.0);
    TrackPoint(kPingPong, 1.0, &x, &y);
    ClickAt(x, y);
    lines = TickUntilLine("release pingpong");
    EXPECT_EQ(lines, (std::vector<std::string>{"touch pingpong", "value pingpong 1", "release pingpong"}));
    EXPECT_EQ(Value("pingpong"), 1.0);

    // The zoom: 1.5 and 2 from the editor's own switch, back to 1 from restored state. The
    // zoom is the editor's setting, not automation.
    TrackPoint(kUiScale, 1.0, &x, &y, 1, 3);
    ClickAt(x, y);
    EXPECT_TRUE(TickUntilViewSize(750.0f, 450.0f));
    sizes += ", 1.5: " + ExpectWindowSize(750, 450);
    TrackPoint(kUiScale, 1.5, &x, &y, 2, 3);
    ClickAt(x, y);
    EXPECT_TRUE(TickUntilViewSize(1000.0f, 600.0f));
    sizes += ", 2: " + ExpectWindowSize(1000, 600);
    // Drawn whole at the new size in the tick that resized the window: the last panel lies
    // beyond the old size.
    const WindowPixels doubled = Capture();
    const vantrelo::EditorBox lastPanel = vantrelo::LayoutControl(kUiScale, 2.0).panel;
    EXPECT_EQ(doubled.At(lastPanel.x + lastPanel.width - 4, lastPanel.y + lastPanel.height - 4), vantrelo::kColourPanel);
    EXPECT_TRUE(session_->TakeAutomationLines().empty());
    ASSERT_EQ(instance_->RestoreChunks(initialState, &error), AAX_SUCCESS) << error;
    EXPECT_TRUE(TickUntilViewSize(500.0f, 300.0f));
    std::cout << sizes << ", restored 1: " << ExpectWindowSize(500, 300) << "\n";

    // Closing the view in the middle of a drag ends the gesture: nothing stays touched.
    TrackPoint(kMix, 1.0, &x, &y);
    mouse_->MoveTo(originX + x, originY + y);
    mouse_->Press();
    EXPECT_EQ(TickUntilLine("touch mix"), std::vector<std::string>{"touch mix"});
    session_->Close();
    mouse_->Release();
    EXPECT_EQ(session_->TakeAutomationLines(), std::vector<std::string>{"release mix"});
    EXPECT_FALSE(instance_->Automation().IsTouched("mix"));

    // Twenty times open and closed: no window, no window-system resource, no reference stays.
    session_.reset();
    for (int cycle = 0; cycle < 20; ++cycle) {
        OpenSession();
        ASSERT_TRUE(session_);
        session_->Tick(64);
        EXPECT_EQ(session_->Window().ChildWindowCount(), 1) << "cycle " << cycle;
        session_->Close();
        EXPECT_EQ(session_->Window().ChildWindowCount(), 0) << "cycle " << cycle;
        EXPECT_FALSE(instance_->GuiOpen());
        session_.reset();
    }
    guitest::WindowSystemUse after;
    ASSERT_TRUE(guitest::CountWindowSystemUse(&after, &error)) << error;
    EXPECT_EQ(after, before);
    std::cout << "after 20 open/close cycles: " << guitest::Describe(after) << " (before: " << guitest::Describe(before)
              << ")\n";
    instance_->Release();
    EXPECT_TRUE(instance_->HeldReferences().empty());
    EXPECT_EQ(module_->CanUnloadNow(), 0);
}

// A host that destroys its window before withdrawing the view: the editor's later drawing and
// its own window's destruction fail quietly instead of taking the host down.
TEST_F(EditorWindow, OutlivesTheHostsWindow) {
    std::string error;
    std::unique_ptr<HostWindow> window = HostWindow::Create("gui_tests", 500, 300, &error);
    ASSERT_TRUE(window) << error;
    ASSERT_EQ(instance_->OpenGui(), AAX_SUCCESS);
    instance_->SetNativeWindow(window->ViewHandle());
    ASSERT_EQ(instance_->AttachView(), AAX_SUCCESS);
    instance_->SetNativeWindow(nullptr);
    instance_->IdleView();
    ASSERT_EQ(window->ChildWindowCount(), 1);
    window.reset();
    ASSERT_EQ(instance_->SetParameter("mix", 0.7), AAX_SUCCESS);
    EXPECT_EQ(instance_->IdleView(), AAX_SUCCESS);  // redraws into a window that is gone
    EXPECT_EQ(instance_->DetachView(), AAX_SUCCESS);
    EXPECT_EQ(instance_->CloseGui(), AAX_SUCCESS);
    EXPECT_NEAR(Value("mix"), 0.7, 1e-6);
}

TEST_F(EditorWindow, ScreenshotCommandWritesTheEditorAsPng) {
    const fs::path picture = install_ / "editor.png";
    std::vector<std::string> arguments = {"aaxhost", "gui", ModulePath(), "--screenshot", picture.string(),
                                          "--seconds", "0.2"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    std::ostringstream out, err;
    ASSERT_EQ(RunCommand(static_cast<int>(argv.size()), argv.data(), out, err), kExitSuccess) << err.str();
    int width = 0, height = 0, channels = 0;
    unsigned char* decoded = stbi_load(picture.string().c_str(), &width, &height, &channels, 3);
    ASSERT_NE(decoded, nullptr) << stbi_failure_reason();
    const vantrelo::EditorBox panel = vantrelo::LayoutControl(kMix, 1.0).panel;
    const unsigned char* pixel = decoded + (static_cast<size_t>(panel.y + 2) * static_cast<size_t>(width) +
                                            static_cast<size_t>(panel.x + 2)) * 3;
    const uint32_t colour = static_cast<uint32_t>(pixel[0]) << 16 | static_cast<uint32_t>(pixel[1]) << 8 | pixel[2];
    stbi_image_free(decoded);
    EXPECT_EQ(width, 500);
    EXPECT_EQ(height, 300);
    EXPECT_EQ(colour, vantrelo::kColourPanel);

#if !defined(_WIN32)
    // Without a display: one line and exit status 2.
    const std::string display = std::getenv("DISPLAY") != nullptr ? std::getenv("DISPLAY") : "";
    setenv("DISPLAY", ":nonesuch", 1);
    std::ostringstream ignored, reason;
    const int status = RunCommand(static_cast<int>(argv.size()), argv.data(), ignored, reason);
    setenv("DISPLAY", display.c_str(), 1);
    EXPECT_EQ(status, kExitUsage);
    EXPECT_EQ(reason.str(), "aaxhost: no display: cannot open X display \":nonesuch\"\n");
#endif
}

}  // namespace

namespace {

// What a host that closes the editor as soon as a drag begins heard: (opcode, index).
std::vector<std::pair<int32_t, int32_t>> withdrawingHostHeard;

intptr_t WithdrawOnBeginEdit(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t, void*, float) {
    if (opcode == vst2::audioMasterBeginEdit || opcode == vst2::audioMasterEndEdit) {
        withdrawingHostHeard.emplace_back(opcode, index);
    }
    if (opcode == vst2::audioMasterBeginEdit) effect->dispatcher(effect, vst2::effEditClose, 0, 0, nullptr, 0.0f);
    return 0;
}

}  // namespace

// The reference delay's editor driven through VST 2 alone, in a window of the host's, by a host
// that closes it from inside the begin edit of a drag: the editor ends the drag, and its window,
// gone, handles nothing more (the sanitizer build sees any use of it).
TEST_F(EditorWindow, AnEditorClosedInsideItsOwnGestureStopsThere) {
    const platform::LibraryHandle library = platform::LoadLibraryFile(BuiltFile(platform::kEffectLibraryFileName).c_str());
    const auto entry = reinterpret_cast<vst2::MainProc>(platform::LookupSymbol(library, "main"));
    std::string error;
    std::unique_ptr<HostWindow> window = HostWindow::Create("gui_tests", 500, 300, &error);
    ASSERT_TRUE(entry != nullptr && window) << error;
    vst2::AEffect* effect = entry(&WithdrawOnBeginEdit);
    effect->dispatcher(effect, vst2::effEditOpen, 0, 0, window->ViewHandle(), 0.0f);
    const auto tick = [&] {
        effect->dispatcher(effect, vst2::effEditIdle, 0, 0, nullptr, 0.0f);
        window->HandleEvents(nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    for (int i = 0; i < 5; ++i) tick();
    int32_t originX = 0, originY = 0, x = 0, y = 0;
    window->ClientOrigin(&originX, &originY);
    TrackPoint(kMix, 1.0, &x, &y);
    mouse_->MoveTo(originX + x, originY + y);
    mouse_->Press();
    for (int i = 0; i < kMostTicks && withdrawingHostHeard.empty(); ++i) tick();
    mouse_->MoveTo(originX + x + 20, originY + y);
    mouse_->Release();
    for (int i = 0; i < 10; ++i) tick();
    EXPECT_EQ(withdrawingHostHeard, (std::vector<std::pair<int32_t, int32_t>>{{vst2::audioMasterBeginEdit, kMix},
                                                                              {vst2::audioMasterEndEdit, kMix}}));
    EXPECT_EQ(window->ChildWindowCount(), 0);
    effect->dispatcher(effect, vst2::effClose, 0, 0, nullptr, 0.0f);
}

// validate shows the editor in a window of the host's own when there is a display, says why
// not when there is none, and ends with its summary either way.
TEST_F(EditorWindow, ValidateOpensTheEditorInAWindowOrSaysWhyNot) {
    instance_->Release();  // validate counts the module's live objects
    instance_.reset();
    struct Case {
        const char* display;  // null: the test's own
        const char* line;
    };
    std::vector<Case> cases = {{nullptr, "PASS editor in a window: shown at 500 x 300, opened twice\n"}};
#if !defined(_WIN32)
    cases.push_back({":nonesuch", "SKIP editor in a window: no display: cannot open X display \":nonesuch\"\n"});
#endif
    const std::string display = std::getenv("DISPLAY") != nullptr ? std::getenv("DISPLAY") : "";
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"aaxhost", "validate", ModulePath(), "--strictness", "1"};
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        std::ostringstream out, err;
#if !defined(_WIN32)
        if (c.display != nullptr) setenv("DISPLAY", c.display, 1);
#endif
        const int status = RunCommand(static_cast<int>(argv.size()), argv.data(), out, err);
#if !defined(_WIN32)
        setenv("DISPLAY", display.c_str(), 1);
#endif
        EXPECT_EQ(status, kExitSuccess) << out.str() << err.str();
        EXPECT_NE(out.str().find(c.line), std::string::npos) << out.str();
        const std::string text = out.str();
        EXPECT_EQ(text.find('\n', text.rfind(" passed, 0 failed")), text.size() - 1) << text;
    }
}

namespace {

// The host window's picture of windows the screen cannot hold: taller than the virtual screen
// the tests start (1280 x 1024), wider, and one that fits. Each is filled by four patches of
// its own colours, windows of another connection as an editor's are; the picture must show
// each patch's colour at its far corner, beyond the screen's edge too.
TEST(HostWindowPicture, ShowsTheWholeWindowEvenWhereItLiesBeyondTheScreen) {
    const struct {
        int32_t width, height;
    } sizes[] = {{500, 300}, {800, 1100}, {1400, 400}};
    const uint32_t colours[4] = {0xC03020, 0x20A040, 0x3050E0, 0xE0C010};
    for (const auto& size : sizes) {
        std::string error;
        std::unique_ptr<HostWindow> window = HostWindow::Create("gui_tests", size.width, size.height, &error);
        if (!window) {
            if (DisplayRequired()) FAIL() << "AAXW_REQUIRE_DISPLAY=1 but " << error;
            GTEST_SKIP() << error;
        }
        const int32_t halfWidth = size.width / 2, halfHeight = size.height / 2;
        std::vector<std::unique_ptr<guitest::ColourPatch>> patches;
        for (int32_t i = 0; i < 4; ++i) {
            patches.push_back(guitest::ColourPatch::Create(window->ViewHandle(), i % 2 * halfWidth, i / 2 * halfHeight,
                                                           halfWidth, halfHeight, colours[i], &error));
            ASSERT_TRUE(patches.back()) << error;
        }
        for (int tick = 0; tick < 5; ++tick) window->HandleEvents(nullptr);
        WindowPixels pixels;
        ASSERT_TRUE(window->Capture(&pixels, &error)) << size.width << " x " << size.height << ": " << error;
        ASSERT_EQ(pixels.width, size.width);
        ASSERT_EQ(pixels.height, size.height);
        for (int32_t i = 0; i < 4; ++i) {
            const int32_t x = i % 2 == 0 ? 1 : size.width - 2, y = i / 2 == 0 ? 1 : size.height - 2;
            EXPECT_EQ(pixels.At(x, y), colours[i]) << size.width << " x " << size.height << " at " << x << ", " << y;
        }
        std::cout << size.width << " x " << size.height << ": the four corners read back\n";
    }
}

}  // namespace
