#include "MidiText.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdlib>

#include "FieldLines.h"
#include "FileAccess.h"

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
    const bool parsed = ForEachFieldLine(text, [&](int lineNumber, const std::vector<std::string>& tokens) {
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
        return true;
    });
    if (!parsed) return false;
    std::stable_sort(events->begin(), events->end(),
                     [](const MidiEvent& a, const MidiEvent& b) { return a.frame < b.frame; });
    return true;
}

namespace {

struct Reader {
    const std::vector<uint8_t>& bytes;
    size_t at;
    size_t end;
    bool Has(size_t count) const { return at <= end && end - at >= count; }
    uint8_t Byte() { return bytes[at++]; }
    uint32_t Big(int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i) value = value << 8 | Byte();
        return value;
    }
    // A variable-length quantity: at most four bytes.
    bool Variable(uint32_t* value) {
        *value = 0;
        for (int i = 0; i < 4; ++i) {
            if (!Has(1)) return false;
            const uint8_t b = Byte();
            *value = *value << 7 | (b & 0x7Fu);
            if ((b & 0x80) == 0) return true;
        }
        return false;
    }
};

struct TickEvent {
    uint64_t tick;
    bool tempo;
    uint32_t microsPerQuarter;
    MidiEvent event;
};

int32_t DataBytes(uint8_t status) {
    const uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

// The 14-byte header chunk: "MThd", its length, format, track count and division.
bool CheckMidiHeader(const std::vector<uint8_t>& bytes, std::string* error) {
    auto fail = [error](const std::string& reason) {
        if (error) *error = reason;
        return false;
    };
    Reader header{bytes, 0, bytes.size()};
    if (!header.Has(14) || header.Big(4) != 0x4D546864u) return fail("not a standard MIDI file");
    const uint32_t headerLength = header.Big(4);
    if (headerLength < 6) return fail("MIDI file header is truncated");
    const uint32_t format = header.Big(2);
    header.Big(2);
    const uint32_t division = header.Big(2);
    if (format > 1) return fail("MIDI file format " + std::to_string(format) + " is not supported (0 or 1)");
    if ((division & 0x8000) != 0) return fail("MIDI files timed in SMPTE frames are not supported");
    if (division == 0) return fail("MIDI file division is 0 ticks per quarter note");
    return true;
}

}  // namespace

