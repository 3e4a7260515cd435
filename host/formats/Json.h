// A small streaming JSON writer: one document, indented, with the commas managed for us.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace aaxhost {

// [main]
class JsonWriter {
public:
    explicit JsonWriter(std::ostream& out) : out_(out) {}
    ~JsonWriter();
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    void Key(std::string_view key);

    void String(std::string_view value);
    void Number(double value);  // non-finite values are written as null
    void Int(int64_t value);
    void Bool(bool value);
    void Null();

    template <class T>
    void Field(std::string_view key, const T& value) {
        Key(key);
        Write(value);
    }

private:
    void Write(const std::string& v) { String(v); }
    void Write(const char* v) { String(v != nullptr ? v : ""); }
    void Write(std::string_view v) { String(v); }
    void Write(bool v) { Bool(v); }
    void Write(double v) { Number(v); }
    void Write(float v) { Number(v); }
    void Write(int32_t v) { Int(v); }
    void Write(int64_t v) { Int(v); }
    void Write(uint32_t v) { Int(v); }
    void Write(uint64_t v) { Int(static_cast<int64_t>(v)); }

    void BeforeValue();
    void Open(char bracket);
    void Close(char bracket);
    void NewLine();

    std::ostream& out_;
    struct Level {
        bool first = true;
    };
    std::vector<Level> levels_;
    bool afterKey_ = false;
};

// The text with JSON's escapes applied, without quotes.
std::string JsonEscape(std::string_view text);

}  // namespace aaxhost
