// skimlet-bench [--repeat N] [--megapixels MIN-MAX] PHOTO_FOLDER_OR_FILE...
//
// Times the thumbnail pipeline (decode as FilePath does, tent resize to 120
// pixels wide, JPEG encode to a file) against a plain full-size libjpeg decode
// of the same file with the same settings (float IDCT, no fancy upsampling,
// into a plain buffer; "plain4": the same into 4-byte pixels, as a bitmap holds
// them), and measures the peak memory of making one thumbnail
// with JPEGImage in a fresh process against the budget
//     decoded photo at 4 bytes a pixel + photo height x 120 x 4 + 16 MiB.
// Each timing is the best of N runs (default 5). With --megapixels, photos
// outside that range of sizes are skipped.

#include "ThumbnailRules.h"
#include "base/TextException.h"
#include "bitmaps/DibBitmap.h"
#include "codecs/AutoTypeDecoder.h"
#include "codecs/JpegWriter.h"
#include "filters/ResizeFilter.h"
#include "skimlet/JPEGImage.h"

#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace skimlet;

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kThumbnailWidth = 120;
constexpr double kMiB = 1024.0 * 1024.0;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw std::runtime_error("cannot read " + path);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(fs::file_size(path)));
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    bytes.resize(got);
    return bytes;
}

[[noreturn]] void ThrowLibjpegError(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    cinfo->err->format_message(cinfo, message);
    throw std::runtime_error(message);
}

void IgnoreWarning(j_common_ptr, int) {}

// A libjpeg decompressor over a file read into memory, with the decoder's settings.
class PlainDecoder {
public:
    explicit PlainDecoder(const std::string& path) : bytes_(ReadWholeFile(path)) {
        cinfo_.err = jpeg_std_error(&jerr_);
        jerr_.error_exit = ThrowLibjpegError;
        jerr_.emit_message = IgnoreWarning;
        jpeg_create_decompress(&cinfo_);
        jpeg_mem_src(&cinfo_, bytes_.data(), static_cast<unsigned long>(bytes_.size()));
        jpeg_read_header(&cinfo_, TRUE);
        cinfo_.do_fancy_upsampling = FALSE;
        cinfo_.dct_method = JDCT_FLOAT;
    }
    ~PlainDecoder() { jpeg_destroy_decompress(&cinfo_); }
    PlainDecoder(const PlainDecoder&) = delete;
    PlainDecoder& operator=(const PlainDecoder&) = delete;

    int Width() const { return static_cast<int>(cinfo_.image_width); }
    int Height() const { return static_cast<int>(cinfo_.image_height); }

    // The whole picture into one plain buffer, in libjpeg's default output format
    // or, for colour pictures, as blue, green, red, unused.
    void DecodeAll(bool fourBytes) {
        if (fourBytes && cinfo_.out_color_space == JCS_RGB)
            cinfo_.out_color_space = JCS_EXT_BGRX;
        jpeg_start_decompress(&cinfo_);
        const std::size_t stride = std::size_t{cinfo_.output_width} * cinfo_.output_components;
        // Not cleared, as a bitmap's pixels are not.
        const std::unique_ptr<std::uint8_t[]> pixels(
            new std::uint8_t[stride * cinfo_.output_height]);
        while (cinfo_.output_scanline < cinfo_.output_height) {
            JSAMPROW row = pixels.get() + stride * cinfo_.output_scanline;
            jpeg_read_scanlines(&cinfo_, &row, 1);
        }
        jpeg_finish_decompress(&cinfo_);
    }

private:
    std::vector<std::uint8_t> bytes_;
    jpeg_decompress_struct cinfo_{};
    jpeg_error_mgr jerr_{};
};

// The comparison: reading the file and decoding it with libjpeg alone.
double PlainDecodeMilliseconds(const std::string& path, bool fourBytes) {
    const Clock::time_point start = Clock::now();
    PlainDecoder decoder(path);
    decoder.DecodeAll(fourBytes);
    return MillisecondsSince(start);
}

// The stored size from the file's header; {0, 0} when libjpeg cannot read it.
std::pair<int, int> HeaderSize(const std::string& path) {
    try {
        PlainDecoder decoder(path);
        return {decoder.Width(), decoder.Height()};
    } catch (const std::exception&) {
        return {0, 0};
    }
}

