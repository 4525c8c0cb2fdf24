#include "FileIo.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace vantrel {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
// Temporary names keep this much of the target's name, so that they stay within NAME_MAX.
constexpr std::size_t kTemporaryNameKept = 200;

std::error_code LastError() {
    return std::error_code(errno, std::generic_category());
}

class FileErrorCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "vantrel-file"; }
    std::string message(int value) const override {
        switch (static_cast<FileError>(value)) {
        case FileError::NotRegular:
            return "not a regular file";
        case FileError::Shrank:
            return "shrank while it was read";
        case FileError::Vanished:
            return "was removed while it was read";
        case FileError::TooLarge:
            return "is larger than its limit";
        }
        return "unknown file error";
    }
};

// Closes a descriptor on every path out of a function.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int Get() const { return fd_; }

private:
    int fd_;
};

FileIdentity IdentityOf(const struct stat& status) {
    return {status.st_dev, status.st_ino, true};
}

// Opens an input without blocking (a fifo would wait for a writer forever) and accepts
// only a regular file.
int OpenRegularInput(const std::string& path, struct stat& status, std::error_code& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = LastError();
        return -1;
    }
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        error = S_ISREG(status.st_mode) ? LastError() : MakeErrorCode(FileError::NotRegular);
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A new, empty file beside `path`, named as the thumbnail sink names its own, so that
// one clean-up finds both. Mode 0666 lets the umask decide, as creating the target would.
int CreateTemporaryBeside(const std::string& path, std::string& temporaryPath) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    const std::string prefix =
        FolderOf(path) + "." + FileNameOf(path).substr(0, kTemporaryNameKept) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, "%012llx.tmp",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
        const std::string candidate = prefix + suffix;
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            temporaryPath = candidate;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

bool WriteAll(int fd, const char* data, std::size_t size, std::error_code& error) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            error = LastError();
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Plain read and write, for file systems that cannot copy_file_range between them.
bool CopyByReading(int in, int out, std::int64_t& copied, std::error_code& error) {
    char chunk[kBufferSize];
    for (;;) {
        const ssize_t got = ::read(in, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            error = LastError();
            return false;
        }
        if (got == 0)
            return true;
        if (!WriteAll(out, chunk, static_cast<std::size_t>(got), error))
            return false;
        copied += got;
    }
}

bool CopyContent(int in, int out, std::int64_t& copied, std::error_code& error) {
    for (;;) {
        const ssize_t done = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (done == 0)
            return true;
        if (done > 0) {
            copied += done;
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)
            return CopyByReading(in, out, copied, error);
        error = LastError();
        return false;
    }
}

} // namespace

std::error_code MakeErrorCode(FileError error) {
    static const FileErrorCategory category;
    return std::error_code(static_cast<int>(error), category);
}

FileIdentity IdentityOfPath(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? IdentityOf(status) : FileIdentity{};
}

FileIdentity IdentityOfTarget(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? IdentityOf(status) : FileIdentity{};
}

bool IsTemporaryOf(std::string_view name, std::string_view output) {
    const std::string_view kept = output.substr(0, kTemporaryNameKept);
    // "." kept "." 12 hex ".tmp"
    if (name.size() != 1 + kept.size() + 1 + 12 + 4 || name[0] != '.' ||
        name.substr(1, kept.size()) != kept || name[1 + kept.size()] != '.' ||
        !name.ends_with(".tmp"))
        return false;
    for (const char c : name.substr(2 + kept.size(), 12)) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

bool IsRegularInput(const std::string& path, std::error_code& error) {
    struct stat status {};
    Descriptor in(OpenRegularInput(path, status, error));
    return in.Get() >= 0;
}

bool ReadWholeFile(const std::string& path, std::string& bytes, std::error_code& error,
                   std::uint64_t maxBytes) {
    bytes.clear();
    struct stat status {};
    Descriptor in(OpenRegularInput(path, status, error));
    if (in.Get() < 0)
        return false;
    // A sparse file may claim any size: refused before a byte of it is held.
    if (static_cast<std::uint64_t>(status.st_size) > maxBytes) {
        error = MakeErrorCode(FileError::TooLarge);
        return false;
    }
    if (status.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(status.st_size));
    char chunk[kBufferSize];
    for (;;) {
        const ssize_t got = ::read(in.Get(), chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            error = LastError();
            bytes.clear();
            return false;
        }
        if (got == 0)
            return true;
        // A file that grows while it is read is held to the limit too.
        if (static_cast<std::uint64_t>(got) > maxBytes - bytes.size()) {
            error = MakeErrorCode(FileError::TooLarge);
            bytes.clear();
            return false;
        }
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
}

OutputFile::~OutputFile() {
    Abandon();
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)),
      temporaryPath_(std::move(other.temporaryPath_)), buffer_(std::move(other.buffer_)),
      error_(other.error_) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        Abandon();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        temporaryPath_ = std::move(other.temporaryPath_);
        buffer_ = std::move(other.buffer_);
        error_ = other.error_;
    }
    return *this;
}

