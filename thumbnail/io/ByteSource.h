#pragma once

#include "base/PLObject.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace skimlet {

// Told how far a decode has got, as a fraction from 0.0 to 1.0.
class CProgressObserver {
public:
    virtual ~CProgressObserver() = default;
    virtual void ProgressChanged(double fraction) = 0;
};

// A picture's bytes. Readers either get pointers into one block of memory
// (ReadBytes, RemainingData), or copy the data out piece by piece (ReadInto),
// which a file source serves without holding the whole file. Both count what
// was consumed, report progress and never hand out missing data.
class CByteSource : public CPLObject {
public:
    ~CByteSource() override;

    // Reports 1.0 to the observer and forgets the data.
    virtual void Close();
    // The next `count` bytes without consuming them. Bytes past the end of the
    // data read as zero, so callers may look at a fixed-size prefix of short data.
    virtual const std::uint8_t* PeekBytes(std::int64_t count);
    // Consumes `count` bytes; throws CTextException 11 "End of file reached while
    // decoding.\n" when fewer remain.
    virtual const std::uint8_t* ReadBytes(std::int64_t count);
    // All data from the current position on.
    virtual const std::uint8_t* RemainingData();
    // Copies up to `capacity` bytes from the current position on into `buffer`
    // and consumes them; returns how many, 0 at the end of the data. Reports no
    // progress: a reader that streams knows better how far it has got.
    virtual std::int64_t ReadInto(std::uint8_t* buffer, std::int64_t capacity);

    // Back to the first byte, for a reader that passes over the data again.
    void Rewind() { position_ = 0; }

    void ReportProgress(double fraction);

    const std::string& Name() const { return name_; }
    std::int64_t Size() const { return size_; }
    std::int64_t Position() const { return position_; }
    bool IsOpen() const { return open_; }

    CByteSource(const CByteSource&) = delete;
    CByteSource& operator=(const CByteSource&) = delete;

protected:
    explicit CByteSource(CProgressObserver* observer) : observer_(observer) {}
    // The part of opening common to all sources. Empty data may come with a
    // null pointer; the source still counts as open.
    void Open(const std::string& name, const std::uint8_t* data, std::int64_t size);
    // Opens with a known size whose bytes are not in memory yet; a subclass
    // calls ProvideData once it has them, and serves ReadInto before.
    void OpenWithoutData(const std::string& name, std::int64_t size);
    void ProvideData(const std::uint8_t* data) { data_ = data; }
    bool HasData() const { return data_ != nullptr; }
    // Moves the position on by `count` bytes of ReadInto.
    void Consume(std::int64_t count);

private:
    // Reports progress when a move to `newPosition` passes a step of 1 KiB.
    void ReportProgressTo(std::int64_t newPosition);

    std::string name_;
    const std::uint8_t* data_ = nullptr;
    bool open_ = false;
    std::int64_t size_ = 0;
    std::int64_t position_ = 0;
    CProgressObserver* observer_ = nullptr;
    // Zero-padded copy handed out when a peek runs past the end of the data.
    std::vector<std::uint8_t> peekBuffer_;
};

// A regular file, read rather than mapped: a file that another program
// shortens while it is read is a CTextException 11, not a fatal signal.
// ReadInto reads the file piece by piece; the first ReadBytes, RemainingData
// or peek past the first bytes reads the rest of it into memory.
class CFileSource : public CByteSource {
public:
    explicit CFileSource(CProgressObserver* observer = nullptr);
    ~CFileSource() override;
    // 0 on success; 3 when a folder of the path is missing or not a folder;
    // 5 for a permission failure or an empty file; 4 for anything else,
    // including a path that is not a regular file (never blocks on a pipe).
    int Open(const std::string& path);
    // Reads the file open as `fd` (from offset 0, never moving its offset),
    // named `name` in messages; the descriptor stays the caller's. The codes
    // of Open: 4 when it is not a regular file, 5 when it is empty.
    int OpenDescriptor(int fd, const std::string& name);
    void Close() override;

    const std::uint8_t* PeekBytes(std::int64_t count) override;
    const std::uint8_t* ReadBytes(std::int64_t count) override;
    const std::uint8_t* RemainingData() override;
    std::int64_t ReadInto(std::uint8_t* buffer, std::int64_t capacity) override;

private:
    // Reads exactly `count` bytes at `offset`; throws when the file ends first.
    void ReadExactly(std::uint8_t* buffer, std::int64_t count, std::int64_t offset);
    void LoadAll();

    // Takes the descriptor of an opened regular file.
    int Adopt(int fd, bool owned, const std::string& name);

    int fd_ = -1;
    bool ownsFd_ = false;
    std::vector<std::uint8_t> contents_;
    std::vector<std::uint8_t> peekBuffer_;
};

// A caller's block of memory; the memory stays the caller's.
class CMemoryBlockSource : public CByteSource {
public:
    CMemoryBlockSource();
    ~CMemoryBlockSource() override;
    // 0 for any real block, including an empty one (whose pointer may be null);
    // 4 for a null pointer with a non-zero size or a negative size, which
    // would otherwise hand out pointers to nowhere.
    int Open(const std::uint8_t* data, std::int64_t size);
    void Close() override;
};

struct ResourceModule;

// A block of bytes compiled into a module, found by identifier and type.
class CModuleResourceSource : public CByteSource {
public:
    CModuleResourceSource();
    ~CModuleResourceSource() override;
    // 0 on success, 4 when the module holds no such resource. A null type means
    // the raw-data type.
    int Open(const ResourceModule& module, int resourceId, const char* resourceType = nullptr);
    void Close() override;
};

} // namespace skimlet
