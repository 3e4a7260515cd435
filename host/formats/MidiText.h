// The MIDI event file of `render --midi`: plain text, one event per line,
//
//   FRAME STATUS DATA1 DATA2
//
// FRAME is the sample frame from the start of the render; the other three are bytes, in
// decimal or 0x-prefixed hexadecimal. STATUS must have its top bit set and the data bytes must
// be below 128. Blank lines and text after '#' are ignored. Events need not be in order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace aaxhost {

struct MidiEvent {
    int64_t frame = 0;
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
};

// [main] Events sorted by frame (stable). False with "line N: reason" on the first bad line.
bool ParseMidiText(const std::string& text, std::vector<MidiEvent>* events, std::string* error);
bool ReadMidiTextFile(const std::string& path, std::vector<MidiEvent>* events, std::string* error);

// [main] A standard MIDI file (format 0 or 1, ticks per quarter note): the channel messages of
// every track, merged, at frames computed through the file's tempo map (120 BPM until its first
// tempo event) at the sample rate. System exclusive and meta events are not passed on.
bool ParseStandardMidiFile(const std::vector<uint8_t>& bytes, double sampleRate, std::vector<MidiEvent>* events,
                           std::string* error);
// Files larger than this (either form) are refused before they are read whole.
constexpr size_t kMostMidiFileBytes = size_t{16} << 20;

// [main] A standard MIDI file when the file starts with "MThd" (its header is checked before the
// file is read whole), else the text form.
bool ReadMidiFile(const std::string& path, double sampleRate, std::vector<MidiEvent>* events, std::string* error);

}  // namespace aaxhost
