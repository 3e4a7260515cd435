// Writes the shipped input sound: a short, dry pattern of plucked notes and clicks, so a delay's
// echoes are easy to hear. Karplus-Strong strings with a fixed random seed, 48 kHz mono 16-bit.
//   make_pluck_pattern OUT.wav
#include <cmath>
#include <cstdint>
#include <iostream>
#include <random>
#include <vector>

#include "AudioFile.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_pluck_pattern OUT.wav\n";
        return 2;
    }
    constexpr double kRate = 48000.0;
    constexpr double kSeconds = 2.0;
    aaxhost::AudioData audio;
    audio.sampleRate = kRate;
    audio.channels.assign(1, std::vector<float>(static_cast<size_t>(kRate * kSeconds), 0.0f));
    std::vector<float>& out = audio.channels[0];
    std::mt19937 random(20240611);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);

    // Notes at eighth notes of 120 BPM, with rests so the echoes stand alone.
    const double frequencies[] = {220.0, 329.63, 261.63, 0.0, 392.0, 0.0, 293.66, 0.0};
    for (int step = 0; step < 8; ++step) {
        const size_t start = static_cast<size_t>(step * 0.25 * kRate);
        if (frequencies[step] == 0.0) {
            // A short click.
            for (size_t i = 0; i < 96 && start + i < out.size(); ++i) {
                out[start + i] += 0.5f * noise(random) * std::exp(-static_cast<float>(i) / 16.0f);
            }
            continue;
        }
        const size_t period = static_cast<size_t>(kRate / frequencies[step]);
        std::vector<float> line(period);
        for (float& sample : line) sample = noise(random);
        const size_t length = static_cast<size_t>(0.22 * kRate);
        for (size_t i = 0; i < length && start + i < out.size(); ++i) {
            const size_t at = i % period;
            const float next = line[(at + 1) % period];
            const float value = line[at];
            line[at] = 0.996f * 0.5f * (value + next);
            const float fade = i + 480 > length ? static_cast<float>(length - i) / 480.0f : 1.0f;
            out[start + i] += 0.45f * value * fade;
        }
    }
    std::string error;
    if (!aaxhost::WriteWavFile(argv[1], audio, 16, false, &error)) {
        std::cerr << error << "\n";
        return 1;
    }
    return 0;
}
