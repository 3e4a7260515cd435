#include "FileAccess.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <system_error>

#include "Interrupts.h"

namespace aaxhost {

namespace fs = std::filesystem;

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool Fail(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

std::string Comparable(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) absolute = path;
    fs::path resolved = fs::weakly_canonical(absolute, ec);
    if (ec) resolved = absolute.lexically_normal();
    const std::u8string generic = resolved.generic_u8string();
    std::string text(generic.begin(), generic.end());
#if defined(_WIN32)
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
#endif
    return text;
}

}  // namespace

fs::path PathOf(const std::string& text) {
    return fs::path(std::u8string_view(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

std::string TextOf(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool CheckReadableFile(const std::string& path, std::string* error) {
    std::error_code ec;
    const fs::file_status status = fs::status(PathOf(path), ec);
    if (!fs::exists(status)) return Fail(error, "no such file: " + path);
    if (fs::is_directory(status)) return Fail(error, path + " is a folder, not a file");
    errno = 0;
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) return Fail(error, "cannot read " + path + (errno != 0 ? ": " + std::string(std::strerror(errno)) : ""));
    return true;
}

bool ReadFilePrefix(const std::string& path, size_t count, std::vector<uint8_t>* bytes, std::string* error) {
    bytes->assign(count, 0);
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) return Fail(error, "cannot read " + path);
    const size_t read = std::fread(bytes->data(), 1, count, file.get());
    if (std::ferror(file.get())) return Fail(error, "cannot read " + path);
    bytes->resize(read);
    return true;
}

bool ReadFileBounded(const std::string& path, size_t limit, const char* kind, std::vector<uint8_t>* bytes,
                     std::string* error) {
    bytes->clear();
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) return Fail(error, "cannot read " + path);
    std::error_code ec;
    const uintmax_t size = fs::is_regular_file(PathOf(path), ec) ? fs::file_size(PathOf(path), ec) : 0;
    if (!ec && size > limit) return Fail(error, path + " is larger than " + SizeText(limit) + ", the limit for " + kind);
    if (!ec && size > 0) bytes->reserve(static_cast<size_t>(size));
    // Devices and pipes report no size: read in pieces and stop as soon as the limit is passed.
    uint8_t piece[65536];
    for (;;) {
        const size_t read = std::fread(piece, 1, sizeof piece, file.get());
        if (read > limit - bytes->size()) {
            return Fail(error, path + " is larger than " + SizeText(limit) + ", the limit for " + kind);
        }
        bytes->insert(bytes->end(), piece, piece + read);
        if (read < sizeof piece) break;
    }
    if (std::ferror(file.get())) return Fail(error, "cannot read " + path);
    return true;
}

std::string SizeText(uint64_t bytes) {
    if (bytes >= (uint64_t{1} << 20) && bytes % (uint64_t{1} << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::exists(PathOf(a), ec) && fs::exists(PathOf(b), ec)) {
        const bool same = fs::equivalent(PathOf(a), PathOf(b), ec);
        if (!ec) return same;
    }
    return Comparable(PathOf(a)) == Comparable(PathOf(b));
}


std::string CountText(int64_t count, const char* singular, const char* plural) {
    const std::string noun = count == 1 ? singular : plural != nullptr ? plural : std::string(singular) + "s";
    return std::to_string(count) + " " + noun;
}

std::string RateText(double hertz) {
    char text[64];
    if (std::isfinite(hertz) && hertz == std::floor(hertz) && std::fabs(hertz) < 1e15) {
        std::snprintf(text, sizeof text, "%lld Hz", static_cast<long long>(hertz));
    } else {
        std::snprintf(text, sizeof text, "%.6g Hz", hertz);
    }
    return text;
}

namespace {

// The file a path names once symbolic links are followed (a link to nothing names the file it
// would create).
bool FollowLinks(const std::string& target, fs::path* file, std::string* error) {
    fs::path path = PathOf(target);
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(path, ec))) {
            *file = path;
            return true;
        }
        const fs::path next = fs::read_symlink(path, ec);
        if (ec) return Fail(error, "cannot write " + target + ": its link cannot be read: " + ec.message());
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return Fail(error, "cannot write " + target + ": too many levels of symbolic links");
}

// Why a file of this kind is not replaced, or "" when it may be.
std::string RefusalFor(const std::string& target, const system::FileFacts& facts, bool force) {
    const char* onlyFiles = ", and aaxhost replaces only regular files";
    switch (facts.kind) {
        case system::FileKind::Missing: return {};
        case system::FileKind::Regular: break;
        case system::FileKind::Folder: return target + " is a folder, not a file";
        case system::FileKind::Device: return "cannot write " + target + ": it is a device" + onlyFiles;
        case system::FileKind::Fifo: return "cannot write " + target + ": it is a named pipe" + onlyFiles + " (-o - streams to standard output)";
        case system::FileKind::Socket: return "cannot write " + target + ": it is a socket" + onlyFiles;
        case system::FileKind::Other: return "cannot write " + target + ": it is not a regular file" + std::string(onlyFiles);
    }
    if (facts.readOnly && !force) {
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(facts.permissions));
        return "cannot write " + target + ": it is read-only (mode " + mode + "); --force replaces it";
    }
    return {};
}

