#include "Json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace aaxhost {

std::string JsonEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (u < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", u);
                    out += buffer;
                } else {
                    out += c;
                }
        }
    }
    return out;
}

JsonWriter::~JsonWriter() {
    if (levels_.empty()) out_ << '\n';
}

void JsonWriter::NewLine() {
    out_ << '\n';
    for (size_t i = 0; i < levels_.size(); ++i) out_ << "  ";
}

void JsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (levels_.empty()) return;
    if (!levels_.back().first) out_ << ',';
    levels_.back().first = false;
    NewLine();
}

void JsonWriter::Open(char bracket) {
    BeforeValue();
    out_ << bracket;
    levels_.push_back({});
}

void JsonWriter::Close(char bracket) {
    const bool empty = levels_.empty() || levels_.back().first;
    if (!levels_.empty()) levels_.pop_back();
    if (!empty) NewLine();
    out_ << bracket;
}

void JsonWriter::BeginObject() { Open('{'); }
void JsonWriter::EndObject() { Close('}'); }
void JsonWriter::BeginArray() { Open('['); }
void JsonWriter::EndArray() { Close(']'); }

void JsonWriter::Key(std::string_view key) {
    BeforeValue();
    out_ << '"' << JsonEscape(key) << "\": ";
    afterKey_ = true;
}

void JsonWriter::String(std::string_view value) {
    BeforeValue();
    out_ << '"' << JsonEscape(value) << '"';
}

void JsonWriter::Number(double value) {
    BeforeValue();
    if (!std::isfinite(value)) {
        out_ << "null";
        return;
    }
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    // Prefer the shortest text that reads back to the same double.
    for (int precision = 6; precision < 17; ++precision) {
        char shorter[40];
        std::snprintf(shorter, sizeof shorter, "%.*g", precision, value);
        if (std::strtod(shorter, nullptr) == value) {
            out_ << shorter;
            return;
        }
    }
    out_ << buffer;
}

void JsonWriter::Int(int64_t value) {
    BeforeValue();
    out_ << value;
}

void JsonWriter::Bool(bool value) {
    BeforeValue();
    out_ << (value ? "true" : "false");
}

void JsonWriter::Null() {
    BeforeValue();
    out_ << "null";
}

}  // namespace aaxhost
