// The line-oriented text files aaxhost reads (MIDI events, automation): one record per line,
// fields separated by white space, text after '#' ignored, blank lines skipped.
#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace aaxhost {

// [main] Calls onLine(lineNumber, fields) for every line that has fields, lines counted from 1,
// and stops at the first call that returns false. True when every call returned true.
template <typename OnLine>
bool ForEachFieldLine(const std::string& text, OnLine&& onLine) {
    std::istringstream in(text);
    std::string line;
    int lineNumber = 0;
    std::vector<std::string> fields;
    while (std::getline(in, line)) {
        ++lineNumber;
        const size_t comment = line.find('#');
        if (comment != std::string::npos) line.erase(comment);
        std::istringstream words(line);
        fields.clear();
        for (std::string word; words >> word;) fields.push_back(word);
        if (!fields.empty() && !onLine(lineNumber, fields)) return false;
    }
    return true;
}

}  // namespace aaxhost
