#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <system_error>

// Files as bytes, with the operating system's reason for every failure.
namespace vantrel {

// Device and inode: tells whether two open files are one file.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool valid = false;

    bool operator==(const FileIdentity& other) const {
        return valid && other.valid && device == other.device && inode == other.inode;
    }
};

// The identity of what `path` names, links not followed; invalid when nothing is there.
FileIdentity IdentityOfPath(const std::string& path);
// The same with links followed: tells whether two paths lead to one folder.
FileIdentity IdentityOfTarget(const std::string& path);

// Whether `path` opens, without blocking, as a regular file; when not, sets `error`.
bool IsRegularInput(const std::string& path, std::error_code& error);

// Reads a whole regular file of at most `maxBytes` (a larger one is refused before it is
// read); on failure returns false and sets `error`.
bool ReadWholeFile(const std::string& path, std::string& bytes, std::error_code& error,
                   std::uint64_t maxBytes = UINT64_MAX);

// Whether `name` is a temporary file that an output called `output` was written through:
// "." + the output's name (its first 200 bytes) + "." + 12 hex digits + ".tmp", the
// pattern the thumbnail sink uses too.
bool IsTemporaryOf(std::string_view name, std::string_view output);

// A file written through a buffer into a temporary file beside its target and renamed
// over the target by Close, so the target is either the old file or the whole new one.
// A link at the target is replaced, not written through. The first failure sticks:
// later writes do nothing and report it. Destroyed without Close, the temporary file
// is removed and the target left as it was.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file for `path`; refuses a target that is neither a regular
    // file nor a link, and a file that may not be written. On failure the result is
    // closed and `error` is set.
    static OutputFile Create(const std::string& path, std::error_code& error);

    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    // False once any write has failed.
    bool Write(std::string_view bytes);
    // Flushes, closes and renames over the target; returns the first failure of the
    // file's life, if any, in which case the target is untouched.
    std::error_code Close();
    // Drops what was written; the target is untouched.
    void Abandon();
    std::error_code Error() const { return error_; }

private:
    bool Flush();

    int fd_ = -1;
    std::string path_;
    std::string temporaryPath_;
    std::string buffer_;
    std::error_code error_;
};

// Copies `from` to `to` through a temporary file, with the photo's modification time.
// Only a regular `from` is read (opened without blocking, so a fifo cannot hang the run);
// a source that shrinks or vanishes while it is read is a failure. A target that is the
// source itself is left alone and counts as copied.
bool CopyFileReplacing(const std::string& from, const std::string& to, std::error_code& error);

// Writes `bytes` as the whole content of `path`, atomically. With `followLink`, a link at
// `path` stays and the file it leads to is replaced (a file the user named); without, the
// link itself is replaced.
bool WriteWholeFile(const std::string& path, std::string_view bytes, std::error_code& error,
                    bool followLink = false);

// Error values of our own, for the failures the system has no number for.
enum class FileError {
    NotRegular = 1, // "not a regular file"
    Shrank,         // "shrank while it was read"
    Vanished,       // "was removed while it was read"
    TooLarge,       // "is larger than its limit"
};
std::error_code MakeErrorCode(FileError error);

} // namespace vantrel
