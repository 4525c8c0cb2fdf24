#include "io/ByteSource.h"

#include "base/TextException.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace skimlet {

namespace {

// Stands in for the data of an empty block, so that an open source always has
// a non-null data pointer.
const std::uint8_t kNoData[1] = {0};

constexpr std::int64_t kProgressStep = 1024;

} // namespace

CByteSource::~CByteSource() = default;

void CByteSource::Open(const std::string& name, const std::uint8_t* data, std::int64_t size) {
    name_ = name;
    data_ = data ? data : kNoData;
    size_ = data ? std::max<std::int64_t>(size, 0) : 0;
    position_ = 0;
    open_ = true;
}

void CByteSource::OpenWithoutData(const std::string& name, std::int64_t size) {
    name_ = name;
    data_ = nullptr;
    size_ = std::max<std::int64_t>(size, 0);
    position_ = 0;
    open_ = true;
}

void CByteSource::Close() {
    if (!IsOpen())
        return;
    ReportProgress(1.0);
    name_.clear();
    data_ = nullptr;
    open_ = false;
    size_ = 0;
    position_ = 0;
    peekBuffer_.clear();
    peekBuffer_.shrink_to_fit();
}

const std::uint8_t* CByteSource::PeekBytes(std::int64_t count) {
    const std::int64_t remaining = size_ - position_;
    if (count <= remaining)
        return data_ ? data_ + position_ : nullptr;
    peekBuffer_.assign(static_cast<std::size_t>(count), 0);
    if (remaining > 0)
        std::memcpy(peekBuffer_.data(), data_ + position_, static_cast<std::size_t>(remaining));
    return peekBuffer_.data();
}

const std::uint8_t* CByteSource::ReadBytes(std::int64_t count) {
    static const char* const kEndOfFile = "End of file reached while decoding.\n";
    if (count < 0)
        throw CTextException(SkimletCode::kEndOfData, kEndOfFile);
    const std::int64_t oldPosition = position_;
    const bool pastEnd = count > size_ - oldPosition;
    const std::int64_t newPosition = count > std::numeric_limits<std::int64_t>::max() - oldPosition
                                         ? std::numeric_limits<std::int64_t>::max()
                                         : oldPosition + count;
    ReportProgressTo(newPosition);
    // The position stays where it was, so that a failed read leaves the
    // source pointing into its data.
    if (pastEnd)
        throw CTextException(SkimletCode::kEndOfData, kEndOfFile);
    position_ = newPosition;
    return data_ + oldPosition;
}

std::int64_t CByteSource::ReadInto(std::uint8_t* buffer, std::int64_t capacity) {
    const std::int64_t count = std::clamp<std::int64_t>(size_ - position_, 0, capacity);
    if (count > 0 && data_)
        std::memcpy(buffer, data_ + position_, static_cast<std::size_t>(count));
    Consume(count);
    return count;
}

void CByteSource::Consume(std::int64_t count) {
    position_ += std::clamp<std::int64_t>(count, 0, size_ - position_);
}

void CByteSource::ReportProgressTo(std::int64_t newPosition) {
    if (newPosition / kProgressStep > position_ / kProgressStep)
        ReportProgress(size_ > 0 ? static_cast<double>(newPosition) / static_cast<double>(size_)
                                 : 1.0);
}

const std::uint8_t* CByteSource::RemainingData() {
    return data_ ? data_ + position_ : nullptr;
}

void CByteSource::ReportProgress(double fraction) {
    // A read that runs past the end is still reported, but never as more than done.
    if (observer_)
        observer_->ProgressChanged(std::clamp(fraction, 0.0, 1.0));
}

CMemoryBlockSource::CMemoryBlockSource() : CByteSource(nullptr) {}

CMemoryBlockSource::~CMemoryBlockSource() {
    CMemoryBlockSource::Close();
}

int CMemoryBlockSource::Open(const std::uint8_t* data, std::int64_t size) {
    if (size < 0 || (!data && size > 0))
        return SkimletCode::kCannotOpen;
    Close();
    CByteSource::Open("Mem", data, size);
    return SkimletCode::kOk;
}

void CMemoryBlockSource::Close() {
    CByteSource::Close();
}

} // namespace skimlet
