// skimlet-bench [--repeat N] [--megapixels MIN-MAX] [--gigapixel] PHOTO_FOLDER_OR_FILE...
// skimlet-bench --pictures [--repeat N] [--megapixels MIN-MAX] PHOTO_FOLDER_OR_FILE...
//
// With --pictures: what MakePictures costs for every picture of the modern
// style (the thumbnail 120 pixels wide, its 2x twin, display copies of long
// side 1280 and 2560) against the floor below, per photo and in total, the
// peak memory of a fresh process making them, and whether the thumbnail has
// the bytes of JPEGImage::GenerateThumbnail.
//
// Otherwise:
// Over a folder of JPEG photos, thumbnails 120 pixels wide, times in one run:
//   floor   one bare full-size libjpeg decode of the photo (float IDCT, no fancy
//           upsampling, into a plain buffer, as `djpeg -dct float -nosmooth`);
//   whole   the photo decoded whole into a bitmap, then resized and encoded
//           (how the component worked before it streamed rows);
//   exact   the component's thumbnail (JPEGImage, rows streamed);
//   fast    the same with fast thumbnails;
//   proc    skimlet-thumb run once for the photo, a process of its own, as
//           wall time (when the tool is found next to this program);
// and the peak memory of a fresh process making the exact and the fast
// thumbnail. Quality: the mean absolute difference, in levels of 0..255 over
// red, green and blue, of the exact and of the fast thumbnail (before JPEG
// encoding) from a Lanczos-3 resize of the full decoded photo.
// Each timing is the best of N runs (default 5). With --megapixels, photos
// outside that range of sizes are skipped. --gigapixel also makes a baseline
// JPEG of about one gigapixel with libjpeg and measures its thumbnails.

#include "ThumbnailRules.h"
#include "base/TextException.h"
#include "bitmaps/DibBitmap.h"
#include "codecs/AutoTypeDecoder.h"
#include "codecs/JpegRowReader.h"
#include "codecs/JpegWriter.h"
#include "filters/ResizeFilter.h"
#include "io/ByteSource.h"
#include "skimlet/JPEGImage.h"
#include "skimlet/Pictures.h"

#include <cstdio>
#include <jpeglib.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
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

// Processor time of this process, in ms. On a machine shared with other work
// it varies far less than wall time, and every step measured uses one core.
double CpuMilliseconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
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
    bool Progressive() const { return cinfo_.progressive_mode; }

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

    // The whole picture as red, green, blue (colour pictures only).
    std::vector<std::uint8_t> DecodeRgb() {
        cinfo_.out_color_space = JCS_RGB;
        jpeg_start_decompress(&cinfo_);
        const std::size_t stride = std::size_t{cinfo_.output_width} * 3;
        std::vector<std::uint8_t> pixels(stride * cinfo_.output_height);
        while (cinfo_.output_scanline < cinfo_.output_height) {
            JSAMPROW row = pixels.data() + stride * cinfo_.output_scanline;
            jpeg_read_scanlines(&cinfo_, &row, 1);
        }
        jpeg_finish_decompress(&cinfo_);
        return pixels;
    }

private:
    std::vector<std::uint8_t> bytes_;
    jpeg_decompress_struct cinfo_{};
    jpeg_error_mgr jerr_{};
};

