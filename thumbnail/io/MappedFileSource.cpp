#include "io/ByteSource.h"

#include "base/TextException.h"

#include <cerrno>
#include <cstdint>
#include <limits>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace skimlet {

namespace {

// Closes a file descriptor when it goes out of scope; the mapping outlives it.
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

CMappedFileSource::CMappedFileSource(CProgressObserver* observer) : CByteSource(observer) {}

CMappedFileSource::~CMappedFileSource() {
    CMappedFileSource::Close();
}

int CMappedFileSource::Open(const std::string& path) {
    Close();
    // Non-blocking, so that a named pipe given as the path fails at once below
    // instead of waiting for a writer.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.Get() < 0)
        return OpenFailureCode(errno, path);

    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return SkimletCode::kCannotOpen;
    if (info.st_size == 0)
        return SkimletCode::kAccessDenied; // an empty file cannot be mapped
    if (static_cast<std::uint64_t>(info.st_size) > std::numeric_limits<std::size_t>::max() ||
        info.st_size < 0)
        return SkimletCode::kCannotOpen;

    const auto size = static_cast<std::size_t>(info.st_size);
    void* view = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.Get(), 0);
    if (view == MAP_FAILED)
        return errno == EACCES || errno == EPERM ? SkimletCode::kAccessDenied
                                                 : SkimletCode::kCannotOpen;
    ::madvise(view, size, MADV_SEQUENTIAL);
    view_ = view;
    viewSize_ = size;
    CByteSource::Open(path, static_cast<const std::uint8_t*>(view), info.st_size);
    return 0;
}

void CMappedFileSource::Close() {
    if (view_) {
        ::munmap(view_, viewSize_);
        view_ = nullptr;
        viewSize_ = 0;
    }
    CByteSource::Close();
}

} // namespace skimlet
