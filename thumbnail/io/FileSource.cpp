#include "io/ByteSource.h"

#include "base/TextException.h"
#include "base/Trace.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace skimlet {

namespace {

// Looks at the first bytes without reading the whole file; the picture type
// detection asks for 544.
constexpr std::int64_t kMaxPeekWithoutLoading = 4096;

// Closes a file descriptor when it goes out of scope, unless released.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// The folder that holds `path`: everything before its last separator.
std::string ParentFolder(const std::string& path) {
    std::string::size_type end = path.find_last_not_of('/');
    if (end == std::string::npos)
        return "/";
    const std::string::size_type slash = path.rfind('/', end);
    if (slash == std::string::npos)
        return ".";
    end = path.find_last_not_of('/', slash);
    return end == std::string::npos ? "/" : path.substr(0, end + 1);
}

// Open failures sorted into the library's codes: a missing folder on the way
// is 3, a refused permission 5, anything else (the file itself missing) 4.
int OpenFailureCode(int error, const std::string& path) {
    switch (error) {
    case ENOTDIR:
        return SkimletCode::kPathNotFound;
    case EACCES:
    case EPERM:
        return SkimletCode::kAccessDenied;
    case ENOENT: {
        struct stat folder {};
        const bool folderExists =
            ::stat(ParentFolder(path).c_str(), &folder) == 0 && S_ISDIR(folder.st_mode);
        return folderExists ? SkimletCode::kCannotOpen : SkimletCode::kPathNotFound;
    }
    default:
        return SkimletCode::kCannotOpen;
    }
}

} // namespace

CFileSource::CFileSource(CProgressObserver* observer) : CByteSource(observer) {}

CFileSource::~CFileSource() {
    CFileSource::Close();
}

int CFileSource::Open(const std::string& path) {
    Close();
    // Non-blocking, so that a named pipe given as the path fails at once below
    // instead of waiting for a writer.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.Get() < 0)
        return OpenFailureCode(errno, path);

    const int code = Adopt(file.Get(), true, path);
    if (code == SkimletCode::kOk)
        file.Release();
    return code;
}

int CFileSource::OpenDescriptor(int fd, const std::string& name) {
    Close();
    return fd < 0 ? SkimletCode::kCannotOpen : Adopt(fd, false, name);
}

int CFileSource::Adopt(int fd, bool owned, const std::string& name) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return SkimletCode::kCannotOpen;
    // Kept from when files were mapped, which an empty one cannot be: callers
    // know an empty photo by this code.
    if (info.st_size == 0)
        return SkimletCode::kAccessDenied;
    if (info.st_size < 0)
        return SkimletCode::kCannotOpen;
    fd_ = fd;
    ownsFd_ = owned;
    OpenWithoutData(name, info.st_size);
    return SkimletCode::kOk;
}

void CFileSource::Close() {
    if (fd_ >= 0 && ownsFd_)
        ::close(fd_);
    fd_ = -1;
    ownsFd_ = false;
    contents_.clear();
    contents_.shrink_to_fit();
    peekBuffer_.clear();
    peekBuffer_.shrink_to_fit();
    CByteSource::Close();
}

void CFileSource::ReadExactly(std::uint8_t* buffer, std::int64_t count, std::int64_t offset) {
    while (count > 0) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::int64_t>(count, 1 << 30));
        const ssize_t got = ::pread(fd_, buffer, chunk, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            ThrowDecodeError(SkimletCode::kCannotOpen,
                             "Reading " + Name() + " failed: " + std::strerror(errno));
        if (got == 0)
            ThrowDecodeError(SkimletCode::kEndOfData,
                             Name() + " became shorter while it was being read.");
        buffer += got;
        offset += got;
        count -= got;
    }
}

void CFileSource::LoadAll() {
    if (HasData() || !IsOpen())
        return;
    // The size is what fstat said; a file larger than memory fails here as
    // out of memory, not later.
    contents_.resize(static_cast<std::size_t>(Size()));
    ReadExactly(contents_.data(), Size(), 0);
    ProvideData(contents_.data());
}

const std::uint8_t* CFileSource::PeekBytes(std::int64_t count) {
    if (HasData() || !IsOpen() || count > kMaxPeekWithoutLoading) {
        LoadAll();
        return CByteSource::PeekBytes(count);
    }
    // A short look (the picture type) needs only the first bytes of the file.
    const std::int64_t available = std::clamp<std::int64_t>(Size() - Position(), 0, count);
    peekBuffer_.assign(static_cast<std::size_t>(std::max<std::int64_t>(count, 0)), 0);
    ReadExactly(peekBuffer_.data(), available, Position());
    return peekBuffer_.data();
}

const std::uint8_t* CFileSource::ReadBytes(std::int64_t count) {
    LoadAll();
    return CByteSource::ReadBytes(count);
}

const std::uint8_t* CFileSource::RemainingData() {
    LoadAll();
    return CByteSource::RemainingData();
}

std::int64_t CFileSource::ReadInto(std::uint8_t* buffer, std::int64_t capacity) {
    if (HasData())
        return CByteSource::ReadInto(buffer, capacity);
    const std::int64_t count = std::clamp<std::int64_t>(Size() - Position(), 0, capacity);
    ReadExactly(buffer, count, Position());
    Consume(count);
    return count;
}

} // namespace skimlet