struct StageTimes {
    double decode = 1e300;
    double resize = 1e300;
    double encode = 1e300;
    double Total() const { return decode + resize + encode; }
};

struct PhotoSize {
    int width = 0; // as stored
    int height = 0;
};

// The component's steps, timed one by one; keeps the best time of each.
PhotoSize TimePipeline(const std::string& path, const std::string& output, StageTimes& best) {
    CAutoTypeDecoder decoder;
    CDibBitmap photo;
    Clock::time_point start = Clock::now();
    decoder.DecodeFile(path, photo, 32, nullptr);
    best.decode = std::min(best.decode, MillisecondsSince(start));

    const Orientation orientation = decoder.PictureOrientation();
    const bool swapped = SwapsAxes(orientation);
    const ThumbnailSize size =
        ComputeThumbnailSize(swapped ? photo.Height() : photo.Width(),
                             swapped ? photo.Width() : photo.Height(), kThumbnailWidth, 0);
    CDibBitmap thumbnail;
    start = Clock::now();
    CTentResizeFilter filter(size.width, size.height);
    if (orientation == Orientation::Normal)
        filter.Run(photo, thumbnail);
    else
        filter.RunOriented(photo, orientation, thumbnail);
    best.resize = std::min(best.resize, MillisecondsSince(start));

    start = Clock::now();
    CJpegWriter writer;
    writer.EncodeToFile(output, thumbnail);
    best.encode = std::min(best.encode, MillisecondsSince(start));
    return {photo.Width(), photo.Height()};
}

long ProcStatusKiB(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(key.size()));
    return -1;
}

// Child mode: one thumbnail through the component, then the process's peak
// resident set (VmHWM, in KiB) on standard output.
int RunChild(const std::string& photo, const std::string& outputDirectory) {
    JPEGImage image;
    image.SetOutputDirectory(outputDirectory);
    if (image.SetFilePath(photo) != S_OK || image.GenerateThumbnail(kThumbnailWidth, 0) != S_OK) {
        const auto info = GetErrorInfo();
        std::fprintf(stderr, "%s: %s", photo.c_str(), info ? info->description.c_str() : "?\n");
        return 1;
    }
    std::printf("%ld\n", ProcStatusKiB("VmHWM:"));
    return 0;
}

// Peak memory of a fresh process making the thumbnail, in bytes; -1 on failure.
// A spawned process starts with its own address space, so its peak is its own.
double PeakBytesInChild(const std::string& self, const std::string& photo,
                        const std::string& outputDirectory) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<std::string> args = {self, "--child", photo, outputDirectory};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    std::string out;
    char buffer[256];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    if (spawned != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || out.empty())
        return -1;
    return std::stod(out) * 1024.0;
}

