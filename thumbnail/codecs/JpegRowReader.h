#pragma once

#include "codecs/JpegReader.h"

#include <cstdint>

class CMappedFileSource;

// Decodes a JPEG picture a few rows at a time, for work that never needs the
// whole picture in memory. Rows are 4 bytes a pixel (blue, green, red, 255),
// the same values the full decode gives. The source must stay open while the
// reader uses it; input already decoded is dropped from memory as decoding
// goes on, so that a huge file is never resident all at once.
class CJpegRowReader : public CJpegReader {
public:
    // Reads the header of the picture `source` holds and checks that it can be
    // decoded; throws CTextException as the full decode would.
    void Open(CMappedFileSource& source);
    // The stored size at full scale.
    int Width() const { return width_; }
    int Height() const { return height_; }

    // Starts a decode at eighths/8 of the full size (1 to 8); any earlier one
    // is abandoned. Afterwards RowWidth x RowHeight is the size delivered.
    void Start(int eighths);
    int RowWidth() const;
    int RowHeight() const;
    // The next `count` rows, each RowWidth() pixels.
    void Read(std::uint8_t* const* rows, int count);
    // Reads to the end of the picture, so that damage past the last row is
    // handled as the full decode handles it.
    void Finish();

    // The smallest scale in eighths keeping a picture of width x height at
    // least minWidth x minHeight; 8 when none smaller does.
    static int ScaleFor(int width, int height, int minWidth, int minHeight);

private:
    void Begin();
    void Abandon();
    void DropDecodedInput();

    CMappedFileSource* source_ = nullptr;
    const std::uint8_t* data_ = nullptr;
    std::int64_t size_ = 0;
    std::int64_t dropped_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool started_ = false;
};
