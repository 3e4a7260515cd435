#include "MidiText.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace aaxhost {

namespace {

bool ParseNumber(const std::string& token, int64_t* value) {
    if (token.empty()) return false;
    const bool hex = token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X');
    const char* begin = token.c_str() + (hex ? 2 : 0);
    char* end = nullptr;
    const long long parsed = std::strtoll(begin, &end, hex ? 16 : 10);
    if (end == begin || *end != '\0') return false;
    *value = parsed;
    return true;
}

}  // namespace

bool ParseMidiText(const std::string& text, std::vector<MidiEvent>* events, std::string* error) {
    events->clear();
    std::istringstream in(text);
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        const size_t comment = line.find('#');
        if (comment != std::string::npos) line.erase(comment);
        std::istringstream fields(line);
        std::vector<std::string> tokens;
        std::string token;
        while (fields >> token) tokens.push_back(token);
        if (tokens.empty()) continue;
        auto fail = [&](const std::string& reason) {
            if (error) *error = "line " + std::to_string(lineNumber) + ": " + reason;
            return false;
        };
        if (tokens.size() != 4) return fail("expected FRAME STATUS DATA1 DATA2");
        int64_t values[4];
        for (int i = 0; i < 4; ++i) {
            if (!ParseNumber(tokens[static_cast<size_t>(i)], &values[i])) return fail("not a number: " + tokens[static_cast<size_t>(i)]);
        }
        if (values[0] < 0) return fail("negative frame");
        if (values[1] < 0x80 || values[1] > 0xFF) return fail("status byte must be 0x80 to 0xFF");
        if (values[2] < 0 || values[2] > 127 || values[3] < 0 || values[3] > 127) return fail("data bytes must be 0 to 127");
        events->push_back({values[0], static_cast<uint8_t>(values[1]), static_cast<uint8_t>(values[2]),
                           static_cast<uint8_t>(values[3])});
    }
    std::stable_sort(events->begin(), events->end(),
                     [](const MidiEvent& a, const MidiEvent& b) { return a.frame < b.frame; });
    return true;
}

bool ReadMidiTextFile(const std::string& path, std::vector<MidiEvent>* events, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        if (error) *error = "cannot open " + path;
        return false;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string reason;
    if (!ParseMidiText(buffer.str(), events, &reason)) {
        if (error) *error = path + ": " + reason;
        return false;
    }
    return true;
}

}  // namespace aaxhost
