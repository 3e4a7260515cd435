#include "GuiSession.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace aaxhost {

namespace {

int32_t Pixels(float extent) {
    if (!std::isfinite(extent) || extent < 1.0f) return 1;
    return static_cast<int32_t>(std::min(extent, 16384.0f));
}

}  // namespace

std::unique_ptr<GuiSession> GuiSession::Open(HostInstance& instance, const std::string& title, std::string* error,
                                             bool* noDisplay) {
    *noDisplay = false;
    AAX_Result result = instance.OpenGui();
    if (result != AAX_SUCCESS) {
        *error = "creating the GUI failed with " + std::to_string(result);
        instance.CloseGui();
        return nullptr;
    }
    // The window opens at the size the view asks for before it is attached.
    AAX_Point size{0.0f, 0.0f};
    instance.GetViewSize(&size);
    std::unique_ptr<HostWindow> window = HostWindow::Create(title, Pixels(size.horz), Pixels(size.vert), error);
    if (!window) {
        *noDisplay = true;
        instance.CloseGui();
        return nullptr;
    }
    std::unique_ptr<GuiSession> session(new GuiSession(instance, std::move(window)));
    instance.SetNativeWindow(session->window_->ViewHandle());
    result = instance.AttachView();
    instance.SetNativeWindow(nullptr);
    if (result != AAX_SUCCESS) {
        *error = "attaching the view failed with " + std::to_string(result);
        return nullptr;  // the session's destructor closes the GUI
    }
    session->attached_ = true;
    session->FollowViewSize();
    instance.Automation().ClearEvents();  // what the session reports starts with the window
    return session;
}

GuiSession::GuiSession(HostInstance& instance, std::unique_ptr<HostWindow> window)
    : instance_(instance), window_(std::move(window)) {
    const size_t channels = static_cast<size_t>(std::max(instance.Channels(), 1));
    const size_t block = static_cast<size_t>(std::max(instance.Settings().maxBlock, 1));
    silence_.assign(channels, std::vector<float>(block, 0.0f));
    output_.assign(channels, std::vector<float>(block, 0.0f));
    for (size_t c = 0; c < channels; ++c) {
        inputPointers_.push_back(silence_[c].data());
        outputPointers_.push_back(output_[c].data());
    }
}

GuiSession::~GuiSession() { Close(); }

void GuiSession::Close() {
    if (!instance_.GuiOpen()) return;
    if (attached_) instance_.DetachView();
    attached_ = false;
    instance_.CloseGui();
    // Whatever the view drew or destroyed is settled before the window goes.
    window_->HandleEvents(nullptr);
}

bool GuiSession::Tick(int32_t frames) {
    std::vector<AAX_Rect> exposed;
    const bool open = window_->HandleEvents(&exposed);
    if (attached_) {
        for (AAX_Rect& area : exposed) instance_.DrawView(&area);
        instance_.IdleView();
        FollowViewSize();
    }
    instance_.TimerWakeup();
    ProcessSilence(frames);
    return open;
}

void GuiSession::FollowViewSize() {
    AAX_Point size{0.0f, 0.0f};
    if (instance_.GetViewSize(&size) != AAX_SUCCESS) return;
    if (size.horz == size_.horz && size.vert == size_.vert) return;
    size_ = size;
    window_->SetClientSize(Pixels(size.horz), Pixels(size.vert));
    // A view that has just grown its own window drew it while ours still clipped it: all of it
    // is drawn again now, not at the next exposure.
    AAX_Rect whole{0.0f, 0.0f, size.horz, size.vert};
    instance_.DrawView(&whole);
}

void GuiSession::ProcessSilence(int32_t frames) {
    const int32_t block = std::max(instance_.Settings().maxBlock, 1);
    while (frames > 0) {
        const int32_t now = std::min(frames, block);
        instance_.Process(inputPointers_.data(), outputPointers_.data(), now);
        frames -= now;
    }
}

std::vector<std::string> GuiSession::TakeAutomationLines() {
    std::vector<std::string> lines;
    const std::vector<HostAutomationDelegate::Event> events = instance_.Automation().Events();
    instance_.Automation().ClearEvents();
    for (const HostAutomationDelegate::Event& event : events) {
        int32_t& depth = touchDepth_[event.id];
        if (event.operation == "Touch") {
            if (depth++ == 0) lines.push_back("touch " + event.id);
        } else if (event.operation == "Release") {
            if (depth > 0 && --depth == 0) lines.push_back("release " + event.id);
        } else if (event.operation == "SetValueRequest") {
            std::ostringstream line;
            line << "value " << event.id << " " << event.value;
            lines.push_back(line.str());
        }
    }
    return lines;
}

}  // namespace aaxhost
