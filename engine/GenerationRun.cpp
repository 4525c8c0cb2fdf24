#include "GenerationRun.h"

#include "EngineErrors.h"
#include "OrderedWork.h"
#include "RecordKey.h"

#include <algorithm>
#include <cerrno>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

namespace {

using Step = GenerationProblem::Step;

// The suffixes of the pictures a run writes beside a photo's stem, which a gallery made in
// its photo folder must not take for photos.
constexpr const char* kPictureSuffixes[] = {"_tn.jpg", "_tn2x.jpg", "_1280.jpg", "_2560.jpg"};

std::string Quoted(const std::string& name) {
    return "'" + name + "'";
}

// Whether `name` in `folder` is plainly a picture a run made from a photo beside it: a
// JPEG named after that photo's stem whose sides keep the photo's proportions. A first run
// in a photo folder that an older Tessary wrote its thumbnails into takes them for its own.
bool PlainlyPictureOfPhoto(const Folder& folder, const std::string& name) {
    for (const char* suffix : kPictureSuffixes) {
        const std::string_view ending = suffix;
        if (name.size() <= ending.size() || !name.ends_with(ending))
            continue;
        const std::string stem = name.substr(0, name.size() - ending.size());
        const auto sizeOf = [&](const std::string& file) {
            const PhotoInput input(folder, file);
            return input.Fd() >= 0 ? JpegFrameSize(input.Fd()) : PictureSize{};
        };
        const PictureSize picture = sizeOf(name);
        if (picture.width <= 0 || picture.height <= 0)
            return false;
        for (const char* extension : {".jpg", ".JPG"}) {
            const PictureSize photo = sizeOf(stem + extension);
            if (photo.width <= picture.width && photo.height <= picture.height)
                continue;
            // The rule truncates one side: within a pixel of the photo's proportions, either
            // way round (a photo turned by its orientation tag).
            const auto fits = [&](std::int64_t w, std::int64_t h) {
                return std::llabs(w * picture.height - h * picture.width) <= std::max(w, h);
            };
            if (fits(photo.width, photo.height) || fits(photo.height, photo.width))
                return true;
        }
        return false;
    }
    return false;
}

// What a file of the photo folder is, when the gallery is made in that folder.
FileRole RoleInOwnFolder(const Folder& folder, const GalleryOutputs& outputs,
                         const std::string& name) {
    if (name == kOwnThumbnailsFile || outputs.Earlier().OwnNames().contains(name))
        return FileRole::Own;
    if (const RecordedOutput* output = outputs.Earlier().Named(name)) {
        if (outputs.IsAsMade(name))
            return FileRole::Own;
        // Changed since it was made: the user's now. While its photo is there it is that
        // photo's output name all the same; once the photo is gone it is a photo itself.
        struct stat status {};
        return !output->photo.empty() && folder.Status(output->photo, status) ? FileRole::Own
                                                                              : FileRole::Candidate;
    }
    if (outputs.IsAsMade(name))
        return FileRole::Own;
    if (!outputs.Earlier().Trusted() && PlainlyPictureOfPhoto(folder, name))
        return FileRole::Own;
    return FileRole::Candidate;
}

// The output folder, made when it is missing (one level, as the parent must exist).
Folder OpenOrCreateOutputFolder(const std::string& path) {
    std::error_code error;
    Folder folder = Folder::Open(path, error);
    if (!error)
        return folder;
    if (error == std::errc::no_such_file_or_directory) {
        if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST)
            throw MakeError(ErrorCode::CannotCreateOutputDirectory);
        folder = Folder::Open(path, error);
        if (!error)
            return folder;
    }
    throw MakeError(ErrorCode::CannotCreateOutputFile);
}

void Lock(const Folder& folder) {
    std::error_code error;
    if (!folder.TryLock(error) && error == std::errc::operation_would_block)
        throw NavigationPageClashError("another run is writing the gallery in " +
                                       Quoted(folder.Path()) + "; run again when it has finished");
}

// Why the run may not write `name`, a file the gallery writes for itself, or "".
std::string GalleryFileRefusal(const RunPlan& plan, const std::string& name) {
    if (!plan.outputFolder.IsOpen())
        return "";
    struct stat status {};
    if (!plan.outputFolder.Status(name, status))
        return "";
    if (!S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode))
        return Quoted(name) + (S_ISDIR(status.st_mode) ? " is a folder" : " is not a regular file");
    if (S_ISREG(status.st_mode) &&
        std::find(plan.inputs.begin(), plan.inputs.end(), IdentityOf(status)) != plan.inputs.end())
        return Quoted(name) + " is a file this run reads";
    if (plan.outputs->IsUsersFile(name))
        return Quoted(name) + " is not as Tessary left it (changed since, or not made by it), " +
               "so it is kept; move it away or choose another name";
    return "";
}

