#pragma once

#include "RunContext.h"

#include <unordered_set>

namespace vantrel {

// The whole run: validation, listing, navigation page, thumbnails, copies, photo pages
// and the navigation table. Throws GeneratorError; every other failure is passed
// over and recorded in `problems`.
void RunGeneration(const GallerySettings& settings, const ProgressSink& progress,
                   std::vector<GenerationProblem>& problems);

// The photos of a run. In a gallery made inside its own photo folder, the thumbnails
// an earlier run recorded there are no photos.
PhotoList ListGalleryPhotos(const GallerySettings& settings,
                            std::vector<GenerationProblem>& problems);

// Writes the description block and the thumbnail table into the navigation page.
void AddThumbsToNav(RunContext& run, OutputFile& page);

// Writes one page per photo, given the navigation page's own fragments.
void MakePhotoPages(RunContext& run, const Fragment& navHeader, const Fragment& navFooter);

} // namespace vantrel
