#include "GenerationRun.h"
#include "ModernPages.h"

// The modern style's pages, from what the picture and copy steps made.
namespace vantrel {

namespace {

using Step = GenerationProblem::Step;

std::vector<ModernPhoto> ModernPhotos(const RunContext& run) {
    std::vector<ModernPhoto> photos;
    photos.reserve(run.list.photos.size());
    for (std::size_t i = 0; i < run.list.photos.size(); ++i) {
        const PhotoMade& made = run.made[i];
        const PhotoNames& names = run.Names(i);
        ModernPhoto photo;
        photo.photo = made.copied ? names.copy : "";
        photo.photoBytes = made.bytes;
        photo.page = names.page;
        photo.thumbnail = made.thumbnail;
        photo.twin = made.twin;
        photo.display = made.display;
        photo.description = made.description;
        photos.push_back(std::move(photo));
    }
    return photos;
}

// Tessary's own fragments stand in for those the user did not give.
PageFrame FrameOf(const Fragment& header, const Fragment& footer) {
    return {header.path.empty() ? nullptr : &header.text,
            footer.path.empty() ? nullptr : &footer.text};
}

// Writes a gallery file unless it already holds exactly `content`; false with the
// problem reported when it cannot be written.
bool WriteGalleryFile(RunContext& run, const std::string& name, const std::string& content) {
    if (run.settings.rebuild || !IsSameFile(run.outputFolder, name, content)) {
        std::error_code error;
        OutputFile file = OutputFile::Create(run.outputFolder, name, error);
        if (!error) {
            file.Write(content);
            error = file.Close(run.outputs.Journal(name));
        }
        if (error) {
            run.Report(Step::NavigationPage, run.OutputPath(name),
                       "cannot be written, the earlier one is kept: " + error.message());
            return false;
        }
    }
    return true;
}

} // namespace

void WriteModernGallery(RunContext& run, const RunPlan& plan, OutputFile& firstPage) {
    const std::vector<ModernPhoto> photos = ModernPhotos(run);
    ModernSite site{run.settings, {}, kStyleSheetName};
    for (const std::string& name : plan.galleryFiles)
        if (name != kStyleSheetName)
            site.indexPages.push_back(name);
    const PageFrame frame = FrameOf(plan.header, plan.footer);

    if (run.settings.createPageForEachPhoto)
        MakePhotoPages(run, plan.header, plan.footer,
                       [&](std::size_t index, const Fragment& header, const Fragment& footer) {
                           return ModernPhotoPage(site, photos, index, FrameOf(header, footer));
                       });
    if (WriteGalleryFile(run, kStyleSheetName, ModernStyleSheet()))
        run.outputs.Record({"style", kStyleSheetName, "", "", "", "", {}});
    for (std::size_t page = 1; page < site.indexPages.size(); ++page) {
        const std::string& name = site.indexPages[page];
        if (WriteGalleryFile(run, name, ModernIndexPage(site, photos, page, frame)))
            run.outputs.Record({"index-" + std::to_string(page + 1), name, "", "", "", "", {}});
    }
    firstPage.Write(ModernIndexPage(site, photos, 0, frame));
    for (std::size_t i = 0; i < photos.size(); ++i)
        run.Raise(GenEventAddThumbsToNav, i);
}

} // namespace vantrel
