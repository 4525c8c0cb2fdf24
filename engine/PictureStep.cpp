#include "GenerationRun.h"
#include "OrderedWork.h"

#include "skimlet/Pictures.h"

#include <algorithm>
#include <mutex>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <unistd.h>

// The thumbnail step: every picture of a photo (its thumbnail and, in the modern style,
// its 2x twin and display copies) from one decode, kept when it would not change.
namespace vantrel {

namespace {

using Step = GenerationProblem::Step;

// One picture a photo gets, with what makes its bytes besides the photo and its name.
struct Wanted {
    std::string kind;
    std::string how;
    skimlet::PictureRequest request;
};

std::vector<Wanted> WantedPictures(const RunContext& run, std::size_t index, int photoLongSide) {
    const GallerySettings& s = run.settings;
    const PhotoNames& names = run.Names(index);
    const std::string size = "width " + std::to_string(s.maxWidth) + " height " +
                             std::to_string(s.maxHeight) + (s.fastThumbnails ? " fast" : " exact");
    std::vector<Wanted> wanted{{"thumbnail", size, {names.thumbnail, s.maxWidth, s.maxHeight}}};
    if (run.Modern()) {
        skimlet::PictureRequest twin{names.twin, s.maxWidth, s.maxHeight};
        twin.scale = 2;
        wanted.push_back({"twin", size + " twice", twin});
        // A larger copy of a photo no larger than the smaller copy would be the same picture.
        for (std::size_t k = 0;
             k < names.display.size() && (k == 0 || photoLongSide > kDisplaySides[k - 1]); ++k) {
            skimlet::PictureRequest display{names.display[k]};
            display.longSide = kDisplaySides[k];
            display.quality = skimlet::kDisplayCopyQuality;
            wanted.push_back({"display-" + std::to_string(kDisplaySides[k]),
                              "long side " + std::to_string(kDisplaySides[k]), display});
        }
    }
    return wanted;
}

PictureFile FileOf(const RecordedOutput& output) {
    PictureFile file{output.name};
    if (const auto size = output.facts.find("size"); size != output.facts.end())
        std::sscanf(size->second.c_str(), "%dx%d", &file.width, &file.height);
    return file;
}

// What making one photo's pictures gave, kept until the calling thread reports it.
struct PictureOutcome {
    std::vector<RecordedOutput> outputs; // made or kept, thumbnail first
    std::string reason;                  // why the photo got no thumbnail
    std::string warning;                 // damage the decoder passed over
    std::vector<std::string> unwanted;   // display copies the photo is too small for
};

PictureOutcome MakePictures(RunContext& run, std::size_t index) {
    const std::string& photo = run.list.photos[index];
    PictureOutcome outcome;
    PhotoInput input(run.photoFolder, photo);
    const int fd = input.Fd();
    if (fd < 0) {
        outcome.reason =
            input.notJpeg ? "not a JPEG photo" : "cannot be read: " + input.error.message();
        return outcome;
    }
    const struct stat& status = input.status;
    const FileStamp stamp = StampOf(status, true);
    const PictureSize size = JpegFrameSize(fd);
    const std::vector<Wanted> wanted =
        WantedPictures(run, index, std::max(size.width, size.height));
    for (const std::string& name : run.Names(index).display)
        if (std::none_of(wanted.begin(), wanted.end(),
                         [&](const Wanted& picture) { return picture.request.name == name; }))
            outcome.unwanted.push_back(name);
    std::vector<std::string> sources;
    bool allKept = !run.settings.rebuild;
    for (const Wanted& picture : wanted) {
        sources.push_back(run.outputs.SourceDigest(stamp, picture.how, picture.request.name));
        const RecordedOutput* kept =
            allKept
                ? run.outputs.Unchanged(picture.kind, photo, sources.back(), picture.request.name)
                : nullptr;
        if (!kept)
            allKept = false;
        else
            outcome.outputs.push_back(*kept);
    }
    if (allKept) {
        outcome.warning = outcome.outputs.front().warning;
        return outcome;
    }
    outcome.outputs.clear();

    skimlet::PhotoJob job;
    job.photo = fd;
    job.photoPath = run.PhotoPath(photo);
    job.outputFolder = run.outputFolder.Descriptor();
    // Pictures of a photo that others may not read are as private as the photo.
    job.mode = status.st_mode & 0777;
    job.fast = run.settings.fastThumbnails;
    for (const Wanted& picture : wanted)
        job.pictures.push_back(picture.request);
    const skimlet::PhotoResult result = skimlet::MakePictures(job);
    if (result.outcome == skimlet::PhotoResult::Outcome::NotMadeByRule) {
        outcome.reason = "no thumbnail is made while MaxWidth and MaxHeight are equal (" +
                         std::to_string(run.settings.maxWidth) + ")";
        return outcome;
    }
    if (result.outcome != skimlet::PhotoResult::Outcome::Made) {
        outcome.reason = result.error;
        return outcome;
    }
    outcome.warning = result.warning;
    for (std::size_t k = 0; k < result.pictures.size() && k < wanted.size(); ++k) {
        const skimlet::PictureMade& made = result.pictures[k];
        if (const std::error_code placed = run.outputs.Place(made.temporaryName, made.name)) {
            if (outcome.reason.empty())
                outcome.reason =
                    run.OutputPath(made.name) + " cannot be written: " + placed.message();
            continue;
        }
        RecordedOutput output{wanted[k].kind, made.name, photo, sources[k], "", "", {}};
        output.facts["size"] = std::to_string(made.width) + "x" + std::to_string(made.height);
        if (k == 0)
            output.warning = result.warning;
        outcome.outputs.push_back(std::move(output));
    }
    return outcome;
}

// A photo's decode takes buffers of tens of megabytes. Once one is freed, glibc's
// allocator keeps buffers of up to its size in the freeing thread's heap, where the
// workers' leftovers add up to more than any photo needs; a fixed threshold gives each
// such buffer back to the system when it is freed. Process-wide, and set once.
void ReturnLargeBuffersWhenFreed() {
#ifdef __GLIBC__
    static std::once_flag once;
    std::call_once(once, [] {
        mallopt(M_MMAP_THRESHOLD, 4 << 20);
        mallopt(M_TRIM_THRESHOLD, 8 << 20);
    });
#endif
}

} // namespace

void MakeThumbnails(RunContext& run) {
    ReturnLargeBuffersWhenFreed();
    const std::size_t count = run.list.photos.size();
    std::vector<PictureOutcome> outcomes(count);
    RunInOrder(
        count, run.Workers(count),
        [&](std::size_t i, unsigned) { outcomes[i] = MakePictures(run, i); },
        [&](std::size_t i) {
            PictureOutcome& outcome = outcomes[i];
            PhotoMade& made = run.made[i];
            run.unwanted.insert(outcome.unwanted.begin(), outcome.unwanted.end());
            for (RecordedOutput& output : outcome.outputs) {
                const PictureFile file = FileOf(output);
                if (output.kind == "thumbnail")
                    made.thumbnail = file;
                else if (output.kind == "twin")
                    made.twin = file;
                else
                    made.display.push_back(file);
                run.outputs.Record(std::move(output));
            }
            const std::string path = run.PhotoPath(run.list.photos[i]);
            if (!outcome.reason.empty())
                run.Report(Step::MakeThumbnail, path, outcome.reason);
            else if (!outcome.warning.empty())
                run.Report(Step::MakeThumbnail, path,
                           "made from a damaged photo: " + outcome.warning);
            run.Raise(GenEventMakeThumbnail, i);
            return true;
        });
}

} // namespace vantrel
