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

// A picture's bytes exposed as one block of memory. Readers get pointers into
// it; ReadBytes counts what was consumed, reports progress and never hands out
// a pointer into missing data.
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

    void ReportProgress(double fraction);

    const std::string& Name() const { return name_; }
    std::int64_t Size() const { return size_; }
    std::int64_t Position() const { return position_; }
    bool IsOpen() const { return data_ != nullptr; }

    CByteSource(const CByteSource&) = delete;
    CByteSource& operator=(const CByteSource&) = delete;

protected:
    explicit CByteSource(CProgressObserver* observer) : observer_(observer) {}
    // The part of opening common to all sources. Empty data may come with a
    // null pointer; the source still counts as open.
    void Open(const std::string& name, const std::uint8_t* data, std::int64_t size);

private:
    std::string name_;
    const std::uint8_t* data_ = nullptr;
    std::int64_t size_ = 0;
    std::int64_t position_ = 0;
    CProgressObserver* observer_ = nullptr;
    // Zero-padded copy handed out when a peek runs past the end of the data.
    std::vector<std::uint8_t> peekBuffer_;
};

// A read-only mapping of a whole file.
class CMappedFileSource : public CByteSource {
public:
    explicit CMappedFileSource(CProgressObserver* observer = nullptr);
    ~CMappedFileSource() override;
    // 0 on success; 3 when a folder of the path is missing or not a folder;
    // 5 for a permission failure or an empty file; 4 for anything else.
    int Open(const std::string& path);
    void Close() override;

private:
    void* view_ = nullptr;
    std::size_t viewSize_ = 0;
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
