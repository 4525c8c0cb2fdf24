#include "base/TextException.h"
#include "bitmaps/DibBitmap.h"

#include "../filters/Pictures.h"

#include <gtest/gtest.h>

using namespace skimlet;

namespace {

TEST(Bitmap, RefusesImpossibleSizesAsOutOfMemory) {
    CDibBitmap dib;
    EXPECT_EQ(FailureOf([&] { dib.Allocate(1 << 30, 1 << 30, 32, false); }),
              "10 Out of memory creating bitmap.");
    EXPECT_THROW(dib.Allocate(4, 4, 24, false), CTextException);
    dib.Allocate(4, 4, 32, false); // still usable afterwards
    EXPECT_EQ(dib.Width(), 4);
}

} // namespace
