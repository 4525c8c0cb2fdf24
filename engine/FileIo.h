#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <system_error>
#include <vector>

// Files as bytes, with the operating system's reason for every failure. A run opens its
// photo and output folders once and works on names inside them, so that no later change
// of a path (a folder swapped for a link) can send a write elsewhere.
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

FileIdentity IdentityOf(const struct stat& status);
// The identity of what `path` leads to, links followed; invalid when nothing is there.
FileIdentity IdentityOfTarget(const std::string& path);

// What tells a file's content apart without reading it: size, modification time to the
// nanosecond and which file it is. The change time, which no user tool can set back,
// is kept where a file may be rewritten in place (a photo); an output's stamp leaves it
// out, as renaming a file or changing its permissions moves it.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const struct stat& status, bool withChangeTime);

// Caps on what a run reads whole, so that a huge or endless input is an error rather
// than an exhausted memory.
inline constexpr std::uint64_t kMaxFragmentBytes = 16u << 20;
inline constexpr std::uint64_t kMaxTemplateBytes = 16u << 20;
inline constexpr std::uint64_t kMaxDescriptionBytes = 1u << 20;
inline constexpr std::uint64_t kMaxRecordBytes = 64u << 20;

// Reads a whole regular file of at most `maxBytes` (opened without blocking, links
// followed); on failure returns false and sets `error`.
bool ReadWholeFile(const std::string& path, std::string& bytes, std::error_code& error,
                   std::uint64_t maxBytes);

// The path of `name` in `folder` for people: one separator between them.
std::string JoinPath(std::string_view folder, std::string_view name);

// An entry of a folder listing.
struct FolderEntry {
    std::string name;
    bool isFolder = false;  // links to folders included
    bool isRegular = false; // a regular file, or a link to one
};

// An open folder. Everything below names a file inside it, and works relative to it.
class Folder {
public:
    Folder() = default;
    ~Folder();
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // Opens `path` (a link to a folder is followed here, once).
    static Folder Open(const std::string& path, std::error_code& error);

    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    const std::string& Path() const { return path_; }
    std::string PathOf(std::string_view name) const { return JoinPath(path_, name); }
    FileIdentity Identity() const;

    // The folder's entries but "." and "..", unsorted.
    bool List(std::vector<FolderEntry>& entries, std::error_code& error) const;
    // The status of `name`, a link at it not followed; false when nothing is there.
    bool Status(const std::string& name, struct stat& status) const;
    // The stamp of a regular file at `name` (no link followed), without change time.
    std::optional<FileStamp> OutputStamp(const std::string& name) const;
    // Opens `name` to read, without blocking and links followed; only a regular file.
    // Returns the descriptor (owned by the caller) or -1 with `error` set.
    int OpenInput(const std::string& name, struct stat& status, std::error_code& error) const;
    bool ReadWhole(const std::string& name, std::string& bytes, std::error_code& error,
                   std::uint64_t maxBytes) const;
    // Removes `name`; only a regular file or a link, never a folder.
    bool Remove(const std::string& name, std::error_code& error) const;
    // Takes the folder for this process alone, until it is closed; false when another
    // holds it. The kernel lets go when the process ends, however it ends.
    bool TryLock(std::error_code& error) const;
    // Whether this folder's file system takes "A" and "a" for one name.
    bool FoldsCase() const;

private:
    int fd_ = -1;
    std::string path_;
};

// Whether `name` is a temporary file that an output called `output` was written through:
// "." + the output's name (its first 200 bytes) + "." + 12 hex digits + ".tmp", the
// pattern the thumbnail library uses too.
bool IsTemporaryOf(std::string_view name, std::string_view output);
// The output a temporary name was made for (its first 200 bytes), or "" when `name` is
// no temporary name.
std::string OutputOfTemporary(std::string_view name);

// Called with a new file's stamp just before it is renamed over its target.
using BeforePlacing = std::function<void(const FileStamp&)>;

// Renames the temporary file `temporaryName` of `folder` over `name`: a link at `name` is
// replaced, never followed, and only a regular file or a link is ever replaced.
std::error_code PlaceTemporary(const Folder& folder, const std::string& temporaryName,
                               const std::string& name, const BeforePlacing& beforePlacing);

// A file written through a buffer into a temporary file beside its target and renamed
// over the target by Close, so the target is either the old file or the whole new one.
// The first failure sticks: later writes do nothing and report it. Destroyed without
// Close, the temporary file is removed and the target left as it was.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file for `name` in `folder`; refuses a target that is neither
    // a regular file nor a link, and a file that may not be written. With `mode`, the file
    // gets those permission bits under the umask; without, 0666 under the umask, or the
    // permissions of the file it replaces. On failure the result is closed and `error` set.
    static OutputFile Create(const Folder& folder, const std::string& name, std::error_code& error,
                             std::optional<mode_t> mode = std::nullopt);

    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    // False once any write has failed.
    bool Write(std::string_view bytes);
    // Flushes, closes and renames over the target; returns the first failure of the
    // file's life, if any, in which case the target is untouched.
    std::error_code Close(const BeforePlacing& beforePlacing = {});
    // Drops what was written; the target is untouched.
    void Abandon();
    // Sets the first failure, for a writer that wrote through the descriptor.
    void Fail(std::error_code error);

private:
    bool Flush();

    const Folder* folder_ = nullptr;
    int fd_ = -1;
    std::string name_;
    std::string temporaryName_;
    std::string buffer_;
    std::error_code error_;
};

// Copies the rest of `in` (from its current offset) to `out`; `copied` counts the bytes.
bool CopyContent(int in, int out, std::int64_t& copied, std::error_code& error);

// Writes `bytes` as the whole content of `path`, atomically. With `followLink`, a link at
// `path` stays and the file it leads to is replaced (a file the user named); without, the
// link itself is replaced.
bool WriteWholeFile(const std::string& path, std::string_view bytes, std::error_code& error,
                    bool followLink = false);

// Writes `bytes` as the whole content of `name` in `folder`, atomically; a link at the
// name is replaced.
bool WriteWholeFile(const Folder& folder, const std::string& name, std::string_view bytes,
                    std::error_code& error);

// Error values of our own, for the failures the system has no number for.
enum class FileError {
    NotRegular = 1, // "not a regular file"
    Shrank,         // "shrank while it was read"
    Vanished,       // "was removed while it was read"
    TooLarge,       // "is too large to be read whole"
    NotJpeg,        // "not a JPEG photo"
};
std::error_code MakeErrorCode(FileError error);

} // namespace vantrel
