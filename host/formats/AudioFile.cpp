#include "AudioFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#if AAXHOST_HAVE_SNDFILE
#include <sndfile.h>
#endif

namespace aaxhost {

#if AAXHOST_HAVE_SNDFILE

namespace {

class SndfileReader final : public AudioReader {
public:
    ~SndfileReader() override {
        if (file_ != nullptr) sf_close(file_);
    }
    bool Open(const std::string& path, std::string* error) {
        file_ = sf_open(path.c_str(), SFM_READ, &info_);
        if (file_ == nullptr) {
            if (error) *error = "cannot read " + path + ": " + sf_strerror(nullptr);
            return false;
        }
        if (info_.channels <= 0 || info_.channels > 64 || info_.samplerate <= 0 || info_.frames < 0) {
            if (error) *error = path + ": unsupported channel count or sample rate";
            return false;
        }
        return true;
    }
    double SampleRate() const override { return info_.samplerate; }
    int32_t Channels() const override { return info_.channels; }
    int64_t Frames() const override { return info_.frames; }
    int64_t Read(float* samples, int64_t frames) override {
        const sf_count_t read = sf_readf_float(file_, samples, frames);
        if (read < frames && sf_error(file_) != SF_ERR_NO_ERROR) return -1;
        return read;
    }

private:
    SF_INFO info_{};
    SNDFILE* file_ = nullptr;
};

class SndfileWriter final : public AudioWriter {
public:
    ~SndfileWriter() override {
        if (file_ != nullptr) sf_close(file_);
    }
    bool Open(const std::string& path, double sampleRate, int32_t channels, int64_t frames, std::string* error) {
        path_ = path;
        SF_INFO info{};
        info.samplerate = static_cast<int>(std::lround(sampleRate));
        info.channels = channels;
        // A plain WAV header states sizes in 32 bits; past that (with room for the header and
        // the fact chunk) only RF64 can hold the data.
        const uint64_t dataBytes = static_cast<uint64_t>(std::max<int64_t>(frames, 0)) * static_cast<uint64_t>(channels) * 4u;
        const bool large = dataBytes > 0xFFFFFFFFull - 4096;
        info.format = (large ? SF_FORMAT_RF64 : SF_FORMAT_WAV) | SF_FORMAT_FLOAT;
        file_ = sf_open(path.c_str(), SFM_WRITE, &info);
        if (file_ == nullptr) {
            if (error) *error = "cannot write " + path + ": " + sf_strerror(nullptr);
            return false;
        }
        remaining_ = large ? INT64_MAX : frames;
        return true;
    }
    bool Write(const float* samples, int64_t frames, std::string* error) override {
        if (frames > remaining_) {
            if (error) *error = "cannot write " + path_ + ": more frames than announced for its header";
            return false;
        }
        remaining_ -= frames;
        if (sf_writef_float(file_, samples, frames) != frames) {
            if (error) *error = "cannot write all of " + path_ + ": " + sf_strerror(file_);
            return false;
        }
        return true;
    }
    bool Close(std::string* error) override {
        const int closed = sf_close(file_);
        file_ = nullptr;
        if (closed != 0) {
            if (error) *error = "cannot write all of " + path_ + ": " + sf_error_number(closed);
            return false;
        }
        return true;
    }

private:
    std::string path_;
    SNDFILE* file_ = nullptr;
    int64_t remaining_ = 0;
};

}  // namespace

std::unique_ptr<AudioReader> OpenAudioFile(const std::string& path, std::string* error) {
    auto reader = std::make_unique<SndfileReader>();
    if (!reader->Open(path, error)) return nullptr;
    return reader;
}

std::unique_ptr<AudioWriter> CreateFloatWavFile(const std::string& path, double sampleRate, int32_t channels,
                                                int64_t frames, std::string* error) {
    auto writer = std::make_unique<SndfileWriter>();
    if (!writer->Open(path, sampleRate, channels, frames, error)) return nullptr;
    return writer;
}

#else

std::unique_ptr<AudioReader> OpenAudioFile(const std::string& path, std::string* error) {
    return OpenWavFile(path, error);
}

std::unique_ptr<AudioWriter> CreateFloatWavFile(const std::string& path, double sampleRate, int32_t channels,
                                                int64_t, std::string* error) {
    return CreateWavFile(path, sampleRate, channels, error);
}

#endif

}  // namespace aaxhost
