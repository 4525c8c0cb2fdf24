#pragma once

// Vantrel, Tessary's gallery engine: one class, Generator, that holds a
// gallery's settings and makes the gallery from them.
//
//     Generator gallery;
//     gallery.SetPhotoDirectory("/home/ann/photos");
//     gallery.SetOutputDirectory("/home/ann/site/gallery");
//     gallery.SetOutputFilename("index.htm");
//     gallery.SetNavHeaderFilePath("/home/ann/site/header.htm");
//     gallery.SetNavFooterFilePath("/home/ann/site/footer.htm");
//     gallery.SetNumberOfRows(4);
//     gallery.SetNumberOfCols(5);
//     gallery.SetMaxWidth(120);
//     gallery.GenerateGallery();             // throws GeneratorError on failure
//     for (const auto& problem : gallery.Problems())
//         std::cerr << problem.Text() << '\n'; // what the run passed over

#include "vantrel/GallerySettings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#define VANTREL_API __attribute__((visibility("default")))

namespace vantrel {

// Which files are photos: names ending in "jpg" or "JPG", exactly, of at least four bytes.
VANTREL_API bool IsPhotoName(std::string_view name);

// The names of one photo's outputs in the output folder. All but the copy come from one
// stem: the photo's name less its last four characters, or that and "~2", "~3"... when an
// earlier photo, the gallery or a file of the user's holds one of the plain names.
struct PhotoNames {
    std::string thumbnail; // "beach_tn.jpg"
    std::string page;      // "beach.htm"
    std::string copy;      // the photo's own name, unless a file of the user's holds it
    std::string twin;      // the modern style's thumbnail at twice the size: "beach_tn2x.jpg"
    std::vector<std::string> display; // the modern style's display copies: "beach_1280.jpg"...
};

// Long sides of the modern style's display copies, smallest first.
inline constexpr int kDisplaySides[] = {1280, 2560};

// What names a run may give its outputs.
struct NamingRules {
    // Names the gallery writes for itself: navigation or index pages, style sheet, record.
    std::vector<std::string> galleryFiles;
    // Names no output may take: files of the user's, files the run reads. May be empty.
    std::function<bool(const std::string&)> taken;
    bool photoPages = true;
    bool modern = false;
    // The output folder takes "A" and "a" for one name.
    bool foldCase = false;
    // The gallery is made in its photo folder: a photo's copy is the photo itself.
    bool copiesArePhotos = false;
};

// The output names of `photos` (in list order). The plain names of every photo are
// reserved before any "~N" name is given, so a renamed photo never takes the names of a
// later one; a photo keeps its plain names unless one is taken.
VANTREL_API std::vector<PhotoNames> PlanNames(const std::vector<std::string>& photos,
                                              const NamingRules& rules);

} // namespace vantrel

// The step of a run that a Progress event reports on. Thumbnails are made
// first, then copies, photo pages and the navigation table.
enum GenEventTypeEnum : std::int32_t {
    GenEventFileCopy = 1,
    GenEventMakeThumbnail = 2,
    GenEventMakePhotoPage = 3,
    GenEventAddThumbsToNav = 4,
};

// An engine failure: a number (0x80040191 to 0x8004019B), the operation that
// failed ("Generator::GenerateGallery()") and a description for the user.
class VANTREL_API GeneratorError : public std::runtime_error {
public:
    GeneratorError(std::int32_t number, std::string source, std::string description);

    std::int32_t Number() const { return number_; }
    const std::string& Source() const { return source_; }
    const std::string& Description() const { return description_; }

private:
    std::int32_t number_;
    std::string source_;
    std::string description_;
};

// What the last run did besides its pages and pictures, for the user to hear of.
struct VANTREL_API RunSummary {
    bool galleryWritten = false;      // the navigation page (or index pages) took its place
    std::vector<std::string> removed; // outputs of photos no longer listed, removed
    std::size_t published = 0;        // photos published (copied)
    std::size_t withLocation = 0;     // of those, copies that carry a location
    std::size_t locationsRemoved = 0; // copies made this run without their photo's location
    std::size_t ownerOnly = 0;        // photos others may not read: their copies neither
};

// Something a run passed over and went on without: photos left out of the photo folder
// (no JPEGs, special files, too many) or none in it, an unreadable fragment, a navigation
// page not written completely, a thumbnail not made, a copy or a photo page that failed,
// an output of a photo no longer listed that was changed by hand and so kept.
struct VANTREL_API GenerationProblem {
    enum class Step {
        ListPhotos,
        ReadFragment,
        NavigationPage,
        MakeThumbnail,
        CopyFile,
        MakePhotoPage,
        RemoveOutput
    };

    Step step;
    std::string file;   // the file concerned (photo, fragment or page)
    std::string reason; // why, e.g. the thumbnail component's error description
                        // (without its trailing line break)

