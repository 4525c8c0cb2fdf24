#include "FileIo.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <unistd.h>

#include <utility>

namespace vantrel {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
// Temporary names keep this much of the target's name, so that they stay within NAME_MAX.
constexpr std::size_t kTemporaryNameKept = 200;
constexpr std::size_t kTemporarySuffix = 1 + 12 + 4; // "." 12 hex digits ".tmp"

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
            return "too large to be read whole";
        case FileError::NotJpeg:
            return "not a JPEG photo";
        }
        return "unknown file error";
    }
};

// Closes a descriptor on every path out of a function.
class FdCloser {
public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

    int Get() const { return fd_; }

private:
    int fd_;
};

// Opens an input without blocking (a fifo would wait for a writer forever) and accepts
// only a regular file.
int OpenRegular(int folder, const char* name, struct stat& status, std::error_code& error) {
    const int fd = ::openat(folder, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
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

bool ReadAll(int fd, const struct stat& status, std::string& bytes, std::error_code& error,
             std::uint64_t maxBytes) {
    bytes.clear();
    if (static_cast<std::uint64_t>(status.st_size) > maxBytes) {
        error = MakeErrorCode(FileError::TooLarge);
        return false;
    }
    bytes.reserve(static_cast<std::size_t>(status.st_size));
    char chunk[kBufferSize];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            error = LastError();
            bytes.clear();
            return false;
        }
        if (got == 0)
            return true;
        // A file that grows while it is read (or claims no size, as /proc files do) is
        // held to the same cap.
        if (bytes.size() + static_cast<std::size_t>(got) > maxBytes) {
            error = MakeErrorCode(FileError::TooLarge);
            bytes.clear();
            return false;
        }
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
}

// A new, empty file in `folder`, named after `name` as the thumbnail library names its
// own, so that one clean-up finds both.
int CreateTemporary(int folder, const std::string& name, mode_t mode, std::string& temporary) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    const std::string prefix = "." + name.substr(0, kTemporaryNameKept) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, "%012llx.tmp",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
        const std::string candidate = prefix + suffix;
        const int fd = ::openat(folder, candidate.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0) {
            temporary = candidate;
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

// Only a regular file or a link at a target is ever replaced: renaming over a folder, a
// fifo or a device would destroy what is not ours.
std::error_code CheckReplaceable(const Folder& folder, const std::string& name, bool& exists,
                                 struct stat& existing) {
    exists = folder.Status(name, existing);
    if (exists && S_ISDIR(existing.st_mode))
        return std::make_error_code(std::errc::is_a_directory);
    if (exists && !S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode))
        return MakeErrorCode(FileError::NotRegular);
    return {};
}

} // namespace

std::error_code MakeErrorCode(FileError error) {
    static const FileErrorCategory category;
    return std::error_code(static_cast<int>(error), category);
}

FileIdentity IdentityOf(const struct stat& status) {
    return {status.st_dev, status.st_ino, true};
}

FileIdentity IdentityOfTarget(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? IdentityOf(status) : FileIdentity{};
}

FileStamp StampOf(const struct stat& status, bool withChangeTime) {
    FileStamp stamp;
    stamp.size = static_cast<std::uint64_t>(status.st_size);
    stamp.modifiedNs =
        static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec;
    if (withChangeTime)
        stamp.changedNs = static_cast<std::int64_t>(status.st_ctim.tv_sec) * 1'000'000'000 +
                          status.st_ctim.tv_nsec;
    stamp.device = static_cast<std::uint64_t>(status.st_dev);
    stamp.inode = static_cast<std::uint64_t>(status.st_ino);
    return stamp;
}

bool ReadWholeFile(const std::string& path, std::string& bytes, std::error_code& error,
                   std::uint64_t maxBytes) {
    bytes.clear();
    struct stat status {};
    FdCloser in(OpenRegular(AT_FDCWD, path.c_str(), status, error));
    return in.Get() >= 0 && ReadAll(in.Get(), status, bytes, error, maxBytes);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.remove_suffix(1);
    std::string path(folder);
    if (path != "/")
        path += '/';
    return path + std::string(name);
}

