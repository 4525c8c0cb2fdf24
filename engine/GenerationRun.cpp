#include "GenerationRun.h"

#include "EngineErrors.h"
#include "OrderedWork.h"
#include "RunRecord.h"

#include "skimlet/JPEGImage.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

namespace {

using Step = GenerationProblem::Step;
using skimlet::ErrorInfo;
using skimlet::GetErrorInfo;
using skimlet::HRESULT;
using skimlet::S_FALSE;
using skimlet::S_OK;

std::string Hex(std::int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

std::string WithoutTrailingBreaks(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

// Creates the navigation page's temporary file, and the output folder (one level) when
// it is missing. A page that cannot be created would leave a run with nothing to show.
OutputFile CreateNavigationPage(const GallerySettings& settings) {
    const std::string path = settings.outputDirectory + "/" + settings.outputFilename;
    std::error_code error;
    OutputFile page = OutputFile::Create(path, error);
    if (!error)
        return page;
    if (error == std::errc::no_such_file_or_directory) {
        std::error_code folderError;
        std::filesystem::create_directory(settings.outputDirectory, folderError);
        if (folderError)
            throw MakeError(ErrorCode::CannotCreateOutputDirectory);
        page = OutputFile::Create(path, error);
        if (!error)
            return page;
    }
    throw MakeError(ErrorCode::CannotCreateOutputFile);
}

bool IsOwnPhotoFolder(const GallerySettings& settings) {
    return IdentityOfTarget(settings.photoDirectory) == IdentityOfTarget(settings.outputDirectory);
}

// What earlier runs made in this output folder; empty when it cannot be read.
RunRecord ReadRecord(const GallerySettings& settings) {
    std::string text;
    std::error_code error;
    if (!ReadWholeFile(settings.outputDirectory + "/" + kOwnThumbnailsFile, text, error))
        return {};
    return RunRecord::Parse(text);
}

// Writes the record; only a gallery in its own photo folder needs to hear of a failure,
// elsewhere the next run just makes everything again.
void WriteRecord(RunContext& run, const RunRecord& record) {
    std::error_code error;
    if (!WriteWholeFile(run.OutputPath(kOwnThumbnailsFile), record.Serialize(), error) &&
        IsOwnPhotoFolder(run.settings))
        run.Report(Step::MakeThumbnail, run.OutputPath(kOwnThumbnailsFile),
                   "cannot be written, so a later run may take this run's thumbnails for "
                   "photos: " +
                       error.message());
}

// Records this run's thumbnails, and the earlier ones still there, before any is written:
// a run killed midway still leaves them recorded.
void RecordOwnThumbnails(RunContext& run, const std::set<std::string>& earlier) {
    std::set<std::string>& names = run.made->ownThumbnails;
    for (const std::string& name : earlier) {
        if (IdentityOfPath(run.OutputPath(name)).valid)
            names.insert(name);
    }
    for (const PhotoNames& planned : run.list.names) {
        if (planned.thumbnailIsPhoto.empty())
            names.insert(planned.thumbnail);
    }
    // The earlier run's outputs go along: each is checked against the files before use.
    RunRecord record = *run.earlier;
    record.ownThumbnails = names;
    WriteRecord(run, record);
}

// Removes the temporary files of our outputs that a killed run left behind.
void RemoveLeftTemporaries(const GallerySettings& settings, const PhotoList& list) {
    // Temporary names keep the first 200 bytes of the output's name.
    const auto kept = [](const std::string& name) { return name.substr(0, 200); };
    std::unordered_set<std::string> outputs{kept(settings.outputFilename), kOwnThumbnailsFile};
    for (std::size_t i = 0; i < list.photos.size(); ++i) {
        outputs.insert(kept(list.photos[i]));
        outputs.insert(kept(list.names[i].thumbnail));
        outputs.insert(kept(list.names[i].page));
    }
    std::error_code error;
    std::filesystem::directory_iterator entries(settings.outputDirectory, error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const std::string name = entries->path().filename().string();
        constexpr std::size_t kSuffix = 1 + 12 + 4; // ".<12 hex digits>.tmp"
        if (name.size() <= 1 + kSuffix || name[0] != '.')
            continue;
        const std::string output = name.substr(1, name.size() - 1 - kSuffix);
        struct stat status {};
        if (outputs.contains(output) && IsTemporaryOf(name, output) &&
            ::lstat(entries->path().c_str(), &status) == 0 && S_ISREG(status.st_mode))
            ::unlink(entries->path().c_str());
    }
}

// The reason the component gave for its last S_FALSE, or one of our own.
std::string ThumbnailReason(const GallerySettings& settings) {
    if (std::optional<skimlet::ErrorInfo> info = skimlet::GetErrorInfo();
        info && !info->description.empty())
        return WithoutTrailingBreaks(info->description);
    if (skimlet::JPEGImage::NoThumbnailFor(settings.maxWidth, settings.maxHeight))
        return "no thumbnail is made while MaxWidth and MaxHeight are equal (" +
               std::to_string(settings.maxWidth) + ")";
    return "the thumbnail component made no thumbnail and gave no reason";
}

// Why a photo is not handed to the thumbnail component, or "".
std::string RefusedPhoto(const RunContext& run, std::size_t index) {
    const PhotoNames& names = run.Names(index);
    if (!names.thumbnailIsPhoto.empty())
        return "its thumbnail would replace the photo '" + names.thumbnailIsPhoto +
               "', so none was made";
    std::error_code error;
    if (!IsRegularInput(run.PhotoPath(run.list.photos[index]), error))
        return "cannot be read: " + error.message();
    // A link at the thumbnail's name is ours to replace, never to write through.
    const std::string target = run.OutputPath(names.thumbnail);
    struct stat status {};
    if (::lstat(target.c_str(), &status) == 0 && S_ISLNK(status.st_mode) &&
        ::unlink(target.c_str()) != 0)
        return "the link at " + target + " cannot be replaced";
    return "";
}

// What makes a thumbnail's bytes, besides its photo and its name.
std::string ThumbnailSettings(const GallerySettings& settings) {
    return "width " + std::to_string(settings.maxWidth) + " height " +
           std::to_string(settings.maxHeight) + (settings.fastThumbnails ? " fast" : " exact");
}

// The earlier run's output of `photo` when it is still what this run would make: the
// photo and the output are the very files they were then, and it was made alike.
const OutputMade* Unchanged(const OutputMade* earlier, const std::optional<FileStamp>& photo,
                            const std::string& settings, const std::string& name,
                            const std::string& path) {
    if (!earlier || !photo || earlier->photo != *photo || earlier->settings != settings ||
        earlier->name != name)
        return nullptr;
    const std::optional<FileStamp> output = StampOf(path);
    return output && *output == earlier->made ? earlier : nullptr;
}

// What making one photo's thumbnail gave, kept until the calling thread reports it.
struct ThumbnailOutcome {
    std::optional<OutputMade> made;     // for the record: a thumbnail made or kept
    std::string refused;                // why the photo was not handed to the component
    std::optional<std::string> reason;  // why a request made no thumbnail
    std::optional<std::string> warning; // damage the decoder passed over
    std::string failure;                // why the step ends here
};

ThumbnailOutcome MakeThumbnail(const RunContext& run, std::size_t index,
                               skimlet::JPEGImage& image) {
    const GallerySettings& settings = run.settings;
    const std::string& photo = run.list.photos[index];
    const std::string path = run.PhotoPath(photo);
    ThumbnailOutcome outcome;
    if (outcome.refused = RefusedPhoto(run, index); !outcome.refused.empty())
        return outcome;
    const std::string& thumbnail = run.Names(index).thumbnail;
    const std::string output = run.OutputPath(thumbnail);
    // Taken before reading: a photo changed meanwhile differs from it on the next run.
    const std::optional<FileStamp> photoStamp = StampOfTarget(path);
    const std::string thumbnailSettings = ThumbnailSettings(settings);
    if (const OutputMade* kept =
            Unchanged(settings.rebuild ? nullptr : run.earlier->Thumbnail(photo), photoStamp,
                      thumbnailSettings, thumbnail, output)) {
        if (!kept->warning.empty())
            outcome.warning = kept->warning;
        outcome.made = *kept;
        return outcome;
    }
    const auto call = [&](HRESULT result) {
        if (result == S_FALSE && !outcome.reason)
            outcome.reason = ThumbnailReason(settings);
        if (result == S_OK) {
            std::optional<ErrorInfo> info = GetErrorInfo();
            if (info && !info->description.empty() && !outcome.warning)
                outcome.warning = WithoutTrailingBreaks(info->description);
        }
        if (skimlet::Failed(result)) {
            std::optional<ErrorInfo> info = GetErrorInfo();
            outcome.failure = "the thumbnail component failed with " + Hex(result) +
                              (info ? ": " + WithoutTrailingBreaks(info->description) : "");
        }
        return skimlet::Succeeded(result);
    };
    try {
        image.SetFastThumbnails(settings.fastThumbnails);
        skimlet::ClearErrorInfo();
        // In this order, for every photo; a call that fails ends the step.
        if (call(image.SetFilePath(path)) &&
            call(image.SetOutputDirectory(settings.outputDirectory + "/")) &&
            call(image.SetThumbnailName(thumbnail == PlainThumbnailName(photo) ? std::string()
                                                                               : thumbnail)))
            call(image.GenerateThumbnail(settings.maxWidth, settings.maxHeight));
    } catch (const std::exception& thrown) {
        outcome.failure = std::string("the thumbnail component failed: ") + thrown.what();
    } catch (...) {
        outcome.failure = "the thumbnail component failed with an unknown exception";
    }
    if (outcome.failure.empty() && !outcome.reason && photoStamp) {
        if (const std::optional<FileStamp> made = StampOf(output))
            outcome.made = OutputMade{*photoStamp, thumbnailSettings, thumbnail, *made,
                                      outcome.warning.value_or("")};
    }
    return outcome;
}

void MakeThumbnails(RunContext& run) {
    const GallerySettings& settings = run.settings;
    const std::size_t count = run.list.photos.size();
    if (count == 0)
        return;
    // One component per worker: a component is not shared between threads.
    const unsigned workers = run.Workers(count);
    std::vector<std::unique_ptr<skimlet::JPEGImage>> images;
    try {
        for (unsigned i = 0; i < workers; ++i)
            images.push_back(std::make_unique<skimlet::JPEGImage>());
    } catch (const std::exception& failure) {
        run.Report(Step::MakeThumbnail, settings.photoDirectory,
                   std::string("the thumbnail component cannot be created: ") + failure.what());
        return;
    }
    std::vector<ThumbnailOutcome> outcomes(count);
    RunInOrder(
        count, workers,
        [&](std::size_t i, unsigned worker) {
            outcomes[i] = MakeThumbnail(run, i, *images[worker]);
        },
        [&](std::size_t i) {
            const ThumbnailOutcome& outcome = outcomes[i];
            const std::string path = run.PhotoPath(run.list.photos[i]);
            if (outcome.made)
                run.made->SetThumbnail(run.list.photos[i], *outcome.made);
            if (!outcome.refused.empty()) {
                run.Report(Step::MakeThumbnail, path, outcome.refused);
            } else if (!outcome.failure.empty()) {
                run.Report(
                    Step::MakeThumbnail, path,
                    run.EndsStep(outcome.failure, i, "the photos after it got no thumbnail"));
                return false;
            } else if (outcome.reason) {
                run.Report(Step::MakeThumbnail, path, *outcome.reason);
            } else if (outcome.warning) {
                run.Report(Step::MakeThumbnail, path,
                           "made from a damaged photo: " + *outcome.warning);
            }
            run.Raise(GenEventMakeThumbnail, i);
            return true;
        });
}

// Every photo is tried: one that cannot be copied costs only its own copy.
void CopyFiles(RunContext& run) {
    const std::size_t count = run.list.photos.size();
    std::vector<std::error_code> errors(count);
    std::vector<char> copied(count, 0);
    std::vector<std::optional<OutputMade>> made(count);
    RunInOrder(
        count, run.Workers(count),
        [&](std::size_t i, unsigned) {
            const std::string& name = run.list.photos[i];
            const std::string from = run.PhotoPath(name);
            const std::string to = run.OutputPath(name);
            const std::optional<FileStamp> photo = StampOfTarget(from);
            // The photo's identity counts too: another photo of the same size given the
            // same time (a restored backup, `touch -d`) still needs a new copy.
            if (const OutputMade* kept =
                    Unchanged(run.settings.rebuild ? nullptr : run.earlier->Copy(name), photo, "",
                              name, to)) {
                copied[i] = 1;
                made[i] = *kept;
                return;
            }
            copied[i] = CopyFileReplacing(from, to, errors[i]);
            if (const std::optional<FileStamp> copy = StampOf(to);
                copied[i] && photo && copy && copy->size == photo->size &&
                copy->modifiedNs == photo->modifiedNs)
                made[i] = OutputMade{*photo, "", name, *copy, ""};
        },
        [&](std::size_t i) {
            if (made[i])
                run.made->SetCopy(run.list.photos[i], *made[i]);
            if (!copied[i])
                run.Report(Step::CopyFile, run.PhotoPath(run.list.photos[i]),
                           "cannot be copied: " + errors[i].message());
            else
                run.Raise(GenEventFileCopy, i);
            return true;
        });
}

} // namespace

unsigned RunContext::Workers(std::size_t items) const {
    const unsigned wanted =
        settings.jobs > 0 ? static_cast<unsigned>(settings.jobs) : DefaultWorkerCount();
    return static_cast<unsigned>(std::min<std::size_t>(wanted, std::max<std::size_t>(items, 1)));
}

Fragment ReadFragment(const std::string& path) {
    Fragment fragment;
    fragment.path = path;
    std::error_code error;
    if (!ReadWholeFile(path, fragment.text, error))
        fragment.error = error.message();
    return fragment;
}

namespace {

PhotoList ListGalleryPhotos(const GallerySettings& settings,
                            std::vector<GenerationProblem>& problems, const RunRecord& record) {
    std::unordered_set<std::string> own;
    if (IsOwnPhotoFolder(settings)) {
        own.insert(record.ownThumbnails.begin(), record.ownThumbnails.end());
        own.insert(kOwnThumbnailsFile);
    }
    return ListPhotos(settings.photoDirectory, problems, own);
}

} // namespace

PhotoList ListGalleryPhotos(const GallerySettings& settings,
                            std::vector<GenerationProblem>& problems) {
    return ListGalleryPhotos(settings, problems, ReadRecord(settings));
}

void RunGeneration(const GallerySettings& settings, const ProgressSink& progress,
                   std::vector<GenerationProblem>& problems) {
    ValidateInputs(settings);
    // Read once: it says which files are this gallery's own and what earlier runs made.
    const RunRecord earlier = ReadRecord(settings);
    PhotoList list = ListGalleryPhotos(settings, problems, earlier);
    if (const std::string clash = NavigationPageClash(list.photos, settings.outputFilename,
                                                      settings.createPageForEachPhoto);
        !clash.empty())
        throw NavigationPageClashError(clash);
    list.names = PlanNames(list.photos, settings.outputFilename);

    const Fragment header = ReadFragment(settings.navHeaderFilePath);
    const Fragment footer = ReadFragment(settings.navFooterFilePath);
    for (const Fragment* fragment : {&header, &footer}) {
        if (!fragment->error.empty())
            problems.push_back({Step::ReadFragment, fragment->path,
                                "cannot be read, taken as empty: " + fragment->error});
    }
    RemoveLeftTemporaries(settings, list);
    // Created before anything else is written, so that a page that cannot be is the
    // run's first and only failure.
    OutputFile page = CreateNavigationPage(settings);

    RunRecord made;
    RunContext run{settings,
                   list,
                   problems,
                   progress,
                   settings.outputDirectory + "/" + settings.outputFilename,
                   &earlier,
                   &made};
    if (IsOwnPhotoFolder(settings))
        RecordOwnThumbnails(run, earlier.ownThumbnails);
    MakeThumbnails(run);
    CopyFiles(run);
    WriteRecord(run, made);
    if (settings.createPageForEachPhoto)
        MakePhotoPages(run, header, footer);

    page.Write(header.text);
    AddThumbsToNav(run, page);
    page.Write(footer.text);
    if (const std::error_code error = page.Close())
        run.Report(Step::NavigationPage, run.navigationPage,
                   "cannot be written completely, the earlier one is kept: " + error.message());
}

} // namespace vantrel
