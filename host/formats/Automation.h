// Parameter automation for `render --automate FILE` and `render --ramp`: points in time at which
// a parameter takes a normalized value, either at once (a step) or by moving there in a
// straight line from the parameter's previous point (a ramp).
//
// The file is plain text, one point per line, '#' starts a comment:
//
//   TIME  ID  VALUE  [ramp]
//
// TIME is seconds ("1.5" or "1.5s") or a sample frame ("72000smp"), from the start of the
// render. ID is a parameter identifier; "" names the master bypass, whose identifier is empty.
// VALUE is normalized, 0 to 1. The inline form is ID=TIME:VALUE[,TIME:VALUE...]: a step to the
// first value, then a ramp to each further one.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace aaxhost {

struct AutomationPoint {
    int64_t frame = 0;
    std::string id;
    double value = 0.0;
    bool ramp = false;
};

// Files larger than this are refused before they are read.
constexpr size_t kMostAutomationFileBytes = size_t{16} << 20;

// [main] Points in file order; times become frames at the sample rate. False with
// "line N: reason" on the first bad line.
bool ParseAutomationText(const std::string& text, double sampleRate, std::vector<AutomationPoint>* points,
                         std::string* error);
bool ReadAutomationFile(const std::string& path, double sampleRate, std::vector<AutomationPoint>* points,
                        std::string* error);
// [main] The inline form, appended to points.
bool ParseInlineAutomation(const std::string& text, double sampleRate, std::vector<AutomationPoint>* points,
                           std::string* error);

// Plays points back as a host's automation lanes do: at the start of each buffer every
// parameter gets the value its lane has at that frame. A step lands exactly on its frame when
// buffers are split there (NextPointAfter says where); a ramp moves once per buffer.
class AutomationPlayer {
public:
    explicit AutomationPlayer(const std::vector<AutomationPoint>& points);

    bool Empty() const { return lanes_.empty(); }
    // The identifiers that have points, in order.
    std::vector<std::string> Parameters() const;
    // The first point's frame after frame, or -1 when none follows.
    int64_t NextPointAfter(int64_t frame) const;
    // [main] For a buffer that starts at frame (frames never go back): calls apply(id, value)
    // for every parameter whose lane value differs from what it last applied. current(id)
    // gives a parameter's value before its first point, where a first ramp starts from.
    void Advance(int64_t frame, const std::function<double(const std::string&)>& current,
                 const std::function<void(const std::string&, double)>& apply);

private:
    struct Lane {
        std::vector<AutomationPoint> points;  // by frame, file order within a frame
        size_t next = 0;
        bool haveOrigin = false;
        int64_t originFrame = 0;
        double originValue = 0.0;
        bool applied = false;
        double lastApplied = 0.0;
    };
    std::map<std::string, Lane> lanes_;
    std::vector<int64_t> frames_;  // every point's frame, sorted, unique
};

}  // namespace aaxhost
