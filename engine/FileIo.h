#pragma once

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

// Reads a whole file; on failure returns false and sets `error`.
bool ReadWholeFile(const std::string& path, std::string& bytes, std::error_code& error);

// A file created afresh (an existing one is truncated) and written through a buffer.
// The first failure sticks: later writes do nothing and report it.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates or truncates `path`; on failure the result is closed and `error` is set.
    static OutputFile Create(const std::string& path, std::error_code& error);

    bool IsOpen() const { return fd_ >= 0; }
    FileIdentity Identity() const;
    // False once any write has failed.
    bool Write(std::string_view bytes);
    // Flushes and closes; returns the first failure of the file's life, if any.
    std::error_code Close();
    std::error_code Error() const { return error_; }

private:
    bool Flush();

    int fd_ = -1;
    std::string buffer_;
    std::error_code error_;
};

// Copies `from` to `to` through the kernel, replacing the contents of an existing `to`.
// A target that is the source itself is left alone and counts as copied.
bool CopyFileReplacing(const std::string& from, const std::string& to, std::error_code& error);

// Writes `bytes` as the whole content of `path`.
bool WriteWholeFile(const std::string& path, std::string_view bytes, std::error_code& error);

} // namespace vantrel
