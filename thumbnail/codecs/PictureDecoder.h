#pragma once

#include "base/PLObject.h"
#include "bitmaps/Orientation.h"
#include "bitmaps/Palette.h"

#include <cstdint>
#include <string>

namespace skimlet {

class CByteSource;
class CProgressObserver;
class CRasterBitmap;
struct ResourceModule;

// Frame of every picture decoder: opens a file, memory block or module resource
// as a data source, runs the format's reader and cleans up. Every failure is a
// CTextException; the bitmap is allocated anew by the reader.
class CPictureDecoder : public CPLObject {
public:
    ~CPictureDecoder() override;

    // requestedBpp: 0 lets the reader choose, otherwise 8 or 32.
    virtual void DecodeFile(const std::string& path, CRasterBitmap& bitmap, int requestedBpp,
                            CProgressObserver* observer = nullptr);
    virtual void DecodeMemory(const std::uint8_t* data, std::int64_t size, CRasterBitmap& bitmap,
                              int requestedBpp);
    // A null resourceType means the raw-data type.
    void DecodeResource(const ResourceModule& module, int resourceId, CRasterBitmap& bitmap,
                        int requestedBpp, const char* resourceType = nullptr);
    // Decodes from an open source standing at the start of the picture.
    virtual void DecodeSource(CByteSource& source, CRasterBitmap& bitmap, int requestedBpp);

    // A request of 0 becomes 8 for files of up to 8 bits per pixel, else 32.
    static void ChooseTargetBpp(int fileBpp, int& requestedBpp);

    // How the last decoded picture wants to be shown (from its Exif data);
    // Normal for formats and files without that information.
    Orientation PictureOrientation() const { return orientation_; }

    // What the reader said about damage in the last decoded picture, which it
    // still delivered (a truncated or corrupt JPEG): the first warning and how
    // many there were; empty and 0 for a clean picture.
    const std::string& FirstWarning() const { return firstWarning_; }
    int WarningCount() const { return warningCount_; }

protected:
    CPictureDecoder() = default;
    // The format's own decoding; does nothing here.
    virtual void ReadImage(CRasterBitmap& bitmap, PaletteHolder& paletteHolder, int& requestedBpp,
                           CByteSource& source);

    Orientation orientation_ = Orientation::Normal;
    std::string firstWarning_;
    int warningCount_ = 0;
};

} // namespace skimlet
