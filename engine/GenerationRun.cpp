#include "GenerationRun.h"

#include "EngineErrors.h"
#include "OrderedWork.h"

#include "skimlet/JPEGImage.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
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

std::unordered_set<std::string> SplitNames(const std::string& record) {
    std::unordered_set<std::string> names;
    for (std::size_t start = 0; start < record.size();) {
        const std::size_t end = std::min(record.find('\0', start), record.size());
        if (end > start)
            names.insert(record.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

// The thumbnails an earlier run wrote into this gallery's own photo folder.
std::unordered_set<std::string> ReadOwnThumbnails(const GallerySettings& settings) {
    std::string record;
    std::error_code error;
    ReadWholeFile(settings.outputDirectory + "/" + kOwnThumbnailsFile, record, error);
    return SplitNames(record);
}

// Records this run's thumbnails, and the earlier ones still there, before any is written:
// a run killed midway still leaves them recorded.
void RecordOwnThumbnails(RunContext& run, const std::unordered_set<std::string>& earlier) {
    std::unordered_set<std::string> names;
    for (const std::string& name : earlier) {
        if (IdentityOfPath(run.OutputPath(name)).valid)
            names.insert(name);
    }
    for (const PhotoNames& planned : run.list.names) {
        if (planned.thumbnailIsPhoto.empty())
            names.insert(planned.thumbnail);
    }
    std::string record;
    for (const std::string& name : names)
        record += name + '\0';
    std::error_code error;
    if (!WriteWholeFile(run.OutputPath(kOwnThumbnailsFile), record, error))
        run.Report(Step::MakeThumbnail, run.OutputPath(kOwnThumbnailsFile),
                   "cannot be written, so a later run may take this run's thumbnails for "
                   "photos: " +
                       error.message());
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

// What making one photo's thumbnail gave, kept until the calling thread reports it.
struct ThumbnailOutcome {
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
    RunInOrder(
        count, run.Workers(count),
        [&](std::size_t i, unsigned) {
            const std::string& name = run.list.photos[i];
            copied[i] = CopyFileReplacing(run.PhotoPath(name), run.OutputPath(name), errors[i]);
        },
        [&](std::size_t i) {
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

PhotoList ListGalleryPhotos(const GallerySettings& settings,
                            std::vector<GenerationProblem>& problems,
                            std::unordered_set<std::string>* ownThumbnails) {
    std::unordered_set<std::string> own;
    if (IsOwnPhotoFolder(settings)) {
        own = ReadOwnThumbnails(settings);
        if (ownThumbnails)
            *ownThumbnails = own;
        own.insert(kOwnThumbnailsFile);
    }
    return ListPhotos(settings.photoDirectory, problems, own);
}

void RunGeneration(const GallerySettings& settings, const ProgressSink& progress,
                   std::vector<GenerationProblem>& problems) {
    ValidateInputs(settings);
    std::unordered_set<std::string> ownThumbnails;
    PhotoList list = ListGalleryPhotos(settings, problems, &ownThumbnails);
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

    RunContext run{settings, list, problems, progress,
                   settings.outputDirectory + "/" + settings.outputFilename};
    if (IsOwnPhotoFolder(settings))
        RecordOwnThumbnails(run, ownThumbnails);
    MakeThumbnails(run);
    CopyFiles(run);
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
