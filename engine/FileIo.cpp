#include "FileIo.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace vantrel {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

std::error_code LastError() {
    return std::error_code(errno, std::generic_category());
}

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
    // Closes now, reporting what close reports (a delayed write error, for one).
    bool Close() {
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

FileIdentity IdentityOf(int fd) {
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0)
        return {};
    return {status.st_dev, status.st_ino, true};
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
bool CopyByReading(int in, int out, std::error_code& error) {
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
    }
}

} // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes, std::error_code& error) {
    bytes.clear();
    Descriptor in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.Get() < 0) {
        error = LastError();
        return false;
    }
    struct stat status {};
    if (::fstat(in.Get(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0)
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
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
}

OutputFile::~OutputFile() {
    if (fd_ >= 0)
        Close();
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), buffer_(std::move(other.buffer_)), error_(other.error_) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            Close();
        fd_ = std::exchange(other.fd_, -1);
        buffer_ = std::move(other.buffer_);
        error_ = other.error_;
    }
    return *this;
}

OutputFile OutputFile::Create(const std::string& path, std::error_code& error) {
    OutputFile file;
    file.fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (file.fd_ < 0) {
        error = LastError();
        file.error_ = error;
    } else {
        error.clear();
    }
    return file;
}

FileIdentity OutputFile::Identity() const {
    return IdentityOf(fd_);
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
    return error_;
}

bool CopyFileReplacing(const std::string& from, const std::string& to, std::error_code& error) {
    Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.Get() < 0) {
        error = LastError();
        return false;
    }
    // Not truncated on opening: the target may be the source itself.
    Descriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    if (out.Get() < 0) {
        error = LastError();
        return false;
    }
    if (IdentityOf(in.Get()) == IdentityOf(out.Get()))
        return true;
    if (::ftruncate(out.Get(), 0) != 0) {
        error = LastError();
        return false;
    }
    for (;;) {
        const ssize_t copied = ::copy_file_range(in.Get(), nullptr, out.Get(), nullptr, 1 << 30, 0);
        if (copied == 0)
            break;
        if (copied > 0)
            continue;
        if (errno == EINTR)
            continue;
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) {
            if (!CopyByReading(in.Get(), out.Get(), error))
                return false;
            break;
        }
        error = LastError();
        return false;
    }
    if (!out.Close()) {
        error = LastError();
        return false;
    }
    return true;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes, std::error_code& error) {
    OutputFile file = OutputFile::Create(path, error);
    if (error)
        return false;
    file.Write(bytes);
    error = file.Close();
    return !error;
}

} // namespace vantrel