OutputFile OutputFile::Create(const std::string& path, std::error_code& error) {
    OutputFile file;
    error.clear();
    struct stat existing {};
    const bool exists = ::lstat(path.c_str(), &existing) == 0;
    // Only a regular file or a link is ever replaced: renaming over a folder, a fifo or
    // a device would destroy what is not ours. A file we may not write is left alone,
    // as opening it for writing would have refused.
    if (exists && S_ISDIR(existing.st_mode))
        error = std::make_error_code(std::errc::is_a_directory);
    else if (exists && !S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode))
        error = MakeErrorCode(FileError::NotRegular);
    else if (exists && S_ISREG(existing.st_mode) && ::access(path.c_str(), W_OK) != 0)
        error = LastError();
    else if ((file.fd_ = CreateTemporaryBeside(path, file.temporaryPath_)) < 0)
        error = LastError();
    if (error) {
        file.error_ = error;
        return file;
    }
    // Replacing a file keeps its permissions, as rewriting it in place would.
    if (exists && S_ISREG(existing.st_mode))
        ::fchmod(file.fd_, existing.st_mode & 0777);
    file.path_ = path;
    return file;
}

bool OutputFile::Write(std::string_view bytes) {
    if (fd_ < 0 || error_)
        return false;
    buffer_.append(bytes);
    return buffer_.size() < kBufferSize || Flush();
}

bool OutputFile::Flush() {
    if (!error_ && !buffer_.empty())
        WriteAll(fd_, buffer_.data(), buffer_.size(), error_);
    buffer_.clear();
    return !error_;
}

std::error_code OutputFile::Close() {
    if (fd_ < 0)
        return error_;
    Flush();
    if (::close(std::exchange(fd_, -1)) != 0 && !error_)
        error_ = LastError();
    if (!error_ && ::rename(temporaryPath_.c_str(), path_.c_str()) != 0)
        error_ = LastError();
    if (error_)
        ::unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
    return error_;
}

void OutputFile::Abandon() {
    if (fd_ < 0)
        return;
    ::close(std::exchange(fd_, -1));
    ::unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
    buffer_.clear();
}

bool CopyFileReplacing(const std::string& from, const std::string& to, std::error_code& error) {
    struct stat source {};
    Descriptor in(OpenRegularInput(from, source, error));
    if (in.Get() < 0)
        return false;
    // A gallery in the photo folder: the copy is the photo itself.
    if (IdentityOfTarget(to) == IdentityOf(source))
        return true;
    OutputFile out = OutputFile::Create(to, error);
    if (error)
        return false;
    std::int64_t copied = 0;
    if (!CopyContent(in.Get(), out.Descriptor(), copied, error))
        return false;
    struct stat after {};
    if (::fstat(in.Get(), &after) != 0) {
        error = LastError();
        return false;
    }
    if (after.st_nlink == 0) {
        error = MakeErrorCode(FileError::Vanished);
        return false;
    }
    if (copied < source.st_size || after.st_size < source.st_size) {
        error = MakeErrorCode(FileError::Shrank);
        return false;
    }
    // Same modification time as the photo: an unchanged photo can be told by it.
    const struct timespec times[2] = {after.st_atim, after.st_mtim};
    if (::futimens(out.Descriptor(), times) != 0) {
        error = LastError();
        return false;
    }
    error = out.Close();
    return !error;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes, std::error_code& error,
                    bool followLink) {
    std::string target = path;
    struct stat status {};
    if (followLink && ::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }
    OutputFile file = OutputFile::Create(target, error);
    if (error)
        return false;
    file.Write(bytes);
    error = file.Close();
    return !error;
}

} // namespace vantrel