std::string SystemReason(int code) { return code != 0 ? std::strerror(code) : "the system gave no reason"; }

}  // namespace

AtomicOutput::~AtomicOutput() {
    if (committed_ || temporary_.empty()) return;
    std::error_code ec;
    fs::remove(PathOf(temporary_), ec);
    ForgetTemporaryFile(temporary_);
}

bool AtomicOutput::Prepare(const std::string& target, bool force, std::string* error) {
    target_ = target;
    force_ = force;
    fs::path file;
    if (!FollowLinks(target, &file, error)) return false;
    std::string reason;
    if (!system::Examine(TextOf(file), &facts_, &reason)) return Fail(error, "cannot write " + target + ": " + reason);
    const std::string refusal = RefusalFor(target, facts_, force);
    if (!refusal.empty()) return Fail(error, refusal);
    file_ = TextOf(file);
    fs::path folder = file.parent_path();
    if (folder.empty()) folder = ".";
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        return Fail(error, "cannot write " + target + ": the folder " + TextOf(folder) + " does not exist");
    }
    // A hidden name of our own in the same folder, so the final rename stays on one file system.
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".aaxhost-%08x.tmp", static_cast<unsigned>(random()));
        std::string name(1, '.');
        name += TextOf(file.filename());
        name += suffix;
        const std::string candidate = TextOf(folder / PathOf(name));
        const int created = system::CreateNewFile(candidate);
        if (created == EEXIST) continue;
        if (created != 0) return Fail(error, "cannot write " + target + ": " + SystemReason(created));
        temporary_ = candidate;
        TrackTemporaryFile(temporary_);
        return true;
    }
    return Fail(error, "cannot write " + target + ": no free temporary name beside it");
}

bool AtomicOutput::WriteAll(const std::vector<uint8_t>& bytes, std::string* error) {
    errno = 0;
    File file(std::fopen(temporary_.c_str(), "wb"));
    const bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size() &&
                         std::fflush(file.get()) == 0;
    const int code = errno;
    const bool closed = file && std::fclose(file.release()) == 0;
    if (!written || !closed) return Fail(error, "cannot write " + target_ + ": " + SystemReason(code != 0 ? code : errno));
    return true;
}

bool AtomicOutput::Commit(std::string* error) { return CommitOutputs({this}, error); }

bool CommitOutputs(const std::vector<AtomicOutput*>& outputs, std::string* error) {
    // Everything that can fail without touching a target, first.
    for (AtomicOutput* output : outputs) {
        if (output->temporary_.empty()) return Fail(error, "cannot write " + output->target_ + ": nothing was prepared");
        system::FileFacts now;
        std::string reason;
        if (!system::Examine(output->file_, &now, &reason)) return Fail(error, "cannot write " + output->target_ + ": " + reason);
        const std::string refusal = RefusalFor(output->target_, now, output->force_);
        if (!refusal.empty()) return Fail(error, refusal);
        output->facts_ = now;
        system::MatchPermissions(output->temporary_, now);
    }
    InterruptDeferral deferral;
    // Each replaced file but the last keeps its previous content under a hidden name, a second
    // link to it where the file system allows, so that a later failure can put it back.
    struct Replacement {
        AtomicOutput* output;
        std::string previous;  // "" when the file did not exist
    };
    std::vector<Replacement> done;
    auto undo = [&done]() {
        for (auto it = done.rbegin(); it != done.rend(); ++it) {
            std::error_code ec;
            system::AllowReplacing(it->output->file_);
            if (it->previous.empty()) {
                fs::remove(PathOf(it->output->file_), ec);
            } else {
                fs::rename(PathOf(it->previous), PathOf(it->output->file_), ec);
            }
        }
    };
    for (size_t i = 0; i < outputs.size(); ++i) {
        AtomicOutput* output = outputs[i];
        std::error_code ec;
        std::string previous;
        if (output->facts_.kind == system::FileKind::Regular && i + 1 < outputs.size()) {
            previous = output->temporary_ + ".previous";
            fs::remove(PathOf(previous), ec);
            fs::create_hard_link(PathOf(output->file_), PathOf(previous), ec);
            if (ec) fs::copy_file(PathOf(output->file_), PathOf(previous), fs::copy_options::overwrite_existing, ec);
            if (ec) {
                undo();
                return Fail(error, "cannot replace " + output->target_ + ": its previous content cannot be kept: " +
                                       ec.message() + "; nothing was replaced");
            }
        }
        if (output->force_ && output->facts_.readOnly) system::AllowReplacing(output->file_);
        fs::rename(PathOf(output->temporary_), PathOf(output->file_), ec);
        if (ec) {
            if (output->force_ && output->facts_.readOnly) system::MatchPermissions(output->file_, output->facts_);
            if (!previous.empty()) fs::remove(PathOf(previous), ec);
            undo();
            return Fail(error, "cannot replace " + output->target_ + ": " + ec.message() +
                                   (done.empty() ? "" : "; the outputs already replaced were put back"));
        }
        done.push_back({output, previous});
    }
    for (const Replacement& replacement : done) {
        std::error_code ec;
        if (!replacement.previous.empty()) fs::remove(PathOf(replacement.previous), ec);
        replacement.output->committed_ = true;
        ForgetTemporaryFile(replacement.output->temporary_);
    }
    return true;
}

}  // namespace aaxhost
