#pragma once

#include "RunContext.h"

#include <memory>

namespace vantrel {

// What a run finds and decides before it writes anything: the open folders, the record of
// earlier runs, the photos and the names of their outputs, the fragments.
struct RunPlan {
    GallerySettings settings;
    Folder photoFolder;
    Folder outputFolder; // open when it exists
    std::unique_ptr<GalleryOutputs> outputs;
    PhotoList list;
    Fragment header;
    Fragment footer;
    bool sameFolder = false;
    bool foldCase = false;
    // Files the gallery writes for itself: its navigation or index pages and style sheet.
    std::vector<std::string> galleryFiles;
    // Files the run reads, which no output may replace.
    std::vector<FileIdentity> inputs;
};

// Checks the settings, opens the folders (the output folder locked for this run alone
// when `forRun`), lists the photos and plans their names. Throws GeneratorError for what
// ends a run before anything is written: missing settings, a photo folder that cannot be
// listed, another run writing the gallery, a navigation page that would replace a photo,
// an output, an input or a file of the user's.
void PlanRun(const GallerySettings& settings, const std::vector<std::string>& otherInputs,
             bool forRun, RunPlan& plan, std::vector<GenerationProblem>& problems);

// The whole run. Throws GeneratorError; every other failure is passed over and recorded
// in `problems`.
void RunGeneration(const GallerySettings& settings, const std::vector<std::string>& otherInputs,
                   const ProgressSink& progress, std::vector<GenerationProblem>& problems,
                   RunSummary& summary);

// The steps.
void MakeThumbnails(RunContext& run);
void CopyFiles(RunContext& run);
// The bytes of photo `index`'s page between the fragments it is given.
using PhotoPageContent =
    std::function<std::string(std::size_t index, const Fragment& header, const Fragment& footer)>;
// Writes one page per photo, given the navigation page's own fragments; the classic
// pages unless `content` is given.
void MakePhotoPages(RunContext& run, const Fragment& navHeader, const Fragment& navFooter,
                    const PhotoPageContent& content = {});
// Writes the modern style's photo pages, style sheet and index pages; the first index
// page goes into `firstPage`, already created.
void WriteModernGallery(RunContext& run, const RunPlan& plan, OutputFile& firstPage);
// Whether a regular file (not a link) at `name` holds exactly `content`.
bool IsSameFile(const Folder& folder, const std::string& name, const std::string& content);
// Writes the description block and the thumbnail table into the navigation page.
void AddThumbsToNav(RunContext& run, OutputFile& page);

inline constexpr const char* kStyleSheetName = "tessary.css";

} // namespace vantrel