std::vector<std::string> PhotosIn(const std::vector<std::string>& arguments) {
    std::vector<std::string> photos;
    for (const auto& argument : arguments) {
        if (!fs::is_directory(argument)) {
            photos.push_back(argument);
            continue;
        }
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(argument)) {
            std::string extension = entry.path().extension().string();
            std::transform(extension.begin(), extension.end(), extension.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            if (entry.is_regular_file() && (extension == ".jpg" || extension == ".jpeg"))
                found.push_back(entry.path().string());
        }
        std::sort(found.begin(), found.end());
        photos.insert(photos.end(), found.begin(), found.end());
    }
    return photos;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--child")
        return RunChild(argv[2], argv[3]);

    const char* usage = "usage: skimlet-bench [--repeat N] [--megapixels MIN-MAX] "
                        "PHOTO_FOLDER_OR_FILE...\n";
    int repeat = 5;
    double minMegapixels = 0, maxMegapixels = 1e9;
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--repeat" && i + 1 < argc) {
            repeat = std::max(1, std::atoi(argv[++i]));
        } else if (argument == "--megapixels" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%lf-%lf", &minMegapixels, &maxMegapixels) != 2) {
                std::fputs(usage, stderr);
                return 2;
            }
        } else if (argument.starts_with("-")) {
            std::fputs(usage, argument == "--help" || argument == "-h" ? stdout : stderr);
            return argument == "--help" || argument == "-h" ? 0 : 2;
        } else {
            arguments.push_back(argument);
        }
    }
    std::vector<std::string> photos;
    for (const std::string& photo : PhotosIn(arguments)) {
        const auto [width, height] = HeaderSize(photo);
        const double megapixels = double(width) * height / 1e6;
        if (megapixels >= minMegapixels && megapixels <= maxMegapixels)
            photos.push_back(photo);
    }
    if (photos.empty()) {
        std::fprintf(stderr, "%s(no JPEG photos found)\n", usage);
        return 2;
    }
    const std::string self = fs::canonical("/proc/self/exe").string();
    const fs::path scratch =
        fs::temp_directory_path() / ("skimlet-bench-" + std::to_string(::getpid()));
    fs::create_directories(scratch);

    std::printf("Thumbnails %d pixels wide; times in ms, best of %d; memory in MiB.\n",
                kThumbnailWidth, repeat);
    std::printf("%-28s %11s %6s %8s %8s %8s %8s %8s %8s %6s %8s %8s\n", "photo", "size", "MP",
                "decode", "resize", "encode", "thumb", "plain", "plain4", "ratio", "peak",
                "budget");
    StageTimes sum{0, 0, 0};
    double plainSum = 0, plain4Sum = 0;
    int failures = 0, overBudget = 0, overTime = 0;
    for (const std::string& photo : photos) {
        const std::string name = fs::path(photo).filename().string();
        StageTimes best;
        double plain = 1e300, plain4 = 1e300;
        PhotoSize size;
        try {
            for (int r = 0; r < repeat; ++r) {
                size = TimePipeline(photo, (scratch / "t_tn.jpg").string(), best);
                plain = std::min(plain, PlainDecodeMilliseconds(photo, false));
                plain4 = std::min(plain4, PlainDecodeMilliseconds(photo, true));
            }
        } catch (const CTextException& e) {
            std::string text = e.Text();
            while (!text.empty() && text.back() == '\n')
                text.pop_back();
            std::printf("%-28.28s failed: %s\n", name.c_str(), text.c_str());
            ++failures;
            continue;
        } catch (const std::exception& e) {
            std::printf("%-28.28s failed: %s\n", name.c_str(), e.what());
            ++failures;
            continue;
        }
        const double pixels = double(size.width) * size.height;
        const double budget = pixels * 4 + double(size.height) * kThumbnailWidth * 4 + 16 * kMiB;
        const double peak = PeakBytesInChild(self, photo, scratch.string());
        const double ratio = best.Total() / plain;
        const bool memoryOk = peak >= 0 && peak <= budget;
        overBudget += memoryOk ? 0 : 1;
        overTime += ratio <= 1.25 ? 0 : 1;
        std::printf(
            "%-28.28s %5dx%-5d %6.1f %8.1f %8.1f %8.1f %8.1f %8.1f %8.1f %6.2f %8.1f %8.1f%s\n",
            name.c_str(), size.width, size.height, pixels / 1e6, best.decode, best.resize,
            best.encode, best.Total(), plain, plain4, ratio, peak / kMiB, budget / kMiB,
            memoryOk ? "" : "  OVER BUDGET");
        sum.decode += best.decode;
        sum.resize += best.resize;
        sum.encode += best.encode;
        plainSum += plain;
        plain4Sum += plain4;
    }
    fs::remove_all(scratch);
    const double ratio = plainSum > 0 ? sum.Total() / plainSum : 0;
    std::printf("%-28s %11s %6s %8.1f %8.1f %8.1f %8.1f %8.1f %8.1f %6.2f\n", "TOTAL", "", "",
                sum.decode, sum.resize, sum.encode, sum.Total(), plainSum, plain4Sum, ratio);
    const int measured = static_cast<int>(photos.size()) - failures;
    std::printf("Targets: thumbnail <= 1.25 x plain decode: %s in total, %d of %d photos within; "
                "peak memory within budget: %d of %d photos.\n",
                ratio <= 1.25 ? "met" : "MISSED", measured - overTime, measured,
                measured - overBudget, measured);
    if (failures)
        std::printf("%d photo%s failed.\n", failures, failures == 1 ? "" : "s");
    return failures ? 1 : 0;
}
