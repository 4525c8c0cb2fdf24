#pragma once

#include "base/PLObject.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace skimlet {

// Collects an encoder's output in one bounded buffer.
class CByteSink : public CPLObject {
public:
    ~CByteSink() override;

    virtual void Close();
    // Appends `count` bytes and returns count; throws CTextException 11
    // "Buffer overflow while encoding.\n" (writing nothing) when they do not fit.
    std::int64_t WriteBytes(std::int64_t count, const std::uint8_t* data);

    const std::string& Name() const { return name_; }
    std::int64_t Written() const { return written_; }
    std::int64_t Capacity() const { return capacity_; }
    const std::uint8_t* Buffer() const { return buffer_; }

    CByteSink(const CByteSink&) = delete;
    CByteSink& operator=(const CByteSink&) = delete;

protected:
    CByteSink() = default;
    void Open(const std::string& name, std::uint8_t* buffer, std::int64_t capacity);

private:
    std::uint8_t* buffer_ = nullptr;
    std::int64_t written_ = 0;
    std::string name_;
    std::int64_t capacity_ = 0;
};

// Collects the encoding in memory, for a caller that writes it itself.
class CMemorySink : public CByteSink {
public:
    CMemorySink();
    ~CMemorySink() override;
    // 0 (kOk), or -1 (kCannotCreateOutput) when the buffer cannot be had.
    // Pages of the buffer that are never written cost no memory.
    int Open(std::int64_t capacity);

private:
    std::unique_ptr<std::uint8_t[]> ownedBuffer_;
};

// Writes the collected bytes to a file when closed. The bytes go to a temporary
// file beside the target, renamed over it only once complete, so a failed
// encoding never leaves a partial file and never spoils an existing one.
class CBufferedFileSink : public CByteSink {
public:
    CBufferedFileSink();
    // An open sink that was never closed is abandoned: its temporary file is removed.
    ~CBufferedFileSink() override;

    // 0 (kOk) on success, -1 (kCannotCreateOutput) when the file cannot be
    // created or the buffer allocated
    // (also when `path` names something other than a regular file, or one that
    // may not be written).
    int Open(const std::string& path, std::int64_t capacity);
    // Writes and renames; throws CTextException(-1, ...) naming `path` when that fails.
    void Close() override;

private:
    std::string path_;
    std::string targetPath_; // path_ with a final symbolic link resolved
    std::string temporaryPath_;
    std::FILE* file_ = nullptr;
    std::unique_ptr<std::uint8_t[]> ownedBuffer_;
};

} // namespace skimlet
