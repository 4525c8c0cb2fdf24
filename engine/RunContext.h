#pragma once

#include "FileIo.h"
#include "PhotoList.h"
#include "RunRecord.h"
#include "Settings.h"

#include "vantrel/Generator.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What the steps of one run share.
namespace vantrel {

// Raises Progress(type, total, current) to whoever follows the run.
using ProgressSink =
    std::function<void(GenEventTypeEnum type, std::int16_t total, std::int16_t current)>;

// A header or footer fragment, read whole as bytes.
struct Fragment {
    std::string path;
    std::string text;  // empty when unreadable
    std::string error; // why it cannot be read; empty when it was read
};

struct RunContext {
    const GallerySettings& settings;
    const PhotoList& list;
    std::vector<GenerationProblem>& problems;
    const ProgressSink& progress;
    // The navigation page's path: no photo page may be written over it.
    std::string navigationPage;
    // What earlier runs made here, and what this run made or kept, for the next one.
    const RunRecord* earlier = nullptr;
    RunRecord* made = nullptr;

    std::string PhotoPath(const std::string& name) const {
        return settings.photoDirectory + "/" + name;
    }
    const PhotoNames& Names(std::size_t index) const { return list.names[index]; }
    std::string OutputPath(const std::string& name) const {
        return settings.outputDirectory + "/" + name;
    }
    // Workers for a step of `items`: as the settings ask, one per core by default.
    unsigned Workers(std::size_t items) const;
    void Raise(GenEventTypeEnum type, std::size_t index) const {
        progress(type, list.highestIndex, static_cast<std::int16_t>(index));
    }
    void Report(GenerationProblem::Step step, std::string file, std::string reason) {
        problems.push_back({step, std::move(file), std::move(reason)});
    }
    // For a failure that ends a step: says so when photos after `index` are affected.
    std::string EndsStep(std::string reason, std::size_t index, const char* what) const {
        if (index + 1 < list.photos.size())
            reason += std::string("; ") + what;
        return reason;
    }
};

// Reads a fragment; an unreadable one has empty text and says why.
Fragment ReadFragment(const std::string& path);

} // namespace vantrel