// The comparison: reading the file and decoding it with libjpeg alone.
double PlainDecodeMilliseconds(const std::string& path, bool fourBytes) {
    const double start = CpuMilliseconds();
    PlainDecoder decoder(path);
    decoder.DecodeAll(fourBytes);
    return CpuMilliseconds() - start;
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

// How the component worked before it streamed rows: the photo decoded whole
// into a bitmap, resized, encoded. Returns the time in ms.
double TimeWholeBitmap(const std::string& path, const std::string& output) {
    const double start = CpuMilliseconds();
    CAutoTypeDecoder decoder;
    CDibBitmap photo;
    decoder.DecodeFile(path, photo, 32, nullptr);
    const Orientation orientation = decoder.PictureOrientation();
    const bool swapped = SwapsAxes(orientation);
    const ThumbnailSize size =
        ComputeThumbnailSize(swapped ? photo.Height() : photo.Width(),
                             swapped ? photo.Width() : photo.Height(), kThumbnailWidth, 0);
    CDibBitmap thumbnail;
    CTentResizeFilter(size.width, size.height).RunOriented(photo, orientation, thumbnail);
    CJpegWriter().EncodeToFile(output, thumbnail);
    return CpuMilliseconds() - start;
}

void MakeThumbnail(const std::string& photo, const std::string& outputDirectory, bool fast) {
    JPEGImage image;
    image.SetOutputDirectory(outputDirectory);
    image.SetFastThumbnails(fast);
    if (image.SetFilePath(photo) != S_OK || image.GenerateThumbnail(kThumbnailWidth, 0) != S_OK) {
        const auto info = GetErrorInfo();
        throw std::runtime_error(info ? info->description : "no thumbnail");
    }
}

double TimeComponent(const std::string& photo, const std::string& outputDirectory, bool fast) {
    const double start = CpuMilliseconds();
    MakeThumbnail(photo, outputDirectory, fast);
    return CpuMilliseconds() - start;
}

// The modern style's pictures of `photo` made into `outputDirectory` under
// the photo's own name; returns their names.
std::vector<std::string> MakeEveryPicture(const std::string& photo,
                                          const std::string& outputDirectory,
                                          bool thumbnailAlone = false) {
    struct Descriptor {
        int fd;
        ~Descriptor() {
            if (fd >= 0)
                ::close(fd);
        }
    } input{::open(photo.c_str(), O_RDONLY | O_CLOEXEC)},
        folder{::open(outputDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    const std::string stem = fs::path(photo).stem().string();
    PhotoJob job;
    job.photo = input.fd;
    job.photoPath = photo;
    job.outputFolder = folder.fd;
    job.pictures = {{.name = stem + "_tn.jpg", .maxWidth = kThumbnailWidth},
                    {.name = stem + "_tn2x.jpg", .maxWidth = kThumbnailWidth, .scale = 2},
                    {.name = stem + "_1280.jpg", .longSide = 1280, .quality = kDisplayCopyQuality},
                    {.name = stem + "_2560.jpg", .longSide = 2560, .quality = kDisplayCopyQuality}};
    if (thumbnailAlone)
        job.pictures.resize(1);
    const PhotoResult result = MakePictures(job);
    if (result.outcome != PhotoResult::Outcome::Made)
        throw std::runtime_error(result.error);
    std::vector<std::string> names;
    for (const PictureMade& made : result.pictures) {
        ::renameat(folder.fd, made.temporaryName.c_str(), folder.fd, made.name.c_str());
        names.push_back(made.name);
    }
    return names;
}

double TimePictures(const std::string& photo, const std::string& outputDirectory,
                    bool thumbnailAlone) {
    const double start = CpuMilliseconds();
    MakeEveryPicture(photo, outputDirectory, thumbnailAlone);
    return CpuMilliseconds() - start;
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
// resident set (VmHWM, in KiB, mapped file pages included) on standard output.
// `mode` is "exact", "fast" or "whole" (the photo decoded whole first).
int RunChild(const std::string& photo, const std::string& outputDirectory,
             const std::string& mode) {
    try {
        if (mode == "whole")
            TimeWholeBitmap(photo, outputDirectory + "/whole_tn.jpg");
        else if (mode == "pictures")
            MakeEveryPicture(photo, outputDirectory);
        else
            MakeThumbnail(photo, outputDirectory, mode == "fast");
    } catch (const CTextException& e) {
        std::fprintf(stderr, "%s: %s", photo.c_str(), e.Text().c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s", photo.c_str(), e.what());
        return 1;
    }
    std::printf("%ld\n", ProcStatusKiB("VmHWM:"));
    return 0;
}

struct ChildResult {
    bool ok = false;
    std::string out;
    double milliseconds = 0;    // wall time
    double cpuMilliseconds = 0; // user and system time of the child
};

// Runs a program and waits for it; its standard output is collected.
ChildResult RunProcess(std::vector<std::string> args) {
    ChildResult result;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const Clock::time_point start = Clock::now();
    const int spawned = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    char buffer[256];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        result.out.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    if (spawned != 0)
        return result;
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    result.milliseconds = MillisecondsSince(start);
    result.cpuMilliseconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                             double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

// Peak memory of a fresh process making the thumbnail, in bytes; -1 on failure.
// A spawned process starts with its own address space, so its peak is its own.
double PeakBytesInChild(const std::string& self, const std::string& photo,
                        const std::string& outputDirectory, const std::string& mode) {
    const std::vector<std::string> args = {self, "--child", photo, outputDirectory, mode};
    const ChildResult child = RunProcess(args);
    if (!child.ok || child.out.empty())
        return -1;
    return std::stod(child.out) * 1024.0;
}

// The thumbnail's pixels (blue, green, red, alpha) before encoding, made as
// the component makes them.
std::vector<std::uint8_t> ThumbnailPixels(const std::string& path, bool fast, int& width,
                                          int& height) {
    CFileSource source;
    if (source.Open(path) != 0)
        throw std::runtime_error("cannot open " + path);
    CJpegRowReader reader;
    reader.Open(source);
    const ThumbnailSize size =
        ComputeThumbnailSize(reader.Width(), reader.Height(), kThumbnailWidth, 0);
    reader.Start(fast ? CJpegRowReader::ScaleFor(reader.Width(), reader.Height(), 2 * size.width,
                                                 2 * size.height)
                      : 8);
    struct Rows : CRowSource {
        CJpegRowReader* reader;
        void ReadRows(std::uint8_t* const* rows, int count) override { reader->Read(rows, count); }
    } rows;
    rows.reader = &reader;
    CDibBitmap thumbnail;
    CTentResizeFilter(size.width, size.height)
        .RunStreamed(rows, reader.RowWidth(), reader.RowHeight(), Orientation::Normal, thumbnail);
    reader.Finish();
    width = size.width;
    height = size.height;
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < height; ++y)
        pixels.insert(pixels.end(), thumbnail.Lines()[y], thumbnail.Lines()[y] + 4 * width);
    return pixels;
}

double Lanczos3(double x) {
    if (x == 0)
        return 1;
    if (std::abs(x) >= 3)
        return 0;
    const double px = std::numbers::pi * x;
    return 3 * std::sin(px) * std::sin(px / 3) / (px * px);
}

// One pass of a Lanczos-3 resize from `in` samples to `out`: for each output,
// the first input and the normalised weights.
struct Taps {
    int left;
    std::vector<double> weights;
};
std::vector<Taps> LanczosTaps(int in, int out) {
    const double scale = double(out) / in;
    const double stretch = std::max(1.0, 1.0 / scale);
    std::vector<Taps> taps(static_cast<std::size_t>(out));
    for (int o = 0; o < out; ++o) {
        const double centre = (o + 0.5) / scale;
        const int left = std::max(0, static_cast<int>(std::floor(centre - 3 * stretch)));
        const int right = std::min(in, static_cast<int>(std::ceil(centre + 3 * stretch)));
        double total = 0;
        Taps& t = taps[static_cast<std::size_t>(o)];
        t.left = left;
        for (int i = left; i < right; ++i) {
            t.weights.push_back(Lanczos3((i + 0.5 - centre) / stretch));
            total += t.weights.back();
        }
        for (double& w : t.weights)
            w /= total;
    }
    return taps;
}

// A Lanczos-3 resize of the whole decoded photo, as red, green, blue bytes.
std::vector<std::uint8_t> LanczosThumbnail(const std::string& path, int width, int height) {
    PlainDecoder decoder(path);
    const int w = decoder.Width();
    const int h = decoder.Height();
    const std::vector<std::uint8_t> rgb = decoder.DecodeRgb();
    const std::vector<Taps> across = LanczosTaps(w, width);
    const std::vector<Taps> down = LanczosTaps(h, height);
    std::vector<double> lines(static_cast<std::size_t>(h) * width * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                const Taps& t = across[static_cast<std::size_t>(x)];
                double sum = 0;
                for (std::size_t j = 0; j < t.weights.size(); ++j)
                    sum +=
                        t.weights[j] * rgb[(static_cast<std::size_t>(y) * w + t.left + j) * 3 + c];
                lines[(static_cast<std::size_t>(y) * width + x) * 3 + c] = sum;
            }
    std::vector<std::uint8_t> result(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                const Taps& t = down[static_cast<std::size_t>(y)];
                double sum = 0;
                for (std::size_t j = 0; j < t.weights.size(); ++j)
                    sum += t.weights[j] *
                           lines[((t.left + j) * static_cast<std::size_t>(width) + x) * 3 + c];
                result[(static_cast<std::size_t>(y) * width + x) * 3 + c] =
                    static_cast<std::uint8_t>(std::clamp(std::lround(sum), 0L, 255L));
            }
    return result;
}

// Mean absolute difference of a thumbnail (blue, green, red, alpha) from the
// Lanczos one (red, green, blue), in levels.
double MeanDifference(const std::vector<std::uint8_t>& thumbnail,
                      const std::vector<std::uint8_t>& lanczos) {
    double total = 0;
    const std::size_t pixels = lanczos.size() / 3;
    for (std::size_t i = 0; i < pixels; ++i)
        for (int c = 0; c < 3; ++c)
            total += std::abs(int{thumbnail[4 * i + 2 - c]} - int{lanczos[3 * i + c]});
    return total / (3.0 * pixels);
}

// A baseline JPEG of width x height made with libjpeg from a generated
// picture: gradients under a pattern of discs, so that the data is neither
// trivial nor random.
void MakeHugeJpeg(const std::string& path, int width, int height) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        throw std::runtime_error("cannot write " + path);
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jerr.error_exit = ThrowLibjpegError;
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 85, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int dx = x % 256 - 128, dy = y % 256 - 128;
            const bool disc = dx * dx + dy * dy < 90 * 90;
            std::uint8_t* p = row.data() + 3 * static_cast<std::size_t>(x);
            p[0] = static_cast<std::uint8_t>(std::int64_t{x} * 255 / width);
            p[1] = static_cast<std::uint8_t>(std::int64_t{y} * 255 / height);
            p[2] = static_cast<std::uint8_t>(disc ? 220 - (dx * dx) / 64 : (x ^ y) & 63);
        }
        JSAMPROW line = row.data();
        jpeg_write_scanlines(&cinfo, &line, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
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

void Gigapixel(const std::string& self, const fs::path& scratch) {
    const int width = 40000, height = 25000;
    const std::string path = (scratch / "gigapixel.jpg").string();
    Clock::time_point start = Clock::now();
    MakeHugeJpeg(path, width, height);
    std::printf("\nGigapixel: %d x %d baseline JPEG, %.1f MiB, made in %.1f s.\n", width, height,
                double(fs::file_size(path)) / kMiB, MillisecondsSince(start) / 1000);
    try {
        TimeWholeBitmap(path, (scratch / "g_tn.jpg").string());
        std::printf("  whole bitmap: made a thumbnail\n");
    } catch (const CTextException& e) {
        std::string text = e.Text();
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        std::printf("  whole bitmap: refused (%s)\n", text.c_str());
    }
    // The same photo marked to be shown turned a quarter, as cameras mark
    // photos taken upright: its rows then make the thumbnail's columns.
    const std::string turned = (scratch / "gigapixel-turned.jpg").string();
    {
        std::ifstream in(path, std::ios::binary);
        std::ofstream out(turned, std::ios::binary);
        char start[2];
        in.read(start, 2);
        out.write(start, 2);
        const unsigned char exif[] = {0xFF, 0xE1, 0x00, 0x22, 'E',  'x',  'i',  'f',  0,
                                      0,    'I',  'I',  0x2A, 0x00, 0x08, 0x00, 0x00, 0x00,
                                      0x01, 0x00, 0x12, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00,
                                      0x00, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
        out.write(reinterpret_cast<const char*>(exif), sizeof exif);
        out << in.rdbuf();
    }
    for (const auto& [photo, mode] : {std::pair{path, "exact"}, std::pair{path, "fast"},
                                      std::pair{turned, "exact"}, std::pair{turned, "fast"}}) {
        const ChildResult child = RunProcess({self, "--child", photo, scratch.string(), mode});
        const double peak = child.ok && !child.out.empty() ? std::stod(child.out) / 1024.0 : -1;
        std::printf("  %s thumbnail%s: %.1f s processor time, peak memory %.1f MiB (target <= "
                    "64): %s\n",
                    mode, photo == turned ? ", shown turned" : "", child.cpuMilliseconds / 1000,
                    peak, peak >= 0 && peak <= 64 ? "met" : "MISSED");
    }
    fs::remove(path);
    fs::remove(turned);
}

// The modern style's pictures, and the thumbnail alone as the classic style
// makes it, against one full single-core decode of each photo.
int BenchPictures(const std::string& self, const std::vector<std::string>& photos, int repeat,
                  const fs::path& scratch) {
    const fs::path made = scratch / "pictures";
    const fs::path reference = scratch / "reference";
    fs::create_directories(made);
    fs::create_directories(reference);
    std::printf("MakePictures: thumb, the thumbnail %d pixels wide alone; all, with its 2x twin "
                "and display copies 1280\nand 2560. Processor times in ms, best of %d; ratios to "
                "floor (one bare libjpeg decode); peak\nmemory of a process making all, in MiB; "
                "same: the thumbnail has GenerateThumbnail's bytes.\n",
                kThumbnailWidth, repeat);
    std::printf("%-26s %11s %6s %6s %6s %5s %5s %6s %4s\n", "photo", "size", "floor", "thumb",
                "all", "t/fl", "a/fl", "peak", "same");
    double floorSum = 0, thumbSum = 0, allSum = 0, peakMax = 0;
    int failures = 0, different = 0;
    for (const std::string& photo : photos) {
        const std::string name = fs::path(photo).filename().string();
        const std::pair<int, int> size = HeaderSize(photo);
        double floor = 1e300, thumb = 1e300, all = 1e300;
        bool same = false;
        try {
            for (int r = 0; r < repeat; ++r) {
                floor = std::min(floor, PlainDecodeMilliseconds(photo, false));
                thumb = std::min(thumb, TimePictures(photo, made.string(), true));
                all = std::min(all, TimePictures(photo, made.string(), false));
            }
            MakeThumbnail(photo, reference.string(), false);
            const std::string thumbnail = fs::path(photo).stem().string() + "_tn.jpg";
            same = ReadWholeFile((made / thumbnail).string()) ==
                   ReadWholeFile((reference / thumbnail).string());
        } catch (const std::exception& e) {
            std::printf("%-26.26s failed: %s\n", name.c_str(), e.what());
            ++failures;
            continue;
        }
        const double peak = PeakBytesInChild(self, photo, made.string(), "pictures") / kMiB;
        std::printf("%-26.26s %5dx%-5d %6.1f %6.1f %6.1f %5.2f %5.2f %6.1f %4s\n", name.c_str(),
                    size.first, size.second, floor, thumb, all, thumb / floor, all / floor, peak,
                    same ? "yes" : "NO");
        floorSum += floor;
        thumbSum += thumb;
        allSum += all;
        peakMax = std::max(peakMax, peak);
        different += same ? 0 : 1;
    }
    std::printf("%-26s %11zu %6.0f %6.0f %6.0f %5.2f %5.2f %6.1f %4s\n", "ALL (photos, totals)",
                photos.size() - static_cast<std::size_t>(failures), floorSum, thumbSum, allSum,
                thumbSum / floorSum, allSum / floorSum, peakMax, different == 0 ? "yes" : "NO");
    return failures || different ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--child")
        return RunChild(argv[2], argv[3], argv[4]);

    const char* usage = "usage: skimlet-bench [--pictures] [--repeat N] [--megapixels MIN-MAX] "
                        "[--gigapixel] PHOTO_FOLDER_OR_FILE...\n";
    int repeat = 5;
    bool gigapixel = false;
    bool pictures = false;
    double minMegapixels = 0, maxMegapixels = 1e9;
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--repeat" && i + 1 < argc) {
            repeat = std::max(1, std::atoi(argv[++i]));
        } else if (argument == "--gigapixel") {
            gigapixel = true;
        } else if (argument == "--pictures") {
            pictures = true;
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
    if (photos.empty() && !gigapixel) {
        std::fprintf(stderr, "%s(no JPEG photos found)\n", usage);
        return 2;
    }
    const std::string self = fs::canonical("/proc/self/exe").string();
    const std::string tool = (fs::path(self).parent_path() / "skimlet-thumb").string();
    const bool haveTool = fs::exists(tool);
    // libjpeg's own command-line decoder, for the floor as a process of its own.
    const std::string djpeg = "/usr/bin/djpeg";
    const bool haveDjpeg = fs::exists(djpeg);
    const fs::path scratch =
        fs::temp_directory_path() / ("skimlet-bench-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    if (pictures) {
        const int status = BenchPictures(self, photos, repeat, scratch);
        fs::remove_all(scratch);
        return status;
    }

    std::printf("Thumbnails %d pixels wide; processor times in ms, best of %d; memory in MiB; "
                "%ld cores online.\n",
                kThumbnailWidth, repeat, ::sysconf(_SC_NPROCESSORS_ONLN));
    std::printf(
        "In this process: floor (bare libjpeg decode), whole (bitmap, then resize: the "
        "old way), exact, fast.\nOne process per photo: djpeg -dct float -nosmooth, "
        "djpeg at 1/8 scale (the least any\nfast thumbnail through libjpeg needs: the entropy "
        "decoding stays), skimlet-thumb, skimlet-thumb --fast.\n");
    std::printf("%-22s %9s %4s %6s %6s %6s %6s | %6s %6s %6s %6s | %4s %4s %4s %4s %4s %4s | "
                "%5s %5s %5s | %4s %4s\n",
                "photo", "size", "MP", "floor", "whole", "exact", "fast", "djpeg", "dj1/8", "proc",
                "procF", "w/fl", "e/fl", "f/fl", "p/dj", "pF/dj", "8/dj", "peakW", "peakE", "peakF",
                "madE", "madF");
    struct Sums {
        double floor = 0, whole = 0, exact = 0, fast = 0, djpeg = 0, djpeg8 = 0, proc = 0,
               procFast = 0;
        double madExact = 0, madFast = 0;
        double peakWhole = 0, peakExact = 0, peakFast = 0;
        int count = 0;
    };
    // Progressive photos are decoded whole into libjpeg's coefficient buffers
    // before any row comes out, which weighs on every column alike.
    Sums all, baseline, progressive;
    int failures = 0;
    for (const std::string& photo : photos) {
        const std::string name = fs::path(photo).filename().string();
        double floor = 1e300, whole = 1e300, exact = 1e300, fast = 1e300;
        double dj = 1e300, dj8 = 1e300, proc = 1e300, procFast = 1e300;
        double madExact = -1, madFast = -1;
        const std::pair<int, int> size = HeaderSize(photo);
        const auto process = [&](std::vector<std::string> args) {
            const ChildResult child = RunProcess(std::move(args));
            if (!child.ok)
                throw std::runtime_error("a process failed");
            return child.cpuMilliseconds;
        };
        const std::string width = std::to_string(kThumbnailWidth);
        try {
            for (int r = 0; r < repeat; ++r) {
                floor = std::min(floor, PlainDecodeMilliseconds(photo, false));
                whole = std::min(whole, TimeWholeBitmap(photo, (scratch / "w_tn.jpg").string()));
                exact = std::min(exact, TimeComponent(photo, scratch.string(), false));
                fast = std::min(fast, TimeComponent(photo, scratch.string(), true));
                if (haveDjpeg) {
                    dj = std::min(dj, process({djpeg, "-dct", "float", "-nosmooth", "-outfile",
                                               "/dev/null", photo}));
                    dj8 = std::min(dj8, process({djpeg, "-dct", "float", "-nosmooth", "-scale",
                                                 "1/8", "-outfile", "/dev/null", photo}));
                }
                if (haveTool) {
                    proc = std::min(proc, process({tool, photo, width, "0", scratch.string()}));
                    procFast = std::min(
                        procFast, process({tool, "--fast", photo, width, "0", scratch.string()}));
                }
            }
            // Compared as stored: the orientation turns all three alike.
            int w = 0, h = 0;
            const std::vector<std::uint8_t> exactPixels = ThumbnailPixels(photo, false, w, h);
            const std::vector<std::uint8_t> fastPixels = ThumbnailPixels(photo, true, w, h);
            const std::vector<std::uint8_t> lanczos = LanczosThumbnail(photo, w, h);
            madExact = MeanDifference(exactPixels, lanczos);
            madFast = MeanDifference(fastPixels, lanczos);
        } catch (const CTextException& e) {
            std::string text = e.Text();
            while (!text.empty() && text.back() == '\n')
                text.pop_back();
            std::printf("%-22.22s failed: %s\n", name.c_str(), text.c_str());
            ++failures;
            continue;
        } catch (const std::exception& e) {
            std::printf("%-22.22s failed: %s\n", name.c_str(), e.what());
            ++failures;
            continue;
        }
        if (!haveDjpeg)
            dj = dj8 = floor;
        if (!haveTool)
            proc = procFast = 0;
        const double pw = PeakBytesInChild(self, photo, scratch.string(), "whole") / kMiB;
        const double pe = PeakBytesInChild(self, photo, scratch.string(), "exact") / kMiB;
        const double pf = PeakBytesInChild(self, photo, scratch.string(), "fast") / kMiB;
        std::printf("%-22.22s %4dx%-4d %4.1f %6.1f %6.1f %6.1f %6.1f | %6.1f %6.1f %6.1f %6.1f | "
                    "%4.2f %4.2f %4.2f %4.2f %4.2f %4.2f | %5.1f %5.1f %5.1f | %4.2f %4.2f\n",
                    name.c_str(), size.first, size.second, double(size.first) * size.second / 1e6,
                    floor, whole, exact, fast, dj, dj8, proc, procFast, whole / floor,
                    exact / floor, fast / floor, proc / dj, procFast / dj, dj8 / dj, pw, pe, pf,
                    madExact, madFast);
        for (Sums* sum : {&all, PlainDecoder(photo).Progressive() ? &progressive : &baseline}) {
            ++sum->count;
            sum->floor += floor;
            sum->whole += whole;
            sum->exact += exact;
            sum->fast += fast;
            sum->djpeg += dj;
            sum->djpeg8 += dj8;
            sum->proc += proc;
            sum->procFast += procFast;
            sum->madExact += madExact;
            sum->madFast += madFast;
            sum->peakWhole = std::max(sum->peakWhole, pw);
            sum->peakExact = std::max(sum->peakExact, pe);
            sum->peakFast = std::max(sum->peakFast, pf);
        }
    }
    const auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
    for (const auto& [label, sum] : {std::pair{"ALL", all}, std::pair{"BASELINE", baseline},
                                     std::pair{"PROGRESSIVE", progressive}}) {
        if (sum.count == 0)
            continue;
        std::printf("%-22s %2d photos      %6.0f %6.0f %6.0f %6.0f | %6.0f %6.0f %6.0f %6.0f | "
                    "%4.2f %4.2f %4.2f %4.2f %4.2f %4.2f | %5.1f %5.1f %5.1f | %4.2f %4.2f\n",
                    label, sum.count, sum.floor, sum.whole, sum.exact, sum.fast, sum.djpeg,
                    sum.djpeg8, sum.proc, sum.procFast, sum.whole / sum.floor,
                    sum.exact / sum.floor, sum.fast / sum.floor, sum.proc / sum.djpeg,
                    sum.procFast / sum.djpeg, sum.djpeg8 / sum.djpeg, sum.peakWhole, sum.peakExact,
                    sum.peakFast, sum.madExact / sum.count, sum.madFast / sum.count);
    }
    for (const auto& [label, sum] : {std::pair{"all", all}, std::pair{"baseline", baseline}}) {
        if (sum.count == 0)
            continue;
        std::printf("Targets over %s photos (totals): exact thumbnail <= 1.15 x floor: in this "
                    "process %.2f, %s",
                    label, sum.exact / sum.floor, verdict(sum.exact <= 1.15 * sum.floor));
        if (haveTool)
            std::printf("; skimlet-thumb against djpeg, a process each: %.2f, %s",
                        sum.proc / sum.djpeg, verdict(sum.proc <= 1.15 * sum.djpeg));
        std::printf(".\n  fast thumbnail <= 0.30 x floor: in this process %.2f, %s",
                    sum.fast / sum.floor, verdict(sum.fast <= 0.30 * sum.floor));
        if (haveTool)
            std::printf("; skimlet-thumb --fast against djpeg: %.2f, %s", sum.procFast / sum.djpeg,
                        verdict(sum.procFast <= 0.30 * sum.djpeg));
        std::printf(".\n  fast thumbnails as close to Lanczos-3 as exact ones or closer: mean "
                    "difference %.2f against %.2f, %s.\n",
                    sum.madFast / sum.count, sum.madExact / sum.count,
                    verdict(sum.madFast <= sum.madExact));
    }
    if (gigapixel)
        Gigapixel(self, scratch);
    fs::remove_all(scratch);
    if (failures)
        std::printf("%d photo%s failed.\n", failures, failures == 1 ? "" : "s");
    return failures ? 1 : 0;
}
