#pragma once

#include "codecs/JpegReader.h"

#include <cstdint>

namespace skimlet {

class CByteSource;

// Decodes a JPEG picture a few rows at a time, for work that never needs the
// whole picture in memory. Rows are 4 bytes a pixel (blue, green, red, 255),
// the same values the full decode gives. The source is read piece by piece and
// must stay open while the reader uses it; every decode starts again from its
// first byte. The pixel bound of the full decode does not apply: no full-size
// picture is ever made.
class CJpegRowReader : public CJpegReader {
public:
    // Reads the header of the picture `source` holds and checks that it can be
    // decoded; throws CTextException as the full decode would. Orientation and
    // warnings of the header are then known.
    void Open(CByteSource& source);
    // Forgets the source.
    void Close();
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
    // handled as the full decode handles it; the decode's warnings are then known.
    void Finish();
    // Drops a decode under way, if any.
    void Stop() noexcept;

    // The smallest scale in eighths keeping a picture of width x height at
    // least minWidth x minHeight; 8 when none smaller does.
    static int ScaleFor(int width, int height, int minWidth, int minHeight);

private:
    CByteSource* source_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    bool started_ = false;
};

} // namespace skimlet