    // One line for people, e.g. "Thumbnail of /p/a.jpg: Decoder error: ...".
    std::string Text() const;
};

class VANTREL_API Generator {
public:
    // Raised once after each item of a step. totalValue is the highest index of the
    // photo list (files of any kind in the photo folder, less one); currentValue the
    // index of the photo (or table cell) just finished. Handlers must not change them.
    // A run covers at most 32767 files, so both values stay within 0 to 32766; photos
    // beyond that are left out and listed in Problems().
    using ProgressHandler =
        std::function<void(GenEventTypeEnum eventType, const std::int16_t& totalValue,
                           const std::int16_t& currentValue)>;

    Generator();
    ~Generator();
    Generator(const Generator&) = delete;
    Generator& operator=(const Generator&) = delete;

    // All settings at once. SetSettings applies each field as its setter below does, so
    // "" and numbers below 1 leave the stored value (the page style and the other flags
    // are taken as given); `jobs` is taken when 0 or more.
    vantrel::GallerySettings Settings() const;
    void SetSettings(const vantrel::GallerySettings& settings);

    // The sixteen settings. String setters ignore "", number setters ignore values
    // below 1; getters return what is stored, unchanged.
    std::string NavHeaderFilePath() const;
    void SetNavHeaderFilePath(const std::string& value);
    std::string NavFooterFilePath() const;
    void SetNavFooterFilePath(const std::string& value);
    std::string ImgHeaderFilePath() const;
    void SetImgHeaderFilePath(const std::string& value);
    std::string ImgFooterFilePath() const;
    void SetImgFooterFilePath(const std::string& value);
    std::string OutputFilename() const;
    void SetOutputFilename(const std::string& value);
    std::string Description() const;
    void SetDescription(const std::string& value);
    std::string PhotoDirectory() const;
    void SetPhotoDirectory(const std::string& value);
    std::string OutputDirectory() const;
    void SetOutputDirectory(const std::string& value);
    std::string TargetFrameName() const;
    void SetTargetFrameName(const std::string& value);
    std::int16_t NumberOfRows() const;
    void SetNumberOfRows(std::int16_t value);
    std::int16_t NumberOfCols() const;
    void SetNumberOfCols(std::int16_t value);
    std::int16_t MaxWidth() const;
    void SetMaxWidth(std::int16_t value);
    std::int16_t MaxHeight() const;
    void SetMaxHeight(std::int16_t value);
    bool UseNavButtons() const;
    void SetUseNavButtons(bool value);
    bool UseFrames() const;
    void SetUseFrames(bool value);
    bool CreatePageForEachPhoto() const;
    void SetCreatePageForEachPhoto(bool value);

    // Makes the gallery; throws GeneratorError (0x80040191 to 0x80040199). With glibc,
    // the first run sets the process's malloc thresholds for giving memory back (mmap
    // 4 MiB, trim 8 MiB), so that the decode buffers of photos made on several threads do
    // not stay behind in each thread's heap.
    void GenerateGallery();
    // The photos GenerateGallery would take, in list order: the photo files of
    // PhotoDirectory, at most 32767, without a gallery's own earlier thumbnails.
    std::vector<std::string> Photos() const;
    // Why GenerateGallery would refuse OutputFilename before writing anything (it names a
    // photo of PhotoDirectory, or a thumbnail, page or copy of one), or "" when it would
    // not. Lists the photo folder.
    std::string NavigationPageClash() const;
    // Why a run of these settings would replace or read the file at `path`, or "" when it
    // would not: a photo of PhotoDirectory, an output of the run (a photo's copy, thumbnail
    // or page, the navigation page, the record of what was made) or a fragment. Compares
    // files by identity where they exist, else by folder and name. Lists the photo folder.
    std::string RunWouldReplace(const std::string& path) const;
    // Reads settings from a template file; throws GeneratorError 0x8004019A. Values are
    // stored as read, without the setter rules. A Description holding only text comes
    // back exactly as SaveTemplate wrote it; one holding elements (a hand-made
    // template's HTML) is taken as the markup inside the Description element.
    void LoadTemplate(const std::string& templateFile);
    // Writes the settings to a template file; throws GeneratorError 0x8004019B and
    // changes no property.
    void SaveTemplate(const std::string& templateFile);

    // The Progress event, called synchronously inside GenerateGallery. A handler may
    // replace or clear the handler while it runs; an exception it throws ends the run.
    void SetProgressHandler(ProgressHandler handler);

    // What the last GenerateGallery passed over; empty after a clean run.
    const std::vector<GenerationProblem>& Problems() const;
    // What the last GenerateGallery did besides its pages and pictures.
    const RunSummary& Summary() const;
    // Files the caller read for this gallery besides the fragments (a description file, a
    // template): no output of a run replaces them. LoadTemplate adds its file itself.
    void SetOtherInputs(std::vector<std::string> paths);

private:
    struct State;
    std::unique_ptr<State> state_;
};
