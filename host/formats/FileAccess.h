// Checked access to the files the command reads and writes: inputs are checked to be readable
// files and read within a size limit; outputs are written beside their target and renamed into
// place only once complete, so a failure leaves the previous file as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace aaxhost {

// The command's paths are UTF-8 text on every system (on Windows aaxhost.exe declares UTF-8 as
// its code page, so its arguments and the C library's file names are UTF-8 too); these carry
// them to and from std::filesystem, whose own narrow conversion on Windows is not UTF-8.
std::filesystem::path PathOf(const std::string& text);
std::string TextOf(const std::filesystem::path& path);

// [main] True when path names a file that can be opened for reading. Otherwise false with one
// line: the path does not exist, is a folder, or cannot be opened (and why).
bool CheckReadableFile(const std::string& path, std::string* error);

// [main] Up to count bytes from the start of the file (fewer when it is shorter).
bool ReadFilePrefix(const std::string& path, size_t count, std::vector<uint8_t>* bytes, std::string* error);

// [main] The whole file, when it holds at most limit bytes. A larger file is refused without
// being read whole: "PATH is larger than N MiB, the limit for KIND".
bool ReadFileBounded(const std::string& path, size_t limit, const char* kind, std::vector<uint8_t>* bytes,
                     std::string* error);

// "16 MiB" and the like, for messages and help texts.
std::string SizeText(uint64_t bytes);

// [main] Whether two paths name the same file: the same file on disk when both exist, else the
// same absolute path once links and "." and ".." are resolved (letter case ignored on Windows).
bool SameFile(const std::string& a, const std::string& b);

// One output file, written under a temporary name in the target's folder and renamed over the
// target by Commit. Until then the target is untouched; an output that is never committed is
// removed when this object goes away.
class AtomicOutput {
public:
    AtomicOutput() = default;
    ~AtomicOutput();
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;

    // [main] Creates the empty temporary file. False with one line when the target is a
    // folder or its folder cannot take a new file.
    bool Prepare(const std::string& target, std::string* error);
    // [main] Renames the temporary file over the target.
    bool Commit(std::string* error);

    const std::string& Target() const { return target_; }
    // Where the content goes before Commit.
    const std::string& TemporaryPath() const { return temporary_; }

private:
    std::string target_;
    std::string temporary_;
    bool committed_ = false;
};

}  // namespace aaxhost
