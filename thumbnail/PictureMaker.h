#pragma once

#include "bitmaps/DibBitmap.h"
#include "bitmaps/Orientation.h"
#include "bitmaps/PlainBitmap.h"
#include "codecs/AutoTypeDecoder.h"
#include "codecs/JpegRowReader.h"
#include "filters/StreamedResize.h"

#include <memory>
#include <string>
#include <vector>

namespace skimlet {

class CByteSource;

// One picture to make of a photo, by its size as shown.
struct PictureTarget {
    int width = 0;
    int height = 0;
    // Resampled exactly as JPEGImage::GenerateThumbnail resamples; otherwise
    // the passes follow the photo's stored order, which holds less in memory,
    // and the picture is made from a larger such one at least twice its size
    // each way where there is one.
    bool asThumbnail = false;
    // Not as a thumbnail, of an upright photo: the picture's lines go here as
    // they are made, and no bitmap of it is returned.
    CLineSink* lines = nullptr;
};

// Makes any number of resized pictures of one photo from a single pass over
// its rows. A JPEG photo is decoded row by row and never whole; other
// pictures are decoded whole when opened. Every failure is a CTextException.
class CPictureMaker {
public:
    // Reads the header of the picture `source` holds, or decodes it whole when
    // it is no JPEG; `source` must stay open until Close.
    void Open(CByteSource& source);
    void Close();

    // The photo as a viewer shows it.
    int ShownWidth() const { return shownWidth_; }
    int ShownHeight() const { return shownHeight_; }
    // Its rows are shown as they are stored.
    bool Upright() const { return Sanitised(orientation_) == Orientation::Normal; }

    // Each target, in order, from one decode (null for those handed to a line
    // sink). With `fast`, a JPEG is decoded at
    // the smallest of libjpeg's reduced scales that still gives every target
    // at least twice its size each way.
    std::vector<std::unique_ptr<CPlainBitmap>> Make(const std::vector<PictureTarget>& targets,
                                                    bool fast);

    // The first thing the decoder said about damage in the photo, "" when
    // nothing: known after Open, and for a JPEG's data after Make.
    std::string FirstWarning() const;

private:
    CAutoTypeDecoder decoder_;
    CJpegRowReader reader_;
    bool jpeg_ = false;
    std::unique_ptr<CDibBitmap> whole_;
    Orientation orientation_ = Orientation::Normal;
    int shownWidth_ = 0;
    int shownHeight_ = 0;
};

} // namespace skimlet
