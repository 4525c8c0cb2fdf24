// skimlet-decode PICTURE OUTPUT.pam: decodes a picture the way the thumbnail
// component does (any recognised type, 32 bits per pixel) and writes the pixels
// as a PAM file, for checking decoders against other tools.

#include "base/TextException.h"
#include "bitmaps/DibBitmap.h"
#include "codecs/AutoTypeDecoder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include <sys/stat.h>

using namespace skimlet;

namespace {

// Rows top to bottom, each pixel red, green, blue, alpha; opaque when the
// bitmap carries no alpha.
bool WritePam(const CRasterBitmap& bitmap, std::FILE* out) {
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    if (std::fprintf(out,
                     "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
                     width, height) < 0)
        return false;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 4);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* p = bitmap.Lines()[y];
        for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x, p += 4) {
            row[4 * x] = p[2];
            row[4 * x + 1] = p[1];
            row[4 * x + 2] = p[0];
            row[4 * x + 3] = bitmap.HasAlpha() ? p[3] : 255;
        }
        if (std::fwrite(row.data(), 1, row.size(), out) != row.size())
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: skimlet-decode PICTURE OUTPUT.pam\n");
        return 2;
    }
    const std::string picture = argv[1];
    const std::string output = argv[2];
    CDibBitmap decoded;
    CDibBitmap converted;
    const CRasterBitmap* bitmap = &decoded;
    try {
        CAutoTypeDecoder decoder;
        decoder.DecodeFile(picture, decoded, 32);
        if (decoded.BitsPerPixel() != 32) {
            converted.CopyFrom(decoded, 32);
            bitmap = &converted;
        }
    } catch (const CTextException& e) {
        std::string text = e.Text();
        if (text.empty() || text.back() != '\n')
            text += '\n';
        std::fprintf(stderr, "skimlet-decode: error %d: %s", static_cast<int>(e.Code()),
                     text.c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "skimlet-decode: %s\n", e.what());
        return 1;
    }

    std::FILE* out = std::fopen(output.c_str(), "wb");
    if (!out) {
        std::fprintf(stderr, "skimlet-decode: cannot create %s: %s\n", output.c_str(),
                     std::strerror(errno));
        return 1;
    }
    // A half-written file goes; a device named as the output (/dev/full) stays.
    struct stat status {};
    const bool regular = ::fstat(fileno(out), &status) == 0 && S_ISREG(status.st_mode);
    const bool written = WritePam(*bitmap, out);
    const int writeError = errno;
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "skimlet-decode: cannot write %s: %s\n", output.c_str(),
                     std::strerror(written ? errno : writeError));
        if (regular)
            std::remove(output.c_str());
        return 1;
    }
    return 0;
}