// Removes the temporary files of our outputs that a killed run left behind: those of the
// outputs this or an earlier run made, and any named like a photo, page or style sheet.
void RemoveLeftTemporaries(const RunPlan& plan) {
    std::set<std::string> outputs{kOwnThumbnailsFile};
    for (const RecordedOutput& output : plan.outputs->Earlier().Outputs())
        outputs.insert(output.name.substr(0, 200));
    for (const std::string& name : plan.galleryFiles)
        outputs.insert(name.substr(0, 200));
    std::vector<FolderEntry> entries;
    std::error_code error;
    if (!plan.outputFolder.List(entries, error))
        return;
    for (const FolderEntry& entry : entries) {
        const std::string output = OutputOfTemporary(entry.name);
        if (output.empty() || !entry.isRegular)
            continue;
        struct stat status {};
        const bool ours = outputs.contains(output) || IsPhotoName(output) ||
                          output.ends_with(".htm") || output.ends_with(".css");
        if (ours && plan.outputFolder.Status(entry.name, status) && S_ISREG(status.st_mode))
            plan.outputFolder.Remove(entry.name, error);
    }
}

std::set<std::string> PlannedNames(const RunPlan& plan) {
    std::set<std::string> names(plan.galleryFiles.begin(), plan.galleryFiles.end());
    for (const PhotoNames& photo : plan.list.names) {
        for (const std::string* name : {&photo.thumbnail, &photo.page, &photo.copy, &photo.twin})
            if (!name->empty())
                names.insert(*name);
        names.insert(photo.display.begin(), photo.display.end());
    }
    return names;
}

} // namespace

unsigned RunContext::Workers(std::size_t items) const {
    const unsigned wanted =
        settings.jobs > 0 ? static_cast<unsigned>(settings.jobs) : DefaultWorkerCount();
    return static_cast<unsigned>(std::min<std::size_t>(wanted, std::max<std::size_t>(items, 1)));
}

PhotoInput::PhotoInput(const Folder& folder, const std::string& name)
    : fd_(folder.OpenInput(name, status, error)) {
    notJpeg = fd_ >= 0 && !BeginsAsJpeg(fd_);
}

PhotoInput::~PhotoInput() {
    if (fd_ >= 0)
        ::close(fd_);
}

Fragment ReadFragment(const std::string& path) {
    Fragment fragment;
    fragment.path = path;
    std::error_code error;
    if (!path.empty() && !ReadWholeFile(path, fragment.text, error, kMaxFragmentBytes))
        fragment.error = error == MakeErrorCode(FileError::TooLarge)
                             ? "larger than " + std::to_string(kMaxFragmentBytes >> 20) + " MiB"
                             : error.message();
    return fragment;
}

void PlanRun(const GallerySettings& settings, const std::vector<std::string>& otherInputs,
             bool forRun, RunPlan& plan, std::vector<GenerationProblem>& problems) {
    ValidateInputs(settings);
    plan.settings = settings;
    std::error_code error;
    plan.photoFolder = Folder::Open(settings.photoDirectory, error);
    if (error)
        throw PhotoFolderError(Quoted(settings.photoDirectory) +
                               " cannot be opened: " + error.message() + "; nothing was written");
    std::error_code missing; // a missing output folder is made later, when the run writes
    plan.outputFolder = Folder::Open(settings.outputDirectory, missing);
    if (plan.outputFolder.IsOpen() && forRun)
        Lock(plan.outputFolder);
    plan.outputs = std::make_unique<GalleryOutputs>(plan.outputFolder, RecordKey::ForUser());
    plan.outputs->ReadRecord();
    plan.sameFolder =
        plan.outputFolder.IsOpen() && plan.photoFolder.Identity() == plan.outputFolder.Identity();

    const auto role = [&](const std::string& name) {
        return plan.sameFolder ? RoleInOwnFolder(plan.photoFolder, *plan.outputs, name)
                               : FileRole::Candidate;
    };
    if (!ListPhotos(plan.photoFolder, problems, role, plan.list, error))
        throw PhotoFolderError(Quoted(settings.photoDirectory) +
                               " cannot be listed: " + error.message() + "; nothing was written");

    plan.header = ReadFragment(settings.navHeaderFilePath);
    plan.footer = ReadFragment(settings.navFooterFilePath);
    for (const std::string* path : {&settings.navHeaderFilePath, &settings.navFooterFilePath,
                                    &settings.imgHeaderFilePath, &settings.imgFooterFilePath})
        if (!path->empty())
            plan.inputs.push_back(IdentityOfTarget(*path));
    for (const std::string& path : otherInputs)
        plan.inputs.push_back(IdentityOfTarget(path));

    const bool modern = settings.pageStyle == PageStyle::Modern;
    if (modern) {
        plan.galleryFiles = IndexPageNames(settings.outputFilename, plan.list.photos.size(),
                                           PhotosPerIndexPage(settings));
        plan.galleryFiles.push_back(kStyleSheetName);
    } else {
        plan.galleryFiles = {settings.outputFilename};
    }
    plan.foldCase = plan.outputFolder.IsOpen() && forRun && plan.outputFolder.FoldsCase();
    if (const std::string clash =
            NavigationPageClash(plan.list.photos, settings.outputFilename,
                                settings.createPageForEachPhoto, plan.foldCase);
        !clash.empty())
        throw NavigationPageClashError(clash);
    for (const std::string& name : plan.galleryFiles)
        if (const std::string refusal = GalleryFileRefusal(plan, name); !refusal.empty())
            throw NavigationPageClashError(refusal);

    NamingRules rules;
    rules.galleryFiles = plan.galleryFiles;
    rules.galleryFiles.push_back(kOwnThumbnailsFile);
    rules.photoPages = settings.createPageForEachPhoto;
    rules.modern = modern;
    rules.foldCase = plan.foldCase;
    rules.copiesArePhotos = plan.sameFolder;
    rules.taken = [&plan](const std::string& name) {
        struct stat status {};
        if (!plan.outputFolder.IsOpen() || !plan.outputFolder.Status(name, status))
            return false;
        if (!S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode))
            return true; // a folder or a device is never replaced
        if (S_ISREG(status.st_mode) && std::find(plan.inputs.begin(), plan.inputs.end(),
                                                 IdentityOf(status)) != plan.inputs.end())
            return true;
        return plan.outputs->IsUsersFile(name);
    };
    plan.list.names = PlanNames(plan.list.photos, rules);
}

