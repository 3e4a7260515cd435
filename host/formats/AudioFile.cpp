#include "AudioFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>

#include "FileAccess.h"

#if AAXHOST_HAVE_SNDFILE
#include <sndfile.h>
#endif

namespace aaxhost {

#if AAXHOST_HAVE_SNDFILE

namespace {

bool Fail(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

// libsndfile's reason, and the system's when a call it made failed.
std::string SndfileReason(SNDFILE* file, int systemError) {
    std::string reason = "libsndfile: ";
    reason += sf_strerror(file);
    if (systemError != 0) reason += " (" + std::string(std::strerror(systemError)) + ")";
    return reason;
}

class SndfileReader final : public AudioReader {
public:
    ~SndfileReader() override {
        if (file_ != nullptr) sf_close(file_);
    }
    // facts, when given, is what the host's WAV parser made of the header; libsndfile must agree.
    bool Open(const std::string& path, const WavFacts* facts, std::string* error) {
        file_ = sf_open(path.c_str(), SFM_READ, &info_);
        if (file_ == nullptr) return Fail(error, "cannot read " + path + " as audio: " + SndfileReason(nullptr, 0));
        const std::string shape = AudioShapeProblem(info_.channels, info_.samplerate);
        if (!shape.empty()) return Fail(error, path + ": it has " + shape);
        if (info_.frames < 0) return Fail(error, path + ": libsndfile gives it a negative length");
        declared_ = info_.frames;
        if (facts != nullptr) {
            if (facts->channels != info_.channels || facts->sampleRate != info_.samplerate || facts->frames != info_.frames) {
                return Fail(error, path + ": libsndfile reads its header differently (" + std::to_string(info_.frames) +
                                       " frames, not " + std::to_string(facts->frames) + "); it is refused");
            }
            declared_ = facts->declaredFrames;
        }
        return true;
    }
    double SampleRate() const override { return info_.samplerate; }
    int32_t Channels() const override { return info_.channels; }
    int64_t Frames() const override { return info_.frames; }
    int64_t DeclaredFrames() const override { return declared_; }
    int64_t Read(float* samples, int64_t frames) override {
        const sf_count_t read = sf_readf_float(file_, samples, frames);
        if (read < frames && sf_error(file_) != SF_ERR_NO_ERROR) return -1;
        return read;
    }

private:
    SF_INFO info_{};
    SNDFILE* file_ = nullptr;
    int64_t declared_ = 0;
};

class SndfileWriter final : public AudioWriter {
public:
    SndfileWriter(const std::string& shownAs, const AudioFormat& format) : shownAs_(shownAs), format_(format), quantizer_(format.sample) {}
    ~SndfileWriter() override {
        if (file_ != nullptr) sf_close(file_);
    }
    bool Open(const std::string& path, std::string* error) {
        const std::string shape = AudioShapeProblem(format_.channels, std::lround(format_.sampleRate));
        if (!shape.empty()) return Fail(error, "cannot write " + shownAs_ + " with " + shape);
        SF_INFO info{};
        info.samplerate = static_cast<int>(std::lround(format_.sampleRate));
        info.channels = format_.channels;
        // A plain WAV header states sizes in 32 bits; past that (with room for the header and
        // the fact chunk) only RF64 can hold the data.
        const uint64_t dataBytes = static_cast<uint64_t>(std::max<int64_t>(format_.frames, 0)) *
                                   static_cast<uint64_t>(format_.channels) * static_cast<uint64_t>(BytesPerSample(format_.sample));
        const bool large = dataBytes > 0xFFFFFFFFull - 4096;
        const int subtype = format_.sample == SampleFormat::Pcm16   ? SF_FORMAT_PCM_16
                            : format_.sample == SampleFormat::Pcm24 ? SF_FORMAT_PCM_24
                                                                    : SF_FORMAT_FLOAT;
        info.format = (large ? SF_FORMAT_RF64 : SF_FORMAT_WAV) | subtype;
        errno = 0;
        file_ = sf_open(path.c_str(), SFM_WRITE, &info);
        if (file_ == nullptr) return Fail(error, "cannot write " + shownAs_ + ": " + SndfileReason(nullptr, errno));
        // The PEAK chunk carries the time of writing: without it the same render gives the same bytes.
        sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
        remaining_ = large ? INT64_MAX : format_.frames;
        return true;
    }
    bool Write(const float* samples, int64_t frames, std::string* error) override {
        if (frames > remaining_) return Fail(error, "cannot write " + shownAs_ + ": more frames than announced for its header");
        remaining_ -= frames;
        errno = 0;
        sf_count_t written = 0;
        if (format_.sample == SampleFormat::Float32) {
            written = sf_writef_float(file_, samples, frames);
        } else {
            // Converted here, as the host's codec converts, and handed over as exact codes.
            const size_t count = static_cast<size_t>(frames) * static_cast<size_t>(format_.channels);
            if (codes_.size() < count) codes_.resize(count);
            quantizer_.Convert(samples, codes_.data(), count);
            errno = 0;
            written = sf_writef_int(file_, codes_.data(), frames);
        }
        if (written != frames) return Fail(error, "cannot write " + shownAs_ + ": " + SystemOrSndfileReason());
        return true;
    }
    bool Close(std::string* error) override {
        errno = 0;
        const int closed = sf_close(file_);
        file_ = nullptr;
        if (closed != 0) {
            const int code = errno;
            return Fail(error, "cannot finish " + shownAs_ + ": " +
                                   (code != 0 ? std::string(std::strerror(code)) : "libsndfile: " + std::string(sf_error_number(closed))));
        }
        return true;
    }

private:
    // A failed write is nearly always the system's (a full disk, a file-size limit): its reason
    // says more than libsndfile's.
    std::string SystemOrSndfileReason() const {
        const int code = errno;
        if (code != 0) return std::strerror(code);
        return SndfileReason(file_, 0) + ", while writing the audio";
    }

    std::string shownAs_;
    AudioFormat format_;
    SampleQuantizer quantizer_;
    SNDFILE* file_ = nullptr;
    int64_t remaining_ = 0;
    std::vector<int32_t> codes_;
};

}  // namespace

std::unique_ptr<AudioReader> OpenAudioFile(const std::string& path, std::string* error) {
    if (path == "-") return OpenWavStream(std::cin, "standard input", error);
    // WAV and RF64 are accepted and refused by the host's rules, as in the Windows build;
    // libsndfile then decodes them.
    std::vector<uint8_t> prefix;
    if (!ReadFilePrefix(path, 12, &prefix, error)) return nullptr;
    WavFacts facts;
    const bool wav = LooksLikeWav(prefix);
    std::string reason;
    if (wav && !InspectWavFile(path, &facts, &reason)) {
        Fail(error, path + ": " + reason);
        return nullptr;
    }
    auto reader = std::make_unique<SndfileReader>();
    if (!reader->Open(path, wav ? &facts : nullptr, error)) return nullptr;
    return reader;
}

std::unique_ptr<AudioWriter> CreateAudioFile(const std::string& path, const std::string& shownAs,
                                             const AudioFormat& format, std::string* error) {
    auto writer = std::make_unique<SndfileWriter>(shownAs, format);
    if (!writer->Open(path, error)) return nullptr;
    return writer;
}

#else

std::unique_ptr<AudioReader> OpenAudioFile(const std::string& path, std::string* error) {
    if (path == "-") return OpenWavStream(std::cin, "standard input", error);
    return OpenWavFile(path, error);
}

std::unique_ptr<AudioWriter> CreateAudioFile(const std::string& path, const std::string& shownAs,
                                             const AudioFormat& format, std::string* error) {
    return CreateWavFile(path, shownAs, format, error);
}

#endif

}  // namespace aaxhost
