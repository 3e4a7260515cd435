#include "FileAccess.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <system_error>

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

AtomicOutput::~AtomicOutput() {
    if (committed_ || temporary_.empty()) return;
    std::error_code ec;
    fs::remove(PathOf(temporary_), ec);
}

bool AtomicOutput::Prepare(const std::string& target, std::string* error) {
    target_ = target;
    std::error_code ec;
    const fs::path path = PathOf(target);
    if (fs::is_directory(path, ec)) return Fail(error, target + " is a folder, not a file");
    fs::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    if (!fs::is_directory(folder, ec)) {
        return Fail(error, "cannot write " + target + ": the folder " + TextOf(folder) + " does not exist");
    }
    // A hidden name of our own in the same folder, so the final rename stays on one file system.
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".aaxhost-%08x.tmp", static_cast<unsigned>(random()));
        std::string name(1, '.');
        name += TextOf(path.filename());
        name += suffix;
        const fs::path candidate = folder / PathOf(name);
        if (fs::exists(candidate, ec)) continue;
        errno = 0;
        File file(std::fopen(TextOf(candidate).c_str(), "wb"));
        if (!file) {
            return Fail(error, "cannot write " + target + (errno != 0 ? ": " + std::string(std::strerror(errno)) : ""));
        }
        temporary_ = TextOf(candidate);
        return true;
    }
    return Fail(error, "cannot write " + target + ": no free temporary name beside it");
}

bool AtomicOutput::Commit(std::string* error) {
    if (temporary_.empty()) return Fail(error, "cannot write " + target_ + ": nothing was prepared");
    std::error_code ec;
    fs::rename(PathOf(temporary_), PathOf(target_), ec);
    if (ec) return Fail(error, "cannot replace " + target_ + ": " + ec.message());
    committed_ = true;
    return true;
}

}  // namespace aaxhost
