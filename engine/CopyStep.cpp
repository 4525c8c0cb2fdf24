#include "GenerationRun.h"
#include "OrderedWork.h"
#include "PhotoMetadata.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The copy step: every photo published as a copy with the photo's time and permissions.
namespace vantrel {

namespace {

using Step = GenerationProblem::Step;

struct CopyOutcome {
    std::optional<RecordedOutput> output; // made or kept; none for a photo that is its own copy
    bool published = false;
    bool hasLocation = false;
    bool locationRemoved = false;
    bool ownerOnly = false;
    std::uint64_t bytes = 0;
    std::string description;
    std::string failure;
};

// What the copy says of itself, for the summary and the pages.
void TakeFacts(CopyOutcome& outcome, const RecordedOutput& output) {
    const auto fact = [&](const char* name) {
        const auto found = output.facts.find(name);
        return found == output.facts.end() ? std::string() : found->second;
    };
    outcome.hasLocation = fact("location") == "yes";
    outcome.description = fact("description");
}

// Copies the photo open at `in` to `out`, whole; the photo must not change meanwhile.
std::error_code CopyPhoto(int in, const struct stat& before, OutputFile& out) {
    std::error_code error;
    std::int64_t copied = 0;
    if (::lseek(in, 0, SEEK_SET) != 0 || !CopyContent(in, out.Descriptor(), copied, error))
        return error ? error : std::error_code(errno, std::generic_category());
    struct stat after {};
    if (::fstat(in, &after) != 0)
        return std::error_code(errno, std::generic_category());
    if (after.st_nlink == 0)
        return MakeErrorCode(FileError::Vanished);
    if (copied < before.st_size || after.st_size < before.st_size)
        return MakeErrorCode(FileError::Shrank);
    return {};
}

CopyOutcome CopyOne(RunContext& run, std::size_t index) {
    const std::string& photo = run.list.photos[index];
    const std::string& name = run.Names(index).copy;
    CopyOutcome outcome;
    PhotoInput input(run.photoFolder, photo);
    const int fd = input.Fd();
    if (fd < 0) {
        outcome.failure = input.notJpeg ? "not a JPEG photo, so it is not published"
                                        : "cannot be read: " + input.error.message();
        return outcome;
    }
    const struct stat& status = input.status;
    std::error_code error;
    outcome.ownerOnly = (status.st_mode & S_IROTH) == 0;
    outcome.bytes = static_cast<std::uint64_t>(status.st_size);
    const auto readFacts = [&] {
        if (const std::optional<PhotoMetadata> metadata = ReadPhotoMetadata(fd)) {
            outcome.hasLocation = metadata->hasLocation;
            outcome.description = metadata->description;
        }
    };
    if (run.sameFolder) {
        // The photo is its own copy: published as it is, location and all.
        readFacts();
        outcome.published = true;
        return outcome;
    }
    const FileStamp stamp = StampOf(status, true);
    const std::string how = run.settings.stripLocation ? "without location" : "as is";
    const std::string source = run.outputs.SourceDigest(stamp, how, name);
    if (const RecordedOutput* kept =
            run.settings.rebuild ? nullptr : run.outputs.Unchanged("copy", photo, source, name)) {
        outcome.output = *kept;
        outcome.published = true;
        TakeFacts(outcome, *kept);
        return outcome;
    }
    // Never wider open than the photo: a photo others may not read gets a copy alike.
    readFacts();
    OutputFile out = OutputFile::Create(run.outputFolder, name, error, status.st_mode & 0777);
    if (!error && run.settings.stripLocation) {
        std::string why;
        if (!CopyWithoutLocation(fd, out.Descriptor(), outcome.locationRemoved, why)) {
            out.Abandon();
            outcome.failure =
                "cannot be copied without its location, so it is not published: " + why;
            return outcome;
        }
        outcome.hasLocation = false;
    } else if (!error) {
        error = CopyPhoto(fd, status, out);
    }
    // The photo's time goes with it: an unchanged photo can be told by it.
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    if (!error && ::futimens(out.Descriptor(), times) != 0)
        error = std::error_code(errno, std::generic_category());
    if (error) {
        out.Abandon();
        outcome.failure = "cannot be copied: " + error.message();
        return outcome;
    }
    if ((error = out.Close(run.outputs.Journal(name)))) {
        outcome.failure = "cannot be copied: " + error.message();
        return outcome;
    }
    outcome.published = true;
    RecordedOutput output{"copy", name, photo, source, "", "", {}};
    output.facts["location"] = outcome.hasLocation ? "yes" : "no";
    if (!outcome.description.empty())
        output.facts["description"] = outcome.description;
    outcome.output = std::move(output);
    return outcome;
}

} // namespace

// Every photo is tried: one that cannot be copied costs only its own copy.
void CopyFiles(RunContext& run) {
    const std::size_t count = run.list.photos.size();
    std::vector<CopyOutcome> outcomes(count);
    RunInOrder(
        count, run.Workers(count), [&](std::size_t i, unsigned) { outcomes[i] = CopyOne(run, i); },
        [&](std::size_t i) {
            CopyOutcome& outcome = outcomes[i];
            if (!outcome.failure.empty()) {
                run.Report(Step::CopyFile, run.PhotoPath(run.list.photos[i]), outcome.failure);
                return true;
            }
            if (outcome.hasLocation && run.sameFolder && run.settings.stripLocation)
                run.Report(Step::CopyFile, run.PhotoPath(run.list.photos[i]),
                           "is published with its location: in its own folder the photo is "
                           "its copy, and Tessary never changes a photo");
            PhotoMade& made = run.made[i];
            made.copied = true;
            made.bytes = outcome.bytes;
            made.hasLocation = outcome.hasLocation;
            made.description = outcome.description;
            RunSummary& summary = run.summary;
            ++summary.published;
            summary.withLocation += outcome.hasLocation ? 1 : 0;
            summary.locationsRemoved += outcome.locationRemoved ? 1 : 0;
            summary.ownerOnly += outcome.ownerOnly ? 1 : 0;
            if (outcome.output)
                run.outputs.Record(std::move(*outcome.output));
            run.Raise(GenEventFileCopy, i);
            return true;
        });
}

} // namespace vantrel
