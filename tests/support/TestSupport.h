#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
std::string SamplePhoto(const std::string& name); // path of a bundled sample photo

// Cmyk and Ycck take CMYK components and store them as given (Adobe files hold
// inverted values: 255 is no ink); Ycck lets libjpeg transform them to YCCK.
enum class JpegKind { Colour, Grey, Cmyk, Ycck };

struct JpegSpec {
    int width = 8;
    int height = 8;
    JpegKind kind = JpegKind::Colour;
    bool progressive = false;
    int quality = 90;
    bool floatDct = false; // JDCT_FLOAT instead of libjpeg's default DCT
    // Fills the components of pixel (x, y): 3 for colour (R, G, B), 1 for grey, 4 for CMYK/YCCK.
    std::function<void(int x, int y, std::uint8_t* components)> pixel;
};

// A JPEG made with libjpeg directly, independent of the library under test.
std::string MakeJpeg(const JpegSpec& spec);

// A JPEG's frame header given another size: a small file that claims a big picture.
std::string WithFrameSize(std::string jpeg, int width, int height);
// The JPEG grown to at least `bytes` bytes by comment segments after SOI.
std::string WithPadding(const std::string& jpeg, std::size_t bytes);
// A progressive JPEG with its first scan (header and data) repeated `times` more.
std::string WithRepeatedScan(const std::string& jpeg, int times);

// The JPEG with an Exif APP1 segment holding `orientation` inserted after SOI.
std::string WithExifOrientation(const std::string& jpeg, int orientation, bool bigEndian = false);

struct DecodedJpeg {
    int width = 0;
    int height = 0;
    int components = 0;               // 3 (RGB), 1 (grey) or 4 (CMYK, also from YCCK)
    std::vector<std::uint8_t> pixels; // rows top to bottom, `components` bytes per pixel
};

// Reference decode through libjpeg with the library's settings: float IDCT,
// no fancy upsampling, default output colour space.
DecodedJpeg DecodeJpegReference(const std::string& bytes);

// The exception of type E that `action` throws, or nothing when it throws none.
template <class E, class F>
std::optional<E> Thrown(F&& action) {
    try {
        action();
    } catch (const E& e) {
        return e;
    }
    return std::nullopt;
}

struct ProgramResult {
    int status = -1; // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs a program with arguments (no shell), standard input empty, and collects
// its exit status and output.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments);

// Runs `body` in a forked child whose files may grow to at most `fileSizeLimit` bytes
// (0: no limit), with SIGXFSZ ignored so that a write past it fails as on a full disk.
// Returns the child's exit status (body's result), or -1 when it did not exit normally.
int RunInChild(const std::function<int()>& body, std::int64_t fileSizeLimit = 0);

} // namespace testsupport