void RunGeneration(const GallerySettings& settings, const std::vector<std::string>& otherInputs,
                   const ProgressSink& progress, std::vector<GenerationProblem>& problems,
                   RunSummary& summary) {
    RunPlan plan;
    PlanRun(settings, otherInputs, true, plan, problems);
    for (const Fragment* fragment : {&plan.header, &plan.footer}) {
        if (!fragment->error.empty())
            problems.push_back({Step::ReadFragment, fragment->path,
                                "cannot be read, taken as empty: " + fragment->error});
    }
    // Created before anything else is written, so that a folder or page that cannot be
    // is the run's first and only failure.
    if (!plan.outputFolder.IsOpen()) {
        plan.outputFolder = OpenOrCreateOutputFolder(settings.outputDirectory);
        Lock(plan.outputFolder);
    }
    RemoveLeftTemporaries(plan);
    plan.outputs->StartJournal();
    std::error_code error;
    OutputFile page = OutputFile::Create(plan.outputFolder, settings.outputFilename, error);
    if (error)
        throw NavigationPageClashError(Quoted(settings.outputFilename) +
                                       " cannot be created: " + error.message());

    RunContext run{settings, plan.photoFolder, plan.outputFolder, *plan.outputs,   plan.list,
                   problems, summary,          progress,          plan.sameFolder, {},
                   {}};
    run.made.resize(plan.list.photos.size());
    MakeThumbnails(run);
    CopyFiles(run);
    if (run.Modern()) {
        WriteModernGallery(run, plan, page);
    } else {
        if (settings.createPageForEachPhoto)
            MakePhotoPages(run, plan.header, plan.footer);
        page.Write(plan.header.text);
        AddThumbsToNav(run, page);
        page.Write(plan.footer.text);
    }
    if (const std::error_code closeError =
            page.Close(plan.outputs->Journal(settings.outputFilename)))
        run.Report(Step::NavigationPage, run.OutputPath(settings.outputFilename),
                   "cannot be written completely, the earlier one is kept: " +
                       closeError.message());
    else {
        summary.galleryWritten = true;
        plan.outputs->Record({"index", settings.outputFilename, "", "", "", "", {}});
    }

    // Never the photos or what the run reads, whatever an earlier record says.
    std::set<std::string> never(plan.list.photos.begin(), plan.list.photos.end());
    never.insert(kOwnThumbnailsFile);
    std::set<std::string> planned = PlannedNames(plan);
    for (const std::string& name : run.unwanted)
        planned.erase(name);
    GalleryOutputs::Ending ending = plan.outputs->Finish(planned, never);
    summary.removed = std::move(ending.removed);
    for (const std::string& name : ending.keptChanged)
        run.Report(Step::RemoveOutput, run.OutputPath(name),
                   "changed since Tessary made it, so it is left as it is");
    if (ending.recordError && plan.sameFolder)
        run.Report(Step::MakeThumbnail, run.OutputPath(kOwnThumbnailsFile),
                   "cannot be written, so a later run may take this run's thumbnails for "
                   "photos: " +
                       ending.recordError.message());
}

} // namespace vantrel
