#include "io/ByteSink.h"

#include "base/TextException.h"
#include "base/Trace.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace skimlet {

namespace {

// The folder of `path` as a prefix ending in "/", or "./" when it names none.
std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Creates a new, empty file beside `path` whose name cannot clash with a thumbnail
// (hidden, ".tmp" suffix). The mode 0666 lets the umask decide the permissions,
// as creating the target directly would. Returns the descriptor or -1.
int CreateTemporaryBeside(const std::string& path, std::string& temporaryPath) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    // The name is shortened so that the temporary name stays within NAME_MAX.
    const std::string prefix = FolderOf(path) + "." + FileNameOf(path).substr(0, 200) + ".";
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
    return -1;
}

} // namespace

CByteSink::~CByteSink() = default;

void CByteSink::Open(const std::string& name, std::uint8_t* buffer, std::int64_t capacity) {
    name_ = name;
    buffer_ = buffer;
    capacity_ = capacity;
    written_ = 0;
}

void CByteSink::Close() {
    name_.clear();
    buffer_ = nullptr;
    written_ = 0;
}

std::int64_t CByteSink::WriteBytes(std::int64_t count, const std::uint8_t* data) {
    // Unsigned, so that a negative count is refused too, and written + count
    // cannot wrap.
    if (static_cast<std::uint64_t>(count) > static_cast<std::uint64_t>(capacity_ - written_))
        throw CTextException(SkimletCode::kEndOfData, "Buffer overflow while encoding.\n");
    if (count > 0)
        std::memcpy(buffer_ + written_, data, static_cast<std::size_t>(count));
    written_ += count;
    return count;
}

CMemorySink::CMemorySink() = default;
CMemorySink::~CMemorySink() = default;

int CMemorySink::Open(std::int64_t capacity) {
    CByteSink::Close();
    ownedBuffer_.reset();
    if (capacity < 0)
        return SkimletCode::kCannotCreateOutput;
    ownedBuffer_.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(capacity) + 1]);
    if (!ownedBuffer_)
        return SkimletCode::kCannotCreateOutput;
    CByteSink::Open("memory", ownedBuffer_.get(), capacity);
    return SkimletCode::kOk;
}

CBufferedFileSink::CBufferedFileSink() = default;

CBufferedFileSink::~CBufferedFileSink() {
    if (file_) {
        std::fclose(file_);
        ::unlink(temporaryPath_.c_str());
    }
}

int CBufferedFileSink::Open(const std::string& path, std::int64_t capacity) {
    if (file_) { // a second Open abandons the first
        std::fclose(file_);
        file_ = nullptr;
        ::unlink(temporaryPath_.c_str());
    }
    CByteSink::Close();
    if (capacity < 0 || path.empty())
        return SkimletCode::kCannotCreateOutput;

    // A link at the target's name is replaced itself, never written through: it
    // may lead to a file anywhere, which is not ours to change.
    const std::string target = path;
    struct stat existing {};
    const bool exists = ::lstat(path.c_str(), &existing) == 0;
    // Only a regular file or a link is ever replaced: renaming over a device or a
    // folder would destroy it. A file the caller may not write is refused, as
    // opening it for writing would be.
    if (exists && !S_ISLNK(existing.st_mode) &&
        (!S_ISREG(existing.st_mode) || ::access(target.c_str(), W_OK) != 0))
        return SkimletCode::kCannotCreateOutput;

    ownedBuffer_.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(capacity) + 1]);
    if (!ownedBuffer_)
        return SkimletCode::kCannotCreateOutput;

    std::string temporaryPath;
    const int fd = CreateTemporaryBeside(target, temporaryPath);
    if (fd < 0) {
        ownedBuffer_.reset();
        return SkimletCode::kCannotCreateOutput;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (!file) {
        ::close(fd);
        ::unlink(temporaryPath.c_str());
        ownedBuffer_.reset();
        return SkimletCode::kCannotCreateOutput;
    }
    // Replacing a file keeps its permissions, as rewriting it in place would.
    if (exists && S_ISREG(existing.st_mode))
        ::fchmod(fd, existing.st_mode & 0777);

    file_ = file;
    path_ = path;
    targetPath_ = target;
    temporaryPath_ = temporaryPath;
    CByteSink::Open(path, ownedBuffer_.get(), capacity);
    return SkimletCode::kOk;
}

void CBufferedFileSink::Close() {
    if (!file_) {
        CByteSink::Close();
        return;
    }
    std::FILE* file = file_;
    file_ = nullptr;
    const auto size = static_cast<std::size_t>(Written());
    bool ok = std::fwrite(Buffer(), 1, size, file) == size;
    ok = std::fflush(file) == 0 && ok;
    int error = ok ? 0 : errno;
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && std::rename(temporaryPath_.c_str(), targetPath_.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    ownedBuffer_.reset();
    CByteSink::Close();
    if (!ok) {
        ::unlink(temporaryPath_.c_str());
        ThrowDecodeError(SkimletCode::kCannotCreateOutput,
                         "Writing " + path_ + " failed (" + std::strerror(error) + ")");
    }
}

} // namespace skimlet
