#include "Automation.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "FieldLines.h"
#include "FileAccess.h"

namespace aaxhost {

namespace {

constexpr double kLongestSeconds = 1e6;
constexpr int64_t kLastFrame = int64_t{1} << 50;

bool Fail(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

bool EndsWith(const std::string& text, const char* suffix) {
    const size_t length = std::strlen(suffix);
    return text.size() > length && text.compare(text.size() - length, length, suffix) == 0;
}

// "1.5", "1.5s" (seconds) or "72000smp" (a frame).
bool ParseTime(const std::string& token, double sampleRate, int64_t* frame, std::string* error) {
    if (EndsWith(token, "smp")) {
        const std::string digits = token.substr(0, token.size() - 3);
        char* end = nullptr;
        const long long value = std::strtoll(digits.c_str(), &end, 10);
        if (digits.empty() || *end != '\0' || digits[0] == '-' || digits[0] == '+' || value > kLastFrame) {
            return Fail(error, "not a sample frame: " + token);
        }
        *frame = value;
        return true;
    }
    const std::string number = EndsWith(token, "s") ? token.substr(0, token.size() - 1) : token;
    char* end = nullptr;
    const double seconds = std::strtod(number.c_str(), &end);
    if (number.empty() || *end != '\0' || !std::isfinite(seconds) || seconds < 0.0 || seconds > kLongestSeconds) {
        return Fail(error, "not a time (seconds, or frames with the suffix smp): " + token);
    }
    *frame = static_cast<int64_t>(std::llround(seconds * sampleRate));
    return true;
}

bool ParseValue(const std::string& token, double* value, std::string* error) {
    char* end = nullptr;
    *value = std::strtod(token.c_str(), &end);
    if (token.empty() || *end != '\0' || !(*value >= 0.0 && *value <= 1.0)) {
        return Fail(error, "the value must be a normalized number from 0 to 1: " + token);
    }
    return true;
}

}  // namespace

bool ParseAutomationText(const std::string& text, double sampleRate, std::vector<AutomationPoint>* points,
                         std::string* error) {
    points->clear();
    return ForEachFieldLine(text, [&](int lineNumber, const std::vector<std::string>& tokens) {
        std::string reason;
        auto fail = [&](const std::string& why) { return Fail(error, "line " + std::to_string(lineNumber) + ": " + why); };
        if (tokens.size() < 3 || tokens.size() > 4 || (tokens.size() == 4 && tokens[3] != "ramp")) {
            return fail("expected TIME ID VALUE, optionally followed by ramp");
        }
        AutomationPoint point;
        if (!ParseTime(tokens[0], sampleRate, &point.frame, &reason)) return fail(reason);
        point.id = tokens[1] == "\"\"" ? std::string() : tokens[1];
        if (!ParseValue(tokens[2], &point.value, &reason)) return fail(reason);
        point.ramp = tokens.size() == 4;
        points->push_back(std::move(point));
        return true;
    });
}

bool ReadAutomationFile(const std::string& path, double sampleRate, std::vector<AutomationPoint>* points,
                        std::string* error) {
    if (!CheckReadableFile(path, error)) return false;
    std::vector<uint8_t> bytes;
    if (!ReadFileBounded(path, kMostAutomationFileBytes, "an automation file", &bytes, error)) return false;
    if (std::find(bytes.begin(), bytes.end(), uint8_t{0}) != bytes.end()) {
        return Fail(error, path + " is not an automation file (it holds binary data)");
    }
    std::string reason;
    if (!ParseAutomationText(std::string(bytes.begin(), bytes.end()), sampleRate, points, &reason)) {
        return Fail(error, path + ": " + reason);
    }
    return true;
}

bool ParseInlineAutomation(const std::string& text, double sampleRate, std::vector<AutomationPoint>* points,
                           std::string* error) {
    auto fail = [&](const std::string& why) {
        return Fail(error, "--ramp " + text + ": " + why + " (the form is ID=TIME:VALUE[,TIME:VALUE...])");
    };
    const size_t equals = text.find('=');
    if (equals == std::string::npos) return fail("no '='");
    const std::string id = text.substr(0, equals);
    std::istringstream pairs(text.substr(equals + 1));
    std::string pair, reason;
    bool first = true;
    while (std::getline(pairs, pair, ',')) {
        const size_t colon = pair.find(':');
        if (colon == std::string::npos) return fail("\"" + pair + "\" is not TIME:VALUE");
        AutomationPoint point;
        point.id = id;
        if (!ParseTime(pair.substr(0, colon), sampleRate, &point.frame, &reason)) return fail(reason);
        if (!ParseValue(pair.substr(colon + 1), &point.value, &reason)) return fail(reason);
        point.ramp = !first;
        first = false;
        points->push_back(std::move(point));
    }
    if (first) return fail("no points");
    return true;
}

AutomationPlayer::AutomationPlayer(const std::vector<AutomationPoint>& points) {
    for (const AutomationPoint& point : points) {
        lanes_[point.id].points.push_back(point);
        frames_.push_back(point.frame);
    }
    for (auto& entry : lanes_) {
        std::stable_sort(entry.second.points.begin(), entry.second.points.end(),
                         [](const AutomationPoint& a, const AutomationPoint& b) { return a.frame < b.frame; });
    }
    std::sort(frames_.begin(), frames_.end());
    frames_.erase(std::unique(frames_.begin(), frames_.end()), frames_.end());
}

std::vector<std::string> AutomationPlayer::Parameters() const {
    std::vector<std::string> ids;
    for (const auto& entry : lanes_) ids.push_back(entry.first);
    return ids;
}

int64_t AutomationPlayer::NextPointAfter(int64_t frame) const {
    const auto next = std::upper_bound(frames_.begin(), frames_.end(), frame);
    return next == frames_.end() ? -1 : *next;
}

void AutomationPlayer::Advance(int64_t frame, const std::function<double(const std::string&)>& current,
                               const std::function<void(const std::string&, double)>& apply) {
    for (auto& [id, lane] : lanes_) {
        while (lane.next < lane.points.size() && lane.points[lane.next].frame <= frame) {
            lane.originFrame = lane.points[lane.next].frame;
            lane.originValue = lane.points[lane.next].value;
            lane.haveOrigin = true;
            ++lane.next;
        }
        const bool rampAhead = lane.next < lane.points.size() && lane.points[lane.next].ramp;
        if (!lane.haveOrigin) {
            if (!rampAhead) continue;
            // A ramp before any step starts from where the parameter stands.
            lane.originFrame = frame;
            lane.originValue = current(id);
            lane.haveOrigin = true;
            lane.applied = true;
            lane.lastApplied = lane.originValue;
        }
        double value = lane.originValue;
        if (rampAhead) {
            const AutomationPoint& target = lane.points[lane.next];
            const double progress =
                static_cast<double>(frame - lane.originFrame) / static_cast<double>(target.frame - lane.originFrame);
            value = lane.originValue + (target.value - lane.originValue) * progress;
        }
        if (!lane.applied || value != lane.lastApplied) {
            lane.applied = true;
            lane.lastApplied = value;
            apply(id, value);
        }
    }
}

}  // namespace aaxhost
