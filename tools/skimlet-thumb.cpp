// skimlet-thumb [--fast] PHOTO MAXWIDTH MAXHEIGHT [OUTPUT_DIR]
// Makes the thumbnail of one photo with the JPEGImage component, as the gallery
// engine does, and prints what the component reports. --fast asks for the
// component's fast thumbnails.
// Exit status: 0 thumbnail written, 1 photo or thumbnail refused, 2 wrong usage.

#include "skimlet/JPEGImage.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>

using namespace skimlet;

namespace {

std::optional<std::int16_t> ParseInt16(const char* text) {
    const std::string s(text);
    int value = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (error != std::errc() || end != s.data() + s.size() || value < -32768 || value > 32767)
        return std::nullopt;
    return static_cast<std::int16_t>(value);
}

void ReportRefusal(const char* what) {
    if (const auto info = GetErrorInfo())
        std::fprintf(stderr, "skimlet-thumb: %s", info->description.c_str());
    else
        std::fprintf(stderr, "skimlet-thumb: %s\n", what);
}

} // namespace

int main(int argc, char** argv) {
    const bool fast = argc >= 2 && std::string(argv[1]) == "--fast";
    if (fast) {
        // The remaining arguments as if --fast had not been given.
        argv[1] = argv[0];
        ++argv;
        --argc;
    }
    const std::optional<std::int16_t> maxWidth = argc >= 3 ? ParseInt16(argv[2]) : std::nullopt;
    const std::optional<std::int16_t> maxHeight = argc >= 4 ? ParseInt16(argv[3]) : std::nullopt;
    if ((argc != 4 && argc != 5) || !maxWidth || !maxHeight) {
        std::fprintf(stderr, "usage: skimlet-thumb [--fast] PHOTO MAXWIDTH MAXHEIGHT [OUTPUT_DIR]\n"
                             "  MAXWIDTH and MAXHEIGHT are integers from -32768 to 32767;\n"
                             "  the larger one fixes that side of the thumbnail.\n");
        return 2;
    }

    JPEGImage image;
    image.SetFastThumbnails(fast);
    HRESULT result = image.SetFilePath(argv[1]);
    if (result == S_OK) {
        if (argc == 5)
            image.SetOutputDirectory(argv[4]);
        result = image.GenerateThumbnail(*maxWidth, *maxHeight);
    }
    std::printf("Width %d Height %d MaxWidth %d MaxHeight %d\n", image.Width(), image.Height(),
                image.MaxWidth(), image.MaxHeight());
    if (result != S_OK) {
        ReportRefusal("no thumbnail made: MAXWIDTH and MAXHEIGHT are equal.");
        return 1;
    }
    // Made from a damaged photo: the thumbnail stands, but the user should know.
    if (const auto warning = GetErrorInfo(); warning && !warning->description.empty())
        std::fprintf(stderr, "skimlet-thumb: %s", warning->description.c_str());
    return 0;
}
