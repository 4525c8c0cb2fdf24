// Times GenerateGallery over a photo folder (the sample photos by default) into a
// temporary output folder: vantrel-bench [photo folder] [runs]
#include "vantrel/Generator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    const std::string photos = argc > 1 ? argv[1] : TESSARY_SOURCE_DIR "/samples/photos";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const fs::path work = fs::temp_directory_path() / ("vantrel-bench-" + std::to_string(getpid()));
    fs::create_directories(work);
    std::ofstream(work / "header.htm") << "<html><body>\r\n";
    std::ofstream(work / "footer.htm") << "</body></html>\r\n";

    Generator gallery;
    gallery.SetPhotoDirectory(photos);
    gallery.SetOutputDirectory((work / "site").string());
    gallery.SetOutputFilename("index.htm");
    gallery.SetNavHeaderFilePath((work / "header.htm").string());
    gallery.SetNavFooterFilePath((work / "footer.htm").string());
    gallery.SetNumberOfRows(4);
    gallery.SetNumberOfCols(5);
    gallery.SetMaxWidth(120);
    int events = 0;
    gallery.SetProgressHandler(
        [&](GenEventTypeEnum, const std::int16_t&, const std::int16_t&) { ++events; });

    double best = 1e9, total = 0;
    try {
        for (int run = 0; run < runs; ++run) {
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
        fs::remove_all(work);
        return 1;
    }
    std::printf("%s: %d runs, best %.1f ms, mean %.1f ms, %d events, %zu problems\n",
                photos.c_str(), runs, best, total / runs, events / runs, gallery.Problems().size());
    for (const GenerationProblem& problem : gallery.Problems())
        std::printf("  %s\n", problem.Text().c_str());
    fs::remove_all(work);
    return 0;
}
