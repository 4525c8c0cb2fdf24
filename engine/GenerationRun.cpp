#include "GenerationRun.h"

#include "EngineErrors.h"

#include "skimlet/JPEGImage.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>

namespace vantrel {

namespace {

using Step = GenerationProblem::Step;

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

// Creates the navigation page, and the output folder (one level) when it is missing.
// A page that cannot be created would leave a run with nothing to show for it.
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

void MakeThumbnails(RunContext& run) {
    const GallerySettings& settings = run.settings;
    if (run.list.photos.empty())
        return;
    std::unique_ptr<skimlet::JPEGImage> image;
    try {
        image = std::make_unique<skimlet::JPEGImage>();
    } catch (const std::exception& failure) {
        run.Report(Step::MakeThumbnail, settings.photoDirectory,
                   std::string("the thumbnail component cannot be created: ") + failure.what());
        return;
    }
    const std::string outputFolder = settings.outputDirectory + "/";
    for (std::size_t i = 0; i < run.list.photos.size(); ++i) {
        const std::string path = run.PhotoPath(run.list.photos[i]);
        std::optional<std::string> reason; // why a request made no thumbnail
        std::string failure;               // why the step ends here
        const auto call = [&](skimlet::HRESULT result) {
            if (result == skimlet::S_FALSE && !reason)
                reason = ThumbnailReason(settings);
            if (skimlet::Failed(result)) {
                std::optional<skimlet::ErrorInfo> info = skimlet::GetErrorInfo();
                failure = "the thumbnail component failed with " + Hex(result) +
                          (info ? ": " + WithoutTrailingBreaks(info->description) : "");
            }
            return skimlet::Succeeded(result);
        };
        try {
            skimlet::ClearErrorInfo();
            // In this order, for every photo; a call that fails ends the step.
            if (call(image->SetFilePath(path)) && call(image->SetOutputDirectory(outputFolder)))
                call(image->GenerateThumbnail(settings.maxWidth, settings.maxHeight));
        } catch (const std::exception& thrown) {
            failure = std::string("the thumbnail component failed: ") + thrown.what();
        } catch (...) {
            failure = "the thumbnail component failed with an unknown exception";
        }
        if (!failure.empty()) {
            run.Report(Step::MakeThumbnail, path,
                       run.EndsStep(failure, i, "the photos after it got no thumbnail"));
            return;
        }
        if (reason)
            run.Report(Step::MakeThumbnail, path, *reason);
        run.Raise(GenEventMakeThumbnail, i);
    }
}

void CopyFiles(RunContext& run) {
    for (std::size_t i = 0; i < run.list.photos.size(); ++i) {
        const std::string& name = run.list.photos[i];
        const std::string from = run.PhotoPath(name);
        std::error_code error;
        if (!CopyFileReplacing(from, run.OutputPath(name), error)) {
            run.Report(Step::CopyFile, from,
                       run.EndsStep("cannot be copied: " + error.message(), i,
                                    "the photos after it were not copied"));
            return;
        }
        run.Raise(GenEventFileCopy, i);
    }
}

} // namespace

Fragment ReadFragment(const std::string& path) {
    Fragment fragment;
    fragment.path = path;
    std::error_code error;
    if (!ReadWholeFile(path, fragment.text, error))
        fragment.error = error.message();
    return fragment;
}

void RunGeneration(const GallerySettings& settings, const ProgressSink& progress,
                   std::vector<GenerationProblem>& problems) {
    ValidateInputs(settings);
    const PhotoList list = ListPhotos(settings.photoDirectory, problems);
    const Fragment header = ReadFragment(settings.navHeaderFilePath);
    const Fragment footer = ReadFragment(settings.navFooterFilePath);
    for (const Fragment* fragment : {&header, &footer}) {
        if (!fragment->error.empty())
            problems.push_back({Step::ReadFragment, fragment->path,
                                "cannot be read, taken as empty: " + fragment->error});
    }
    OutputFile page = CreateNavigationPage(settings);

    RunContext run{settings, list, problems, progress, page.Identity()};
    MakeThumbnails(run);
    CopyFiles(run);
    if (settings.createPageForEachPhoto)
        MakePhotoPages(run, header, footer);

    page.Write(header.text);
    AddThumbsToNav(run, page);
    page.Write(footer.text);
    if (const std::error_code error = page.Close())
        run.Report(Step::NavigationPage, run.OutputPath(settings.outputFilename),
                   "cannot be written completely: " + error.message());
}

} // namespace vantrel
