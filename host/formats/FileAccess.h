// Checked access to the files the command reads and writes: inputs are checked to be readable
// files and read within a size limit; outputs are written beside the file they name and renamed
// into place only once complete, so a failure leaves the previous file as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "SystemFiles.h"

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
// "1 channel", "2 channels": count and noun, in the plural unless count is 1.
std::string CountText(int64_t count, const char* singular, const char* plural = nullptr);
// A sample rate as people write it: "48000 Hz", "2000000 Hz", "44100.5 Hz".
std::string RateText(double hertz);

// [main] Whether two paths name the same file: the same file on disk when both exist, else the
// same absolute path once links and "." and ".." are resolved (letter case ignored on Windows).
bool SameFile(const std::string& a, const std::string& b);

// One output file. Prepare follows symbolic links to the file they name and refuses anything but
// a regular file or a new name there: a folder, a device, a named pipe or socket, and a read-only
// file unless forced (read-only: no write permission bits at all, or none for this user). The
// content is written to a temporary file beside that file, which CommitOutputs renames over it
// with the permissions (and, where allowed, the owner) of the file it replaces. Until then the
// target is untouched; an output that is never committed is removed when this object goes away,
// or by an interruption.
class AtomicOutput {
public:
    AtomicOutput() = default;
    ~AtomicOutput();
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;

    // [main] Checks the target and creates the empty temporary file. False with one line naming
    // target when it is refused or its folder cannot take a new file.
    bool Prepare(const std::string& target, bool force, std::string* error);
    // [main] Writes the whole content to the temporary file.
    bool WriteAll(const std::vector<uint8_t>& bytes, std::string* error);
    // [main] CommitOutputs for this output alone.
    bool Commit(std::string* error);

    // As the user named it: what messages say.
    const std::string& Target() const { return target_; }
    // Where the content goes before the commit.
    const std::string& TemporaryPath() const { return temporary_; }

private:
    friend bool CommitOutputs(const std::vector<AtomicOutput*>& outputs, std::string* error);

    std::string target_;
    std::string file_;  // the file target names, links followed
    std::string temporary_;
    system::FileFacts facts_;
    bool force_ = false;
    bool committed_ = false;
};

// [main] Replaces every output's file with its content, all or none: each is checked again and
// given its permissions first, and if a rename fails the files already replaced get their
// previous content back (new ones are removed). Interruptions wait until it is done. False
// with one line naming the output that failed.
bool CommitOutputs(const std::vector<AtomicOutput*>& outputs, std::string* error);

}  // namespace aaxhost
