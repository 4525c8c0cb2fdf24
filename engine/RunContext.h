#pragma once

#include "FileIo.h"
#include "GalleryOutputs.h"
#include "ModernPages.h"
#include "PhotoList.h"
#include "Settings.h"

#include "vantrel/Generator.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>

// What the steps of one run share.
namespace vantrel {

// Raises Progress(type, total, current) to whoever follows the run.
using ProgressSink =
    std::function<void(GenEventTypeEnum type, std::int16_t total, std::int16_t current)>;

// A header or footer fragment, read whole as bytes.
struct Fragment {
    std::string path;
    std::string text;  // empty when unreadable or not given
    std::string error; // why it cannot be read; empty when it was read
};

// What the run learnt of one photo and made of it, for its pages.
struct PhotoMade {
    PictureFile thumbnail;
    PictureFile twin;
    std::vector<PictureFile> display; // smallest first
    bool copied = false;
    std::uint64_t bytes = 0;
    bool hasLocation = false; // the published copy carries a location
    std::string description;  // the photo's own caption
};

struct RunContext {
    const GallerySettings& settings;
    const Folder& photoFolder;
    const Folder& outputFolder;
    GalleryOutputs& outputs;
    const PhotoList& list;
    std::vector<GenerationProblem>& problems;
    RunSummary& summary;
    const ProgressSink& progress;
    // A gallery made inside its own photo folder: every photo is its own copy.
    bool sameFolder = false;
    // Indexed like list.photos.
    std::vector<PhotoMade> made;
    // Planned names the run found it need not make: earlier outputs there may go.
    std::set<std::string> unwanted;

    std::string PhotoPath(const std::string& name) const { return photoFolder.PathOf(name); }
    const PhotoNames& Names(std::size_t index) const { return list.names[index]; }
    std::string OutputPath(const std::string& name) const { return outputFolder.PathOf(name); }
    bool Modern() const { return settings.pageStyle == PageStyle::Modern; }
    // Workers for a step of `items`: as the settings ask, one per core by default.
    unsigned Workers(std::size_t items) const;
    void Raise(GenEventTypeEnum type, std::size_t index) const {
        progress(type, list.highestIndex, static_cast<std::int16_t>(index));
    }
    void Report(GenerationProblem::Step step, std::string file, std::string reason) {
        problems.push_back({step, std::move(file), std::move(reason)});
    }
};

// A listed photo opened for reading, if it can be and begins as a JPEG; closed with it.
class PhotoInput {
public:
    PhotoInput(const Folder& folder, const std::string& name);
    ~PhotoInput();
    PhotoInput(const PhotoInput&) = delete;
    PhotoInput& operator=(const PhotoInput&) = delete;

    // -1 when it cannot be read (`error` says why) or is no JPEG (`notJpeg`).
    int Fd() const { return notJpeg ? -1 : fd_; }
    struct stat status {};
    std::error_code error;
    bool notJpeg = false;

private:
    int fd_ = -1;
};

// Reads a fragment within its cap; an unreadable one has empty text and says why.
Fragment ReadFragment(const std::string& path);

} // namespace vantrel
