// Times GenerateGallery over a photo folder (the sample photos by default) in each page
// style, with one worker, two and one per core: a whole gallery made into an empty
// folder, and the same gallery made again with nothing changed. Each measurement runs in
// a process of its own, so that its peak memory is its own. Whole galleries are also
// given as a multiple of the floor: one plain full-size decode of every photo on one core.
// Last, the modern style's targets with two workers: at most 0.75 x floor, and a peak no
// higher than the classic style's (within 5 %).
//     vantrel-bench [photo folder] [runs]
#include "vantrel/Generator.h"

#include <jpeglib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// What a whole gallery with two workers cost, per style, written by the measuring child.
struct TwoWorkers {
    double bestMs = 0;
    double peakMb = 0;
};

struct Bench {
    std::string photos;
    fs::path work;
    int runs = 5;
    double floorMs = 0;
    TwoWorkers* twoWorkers = nullptr; // [classic, modern], shared with the children
};

// One full-size libjpeg decode of every photo, with the decoder's settings, rows dropped.
double FloorMs(const std::string& folder) {
    const auto start = std::chrono::steady_clock::now();
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (!name.ends_with("jpg") && !name.ends_with("JPG"))
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
        jpeg_decompress_struct cinfo{};
        jpeg_error_mgr jerr{};
        cinfo.err = jpeg_std_error(&jerr);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&cinfo, TRUE);
        cinfo.do_fancy_upsampling = FALSE;
        cinfo.dct_method = JDCT_FLOAT;
        jpeg_start_decompress(&cinfo);
        std::vector<JSAMPLE> row(std::size_t{cinfo.output_width} * cinfo.output_components);
        JSAMPROW rows[1] = {row.data()};
        while (cinfo.output_scanline < cinfo.output_height)
            jpeg_read_scanlines(&cinfo, rows, 1);
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// One measurement: `runs` galleries, each into an emptied folder or each a rerun over
// the folder the previous measurement left. Returns the exit status for the child.
int Measure(const Bench& bench, vantrel::PageStyle style, std::int16_t jobs, bool rerun) {
    Generator gallery;
    vantrel::GallerySettings settings;
    settings.photoDirectory = bench.photos;
    const bool modern = style == vantrel::PageStyle::Modern;
    settings.outputDirectory =
        (bench.work / ("site-" + std::to_string(jobs) + (modern ? "-modern" : ""))).string();
    settings.pageStyle = style;
    settings.outputFilename = "index.htm";
    settings.navHeaderFilePath = (bench.work / "header.htm").string();
    settings.navFooterFilePath = (bench.work / "footer.htm").string();
    settings.numberOfRows = 4;
    settings.numberOfCols = 5;
    settings.maxWidth = 120;
    settings.jobs = jobs;
    gallery.SetSettings(settings);
    int events = 0;
    gallery.SetProgressHandler(
        [&](GenEventTypeEnum, const std::int16_t&, const std::int16_t&) { ++events; });

    double best = 1e9, total = 0;
    try {
        for (int run = 0; run < bench.runs; ++run) {
            if (!rerun)
                fs::remove_all(settings.outputDirectory);
            const auto start = std::chrono::steady_clock::now();
            gallery.GenerateGallery();
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
            best = std::min(best, ms);
            total += ms;
        }
    } catch (const GeneratorError& error) {
        std::fprintf(stderr, "%s: %s\n", error.Source().c_str(), error.Description().c_str());
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%-7s jobs %-4s %-22s %d runs, best %8.1f ms (%.2f x floor), mean %8.1f ms, "
                "peak %6.1f MB, %d events, %zu problems\n",
                modern ? "modern" : "classic", jobs == 0 ? "all" : std::to_string(jobs).c_str(),
                rerun ? "rerun, nothing changed" : "whole gallery", bench.runs, best,
                best / bench.floorMs, total / bench.runs, usage.ru_maxrss / 1024.0,
                events / bench.runs, gallery.Problems().size());
    for (const GenerationProblem& problem : gallery.Problems())
        std::printf("  %s\n", problem.Text().c_str());
    if (jobs == 2 && !rerun)
        bench.twoWorkers[modern ? 1 : 0] = {best, usage.ru_maxrss / 1024.0};
    std::fflush(stdout);
    return 0;
}

bool InChild(const Bench& bench, vantrel::PageStyle style, std::int16_t jobs, bool rerun) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0)
        _exit(Measure(bench, style, jobs, rerun));
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char** argv) {
    Bench bench;
    bench.photos = argc > 1 ? argv[1] : TESSARY_SOURCE_DIR "/samples/photos";
    bench.runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    bench.work = fs::temp_directory_path() / ("vantrel-bench-" + std::to_string(getpid()));
    fs::create_directories(bench.work);
    void* shared = mmap(nullptr, 2 * sizeof(TwoWorkers), PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) {
        std::perror("vantrel-bench: mmap");
        return 1;
    }
    bench.twoWorkers = new (shared) TwoWorkers[2];
    std::ofstream(bench.work / "header.htm") << "<html><body>\r\n";
    std::ofstream(bench.work / "footer.htm") << "</body></html>\r\n";

    bench.floorMs = FloorMs(bench.photos);
    for (int run = 1; run < bench.runs; ++run)
        bench.floorMs = std::min(bench.floorMs, FloorMs(bench.photos));
    std::printf("%s, %u cores, floor %.1f ms\n", bench.photos.c_str(),
                std::thread::hardware_concurrency(), bench.floorMs);
    bool ok = true;
    for (const vantrel::PageStyle style : {vantrel::PageStyle::Classic, vantrel::PageStyle::Modern})
        for (const std::int16_t jobs : {std::int16_t{1}, std::int16_t{2}, std::int16_t{0}}) {
            ok = ok && InChild(bench, style, jobs, false);
            ok = ok && InChild(bench, style, jobs, true);
        }
    fs::remove_all(bench.work);
    if (ok) {
        const TwoWorkers& classic = bench.twoWorkers[0];
        const TwoWorkers& modern = bench.twoWorkers[1];
        const double ratio = modern.bestMs / bench.floorMs;
        std::printf("Modern, 2 workers: %.2f x floor (target <= 0.75): %s; peak %.1f MB against "
                    "classic's %.1f MB (target <= 5 %% more): %s\n",
                    ratio, ratio <= 0.75 ? "met" : "MISSED", modern.peakMb, classic.peakMb,
                    modern.peakMb <= classic.peakMb * 1.05 ? "met" : "MISSED");
    }
    return ok ? 0 : 1;
}