Folder::~Folder() {
    if (fd_ >= 0)
        ::close(fd_);
}

Folder::Folder(Folder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

Folder Folder::Open(const std::string& path, std::error_code& error) {
    Folder folder;
    error.clear();
    folder.fd_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder.fd_ < 0)
        error = LastError();
    else
        folder.path_ = path;
    return folder;
}

FileIdentity Folder::Identity() const {
    struct stat status {};
    return ::fstat(fd_, &status) == 0 ? IdentityOf(status) : FileIdentity{};
}

bool Folder::List(std::vector<FolderEntry>& entries, std::error_code& error) const {
    entries.clear();
    error.clear();
    // The listing reads through a descriptor of its own, which closedir closes.
    const int fd = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        error = LastError();
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0)
                error = LastError();
            break;
        }
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        FolderEntry item{std::string(name), false, false};
        struct stat status {};
        if (::fstatat(fd_, entry->d_name, &status, 0) == 0) {
            item.isFolder = S_ISDIR(status.st_mode);
            item.isRegular = S_ISREG(status.st_mode);
        }
        entries.push_back(std::move(item));
    }
    ::closedir(dir);
    return !error;
}

bool Folder::Status(const std::string& name, struct stat& status) const {
    return ::fstatat(fd_, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

std::optional<FileStamp> Folder::OutputStamp(const std::string& name) const {
    struct stat status {};
    if (!Status(name, status) || !S_ISREG(status.st_mode))
        return std::nullopt;
    return StampOf(status, false);
}

int Folder::OpenInput(const std::string& name, struct stat& status, std::error_code& error) const {
    return OpenRegular(fd_, name.c_str(), status, error);
}

bool Folder::ReadWhole(const std::string& name, std::string& bytes, std::error_code& error,
                       std::uint64_t maxBytes) const {
    struct stat status {};
    FdCloser in(OpenInput(name, status, error));
    return in.Get() >= 0 && ReadAll(in.Get(), status, bytes, error, maxBytes);
}

bool Folder::Remove(const std::string& name, std::error_code& error) const {
    struct stat status {};
    if (Status(name, status) && S_ISDIR(status.st_mode)) {
        error = std::make_error_code(std::errc::is_a_directory);
        return false;
    }
    if (::unlinkat(fd_, name.c_str(), 0) != 0) {
        error = LastError();
        return false;
    }
    return true;
}

bool Folder::TryLock(std::error_code& error) const {
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        error = LastError();
        return false;
    }
    return true;
}

bool Folder::FoldsCase() const {
    std::string probe;
    const int fd = CreateTemporary(fd_, "tessary-case-probe", 0600, probe);
    if (fd < 0)
        return false;
    ::close(fd);
    std::string upper = probe;
    for (char& c : upper)
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    struct stat lowerStatus {};
    struct stat upperStatus {};
    const bool folds = Status(probe, lowerStatus) && Status(upper, upperStatus) &&
                       IdentityOf(lowerStatus) == IdentityOf(upperStatus);
    ::unlinkat(fd_, probe.c_str(), 0);
    return folds;
}

bool IsTemporaryOf(std::string_view name, std::string_view output) {
    return !output.empty() && OutputOfTemporary(name) == output.substr(0, kTemporaryNameKept);
}

std::string OutputOfTemporary(std::string_view name) {
    if (name.size() <= 1 + kTemporarySuffix || name[0] != '.' || !name.ends_with(".tmp"))
        return "";
    const std::string_view output = name.substr(1, name.size() - 1 - kTemporarySuffix);
    if (output.size() > kTemporaryNameKept || name[1 + output.size()] != '.')
        return "";
    for (const char c : name.substr(2 + output.size(), 12)) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return "";
    }
    return std::string(output);
}

