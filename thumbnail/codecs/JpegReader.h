#pragma once

#include "codecs/JpegError.h"
#include "codecs/PictureDecoder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace skimlet {

struct JpegInput;
struct JpegProgress;

// Reads JPEG pictures through libjpeg, taking the data from the source piece
// by piece. Colour pictures become 32-bit bitmaps; grey ones 8-bit (grey ramp
// palette) unless 32 bits are requested; CMYK and YCCK ones are converted to
// RGB. The decompression object lives as long as the reader and is returned to
// its start state after every failure.
//
// Hostile files are bounded: the number of scans and the passes they make over
// the picture, the pixels of the full-size bitmap (kMaxPixels), and what a
// file may declare for its size in bytes:
//
// Decoding may take up to kFreeDecoderMemory of memory (libjpeg's coefficients
// of a progressive file, and the full-size bitmap) and kFreePixels pixels,
// whatever the file's size. Beyond that, each byte of the file admits
// kDecoderMemoryPerByte bytes of memory and kPixelsPerByte pixels, and the
// memory stays within kMaxDecoderMemory. A complete Huffman-coded file spends
// at least a bit on every 8 x 8 block of its first scan, whose coefficients
// take 128 bytes: so no real file needs more than 1024 bytes of coefficients
// per byte (cjpeg's flattest progressive pictures take about 510), and every
// real file holds far more than a byte per 4096 pixels (two bits per block at
// the least). Only a file that claims a frame its data could never fill (a
// few hundred bytes declaring 23000 x 23000 pixels, or 16000 x 16000 of grey
// that would take seconds to stream) is refused, while real progressive photos
// of 300 megapixels and more are decoded.
class CJpegReader : public CPictureDecoder {
public:
    // 2^28 pixels, a 1 GiB bitmap at 32 bits: above any camera's photo.
    static constexpr std::int64_t kMaxPixels = std::int64_t{1} << 28;
    static constexpr std::int64_t kFreeDecoderMemory = std::int64_t{384} << 20;
    static constexpr std::int64_t kDecoderMemoryPerByte = 2048;
    static constexpr std::int64_t kMaxDecoderMemory = std::int64_t{2} << 30;
    static constexpr std::int64_t kFreePixels = std::int64_t{1} << 24;
    static constexpr std::int64_t kPixelsPerByte = 4096;
    // The decoder memory and the pixels a file of `fileBytes` bytes may declare.
    static std::int64_t DecoderMemoryFor(std::int64_t fileBytes);
    static std::int64_t PixelsFor(std::int64_t fileBytes);
    // A progressive file's scans; real ones have about ten.
    static constexpr int kMaxScans = 1000;
    // All scans together may pass over the picture's coefficients this many
    // times; a real progressive file makes fewer than ten passes.
    static constexpr std::int64_t kMaxScanPasses = 100;

    CJpegReader();
    ~CJpegReader() override;

    CJpegReader(const CJpegReader&) = delete;
    CJpegReader& operator=(const CJpegReader&) = delete;

protected:
    void ReadImage(CRasterBitmap& bitmap, PaletteHolder& paletteHolder, int& requestedBpp,
                   CByteSource& source) override;

    // The steps of a decode, for the row-by-row reader. Each throws
    // CTextException as the full decode would and leaves the decompressor
    // ready for the next ReadHeader after Abandon.
    //
    // Attaches `source`, forgets earlier warnings, reads the header and the
    // Exif orientation.
    void ReadHeader(CByteSource& source);
    // After the header: the output settings at scaleEighths/8 of the full size
    // (1 to 8) and the bounds; the pixel bound only when `boundPixels`.
    // Returns the bits per pixel of the rows ReadRows delivers (32, or 8 for
    // grey pictures when allowed).
    int PrepareOutput(int& requestedBpp, int scaleEighths, bool boundPixels);
    void StartOutput();
    // After StartOutput: the next `count` rows into `lines`.
    void ReadRows(std::uint8_t* const* lines, int count);
    // Reads to the end of the picture and keeps its warnings for the caller.
    void FinishOutput();
    // Drops a decode under way and lets go of its source.
    void Abandon() noexcept;
    // The warnings since ReadHeader, for FirstWarning and WarningCount.
    void KeepWarnings();

    const jpeg_decompress_struct& Decompressor() const { return decompressor_; }

private:
    void CreateDecompressor();
    // A fresh decompressor, with nothing of earlier pictures.
    void Renew();
    void AttachJpegSource(CByteSource& source);
    // After the header: settings, bitmap, scanlines, finish.
    void Decompress(CRasterBitmap& bitmap, int& requestedBpp);
    void ReadScanline(std::uint8_t* row);

    CJpegErrorManager errors_;
    jpeg_decompress_struct decompressor_{};
    // In libjpeg's permanent pool, freed with the decompressor.
    JpegInput* input_ = nullptr;
    JpegProgress* progress_ = nullptr;
    bool used_ = false;
    // Set by PrepareOutput: libjpeg writes the bitmap's pixel layout itself,
    // or its output is converted line by line through `scanline_`.
    bool directOutput_ = true;
    bool cmykOutput_ = false;
    std::vector<JSAMPLE> scanline_;
};

} // namespace skimlet
