#pragma once

#include "base/PLObject.h"

namespace skimlet {

class CRasterBitmap;

// Base of the image filters. A concrete filter overrides one of the two
// operations; each base version is written in terms of the other.
class CImageFilter : public CPLObject {
public:
    // Runs the filter into a temporary bitmap and copies the result back.
    virtual void RunInPlace(CRasterBitmap& bitmap);
    // Copies the source into the destination and runs the filter there.
    virtual void Run(const CRasterBitmap& source, CRasterBitmap& destination);
};

} // namespace skimlet
