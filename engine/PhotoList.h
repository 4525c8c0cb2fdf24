#pragma once

#include "OutputNames.h"

#include "vantrel/Generator.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace vantrel {

// Progress values are 16-bit: a run covers at most this many files of the folder.
inline constexpr std::size_t kMaxListSlots = 32767;

// The photos of a folder in listing order. Every file of the folder takes a slot,
// photos first; only the photos are kept, the other slots would be empty.
struct PhotoList {
    std::vector<std::string> photos;
    // The names of each photo's outputs, once planned for the run.
    std::vector<PhotoNames> names;
    // The highest slot index: the number of files less one (TotalValue of Progress).
    std::int16_t highestIndex = -1;
};

// Lists `folder` sorted by name (ASCII case folded, then byte-wise), passing over the
// files named in `ownOutputs` (a gallery's earlier outputs in its own photo folder). A
// folder that cannot be listed gives an empty list; that and photos left out go to
// `problems`.
PhotoList ListPhotos(const std::string& folder, std::vector<GenerationProblem>& problems,
                     const std::unordered_set<std::string>& ownOutputs = {});

} // namespace vantrel