bool ParseStandardMidiFile(const std::vector<uint8_t>& bytes, double sampleRate, std::vector<MidiEvent>* events,
                           std::string* error) {
    events->clear();
    auto fail = [error](const std::string& reason) {
        if (error) *error = reason;
        return false;
    };
    if (!CheckMidiHeader(bytes, error)) return false;
    Reader header{bytes, 4, bytes.size()};
    const uint32_t headerLength = header.Big(4);
    if (!header.Has(headerLength)) return fail("MIDI file header is truncated");
    header.Big(2);
    const uint32_t trackCount = header.Big(2);
    const uint32_t division = header.Big(2);
    header.at += headerLength - 6;
    std::vector<TickEvent> timeline;
    for (uint32_t track = 0; track < trackCount; ++track) {
        const std::string name = "MIDI track " + std::to_string(track + 1);
        if (!header.Has(8)) return fail("MIDI file ends before track " + std::to_string(track + 1));
        const uint32_t tag = header.Big(4);
        const uint32_t length = header.Big(4);
        if (!header.Has(length)) return fail(name + " is truncated");
        Reader in{bytes, header.at, header.at + length};
        header.at += length;
        if (tag != 0x4D54726Bu) continue;  // an unknown chunk is skipped
        uint64_t tick = 0;
        uint8_t running = 0;
        while (in.Has(1)) {
            uint32_t delta = 0;
            if (!in.Variable(&delta) || !in.Has(1)) return fail(name + " is malformed");
            tick += delta;
            uint8_t status = in.bytes[in.at];
            if (status >= 0x80) {
                in.Byte();
            } else if (running != 0) {
                status = running;
            } else {
                return fail(name + " has data without a status");
            }
            // Meta and system exclusive events cancel running status.
            if (status >= 0xF0) running = 0;
            if (status == 0xFF) {
                if (!in.Has(1)) return fail(name + ": meta event is truncated");
                const uint8_t type = in.Byte();
                uint32_t size = 0;
                if (!in.Variable(&size) || !in.Has(size)) return fail(name + ": meta event is truncated");
                if (type == 0x51 && size == 3) {
                    const uint32_t micros = in.Big(3);
                    if (micros > 0) timeline.push_back({tick, true, micros, {}});
                } else {
                    in.at += size;
                }
                if (type == 0x2F) break;  // end of track
                continue;
            }
            if (status == 0xF0 || status == 0xF7) {
                uint32_t size = 0;
                if (!in.Variable(&size) || !in.Has(size)) return fail(name + ": system exclusive event is truncated");
                in.at += size;
                continue;
            }
            if (status >= 0xF0) return fail(name + " has an unexpected status byte");
            running = status;
            const int32_t count = DataBytes(status);
            if (!in.Has(static_cast<size_t>(count))) return fail(name + ": channel message is truncated");
            MidiEvent event;
            event.status = status;
            event.data1 = in.Byte() & 0x7F;
            event.data2 = count == 2 ? (in.Byte() & 0x7F) : 0;
            timeline.push_back({tick, false, 0, event});
        }
    }
    // Tracks merge by time; at one tick a tempo change applies before the messages.
    std::stable_sort(timeline.begin(), timeline.end(), [](const TickEvent& a, const TickEvent& b) {
        return a.tick < b.tick || (a.tick == b.tick && a.tempo && !b.tempo);
    });
    double seconds = 0.0;
    uint64_t lastTick = 0;
    double secondsPerTick = 0.5 / division;  // 120 BPM until the first tempo event
    for (const TickEvent& entry : timeline) {
        seconds += static_cast<double>(entry.tick - lastTick) * secondsPerTick;
        lastTick = entry.tick;
        if (entry.tempo) {
            secondsPerTick = entry.microsPerQuarter / 1e6 / division;
            continue;
        }
        MidiEvent event = entry.event;
        event.frame = static_cast<int64_t>(std::llround(seconds * sampleRate));
        events->push_back(event);
    }
    return true;
}

bool ReadMidiFile(const std::string& path, double sampleRate, std::vector<MidiEvent>* events, std::string* error) {
    if (!CheckReadableFile(path, error)) return false;
    auto fail = [&](const std::string& reason) {
        if (error) *error = path + ": " + reason;
        return false;
    };
    std::vector<uint8_t> bytes;
    if (!ReadFilePrefix(path, 14, &bytes, error)) return false;
    std::string reason;
    const bool standard = bytes.size() >= 4 && std::memcmp(bytes.data(), "MThd", 4) == 0;
    if (standard && !CheckMidiHeader(bytes, &reason)) return fail(reason);
    if (!standard && std::find(bytes.begin(), bytes.end(), uint8_t{0}) != bytes.end()) {
        return fail("neither a standard MIDI file nor MIDI event text");
    }
    if (!ReadFileBounded(path, kMostMidiFileBytes, "a MIDI file", &bytes, error)) return false;
    if (standard) return ParseStandardMidiFile(bytes, sampleRate, events, &reason) || fail(reason);
    if (std::find(bytes.begin(), bytes.end(), uint8_t{0}) != bytes.end()) {
        return fail("neither a standard MIDI file nor MIDI event text");
    }
    return ParseMidiText(std::string(bytes.begin(), bytes.end()), events, &reason) || fail(reason);
}

bool ReadMidiTextFile(const std::string& path, std::vector<MidiEvent>* events, std::string* error) {
    if (!CheckReadableFile(path, error)) return false;
    std::vector<uint8_t> bytes;
    if (!ReadFileBounded(path, kMostMidiFileBytes, "a MIDI file", &bytes, error)) return false;
    std::string reason;
    if (!ParseMidiText(std::string(bytes.begin(), bytes.end()), events, &reason)) {
        if (error) *error = path + ": " + reason;
        return false;
    }
    return true;
}

}  // namespace aaxhost
