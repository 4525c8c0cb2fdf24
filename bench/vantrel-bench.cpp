// Times GenerateGallery over a photo folder (the sample photos by default), with one
// worker and with one per core: a whole gallery made into an empty folder, and the same
// gallery made again with nothing changed. Each measurement runs in a process of its
// own, so that its peak memory is its own.
//     vantrel-bench [photo folder] [runs]
#include "vantrel/Generator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Bench {
    std::string photos;
    fs::path work;
    int runs = 5;
};

// One measurement: `runs` galleries, each into an emptied folder or each a rerun over
// the folder the previous measurement left. Returns the exit status for the child.
int Measure(const Bench& bench, std::int16_t jobs, bool rerun) {
    Generator gallery;
    vantrel::GallerySettings settings;
    settings.photoDirectory = bench.photos;
    settings.outputDirectory = (bench.work / ("site-" + std::to_string(jobs))).string();
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
    std::printf("jobs %-4s %-22s %d runs, best %8.1f ms, mean %8.1f ms, peak %6.1f MB, "
                "%d events, %zu problems\n",
                jobs == 0 ? "all" : std::to_string(jobs).c_str(),
                rerun ? "rerun, nothing changed" : "whole gallery", bench.runs, best,
                total / bench.runs, usage.ru_maxrss / 1024.0, events / bench.runs,
                gallery.Problems().size());
    for (const GenerationProblem& problem : gallery.Problems())
        std::printf("  %s\n", problem.Text().c_str());
    std::fflush(stdout);
    return 0;
}

bool InChild(const Bench& bench, std::int16_t jobs, bool rerun) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0)
        _exit(Measure(bench, jobs, rerun));
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
    std::ofstream(bench.work / "header.htm") << "<html><body>\r\n";
    std::ofstream(bench.work / "footer.htm") << "</body></html>\r\n";

    std::printf("%s, %u cores\n", bench.photos.c_str(), std::thread::hardware_concurrency());
    bool ok = true;
    for (const std::int16_t jobs : {std::int16_t{1}, std::int16_t{0}}) {
        ok = ok && InChild(bench, jobs, false);
        ok = ok && InChild(bench, jobs, true);
    }
    fs::remove_all(bench.work);
    return ok ? 0 : 1;
}