std::error_code PlaceTemporary(const Folder& folder, const std::string& temporaryName,
                               const std::string& name, const BeforePlacing& beforePlacing) {
    bool exists = false;
    struct stat existing {};
    std::error_code error = CheckReplaceable(folder, name, exists, existing);
    struct stat made {};
    if (!error && !folder.Status(temporaryName, made))
        error = LastError();
    if (!error && beforePlacing)
        beforePlacing(StampOf(made, false));
    if (!error && ::renameat(folder.Descriptor(), temporaryName.c_str(), folder.Descriptor(),
                             name.c_str()) != 0)
        error = LastError();
    if (error)
        ::unlinkat(folder.Descriptor(), temporaryName.c_str(), 0);
    return error;
}

OutputFile::~OutputFile() {
    Abandon();
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : folder_(other.folder_), fd_(std::exchange(other.fd_, -1)), name_(std::move(other.name_)),
      temporaryName_(std::move(other.temporaryName_)), buffer_(std::move(other.buffer_)),
      error_(other.error_) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        Abandon();
        folder_ = other.folder_;
        fd_ = std::exchange(other.fd_, -1);
        name_ = std::move(other.name_);
        temporaryName_ = std::move(other.temporaryName_);
        buffer_ = std::move(other.buffer_);
        error_ = other.error_;
    }
    return *this;
}

OutputFile OutputFile::Create(const Folder& folder, const std::string& name, std::error_code& error,
                              std::optional<mode_t> mode) {
    OutputFile file;
    bool exists = false;
    struct stat existing {};
    error = CheckReplaceable(folder, name, exists, existing);
    // A file we may not write is left alone, as opening it for writing would have refused.
    if (!error && exists && S_ISREG(existing.st_mode) &&
        ::faccessat(folder.Descriptor(), name.c_str(), W_OK, AT_SYMLINK_NOFOLLOW) != 0)
        error = LastError();
    if (!error && (file.fd_ = CreateTemporary(folder.Descriptor(), name, mode.value_or(0666) & 0777,
                                              file.temporaryName_)) < 0)
        error = LastError();
    if (error) {
        file.error_ = error;
        return file;
    }
    // Replacing a file keeps its permissions, as rewriting it in place would.
    if (!mode && exists && S_ISREG(existing.st_mode))
        ::fchmod(file.fd_, existing.st_mode & 0777);
    file.folder_ = &folder;
    file.name_ = name;
    return file;
}

bool OutputFile::Write(std::string_view bytes) {
    if (fd_ < 0 || error_)
        return false;
    buffer_.append(bytes);
    return buffer_.size() < kBufferSize || Flush();
}

void OutputFile::Fail(std::error_code error) {
    if (!error_)
        error_ = error;
}

bool OutputFile::Flush() {
    if (!error_ && !buffer_.empty())
        WriteAll(fd_, buffer_.data(), buffer_.size(), error_);
    buffer_.clear();
    return !error_;
}

std::error_code OutputFile::Close(const BeforePlacing& beforePlacing) {
    if (fd_ < 0)
        return error_;
    Flush();
    if (::close(std::exchange(fd_, -1)) != 0 && !error_)
        error_ = LastError();
    if (!error_)
        error_ = PlaceTemporary(*folder_, temporaryName_, name_, beforePlacing);
    else
        ::unlinkat(folder_->Descriptor(), temporaryName_.c_str(), 0);
    temporaryName_.clear();
    return error_;
}

void OutputFile::Abandon() {
    if (fd_ < 0)
        return;
    ::close(std::exchange(fd_, -1));
    ::unlinkat(folder_->Descriptor(), temporaryName_.c_str(), 0);
    temporaryName_.clear();
    buffer_.clear();
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
    const auto slash = target.rfind('/');
    const std::string folderPath =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    const Folder folder = Folder::Open(folderPath, error);
    return !error && WriteWholeFile(folder, name, bytes, error);
}

bool WriteWholeFile(const Folder& folder, const std::string& name, std::string_view bytes,
                    std::error_code& error) {
    OutputFile file = OutputFile::Create(folder, name, error);
    if (error)
        return false;
    file.Write(bytes);
    error = file.Close();
    return !error;
}

} // namespace vantrel
