// One instance's GUI in a native window, driven the way a host drives a plug-in window: the
// window goes to the view as its native-window container, a timer ticks the view, exposed areas
// are drawn through it, the window follows the view's size, and audio keeps running meanwhile
// so that the effect's time requests and automation behave as in a session.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "HostInstance.h"
#include "HostWindow.h"

namespace aaxhost {

class GuiSession {
public:
    // [main] Creates the instance's GUI, opens a window of the view's size and attaches the view
    // to it. Null with a one-line reason; *noDisplay tells whether the window system was what
    // failed. The instance must be initialised and must outlive the session.
    static std::unique_ptr<GuiSession> Open(HostInstance& instance, const std::string& title, std::string* error,
                                            bool* noDisplay);
    ~GuiSession();
    GuiSession(const GuiSession&) = delete;
    GuiSession& operator=(const GuiSession&) = delete;

    // [main] One timer tick: the window's pending events (exposed areas go to the view's Draw),
    // the view's TimerWakeup, the view's size asked again (a new size resizes the window), then
    // `frames` of silence through the instance. After a resize the whole view is drawn.
    // False once the user has closed the window.
    bool Tick(int32_t frames);
    // [main] The automation the host received since the last call, one line each: "touch ID",
    // "value ID V" and "release ID". Touch and release mark where a parameter's touch state
    // begins and ends, so the touches the module nests inside a gesture appear once.
    std::vector<std::string> TakeAutomationLines();
    // [main] The view's size as last asked.
    AAX_Point ViewSize() const { return size_; }
    HostWindow& Window() { return *window_; }
    // [main] Withdraws the view (SetViewContainer with null) and closes the GUI. The window
    // stays until the session goes. Repeated calls do nothing.
    void Close();

private:
    GuiSession(HostInstance& instance, std::unique_ptr<HostWindow> window);
    void FollowViewSize();
    void ProcessSilence(int32_t frames);

    HostInstance& instance_;
    std::unique_ptr<HostWindow> window_;
    AAX_Point size_{0.0f, 0.0f};
    bool attached_ = false;
    std::map<std::string, int32_t> touchDepth_;
    std::vector<std::vector<float>> silence_;
    std::vector<std::vector<float>> output_;
    std::vector<const float*> inputPointers_;
    std::vector<float*> outputPointers_;
};

}  // namespace aaxhost
