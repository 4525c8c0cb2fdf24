#pragma once

// A gallery's settings as one value, and the one list of them: for each setting its
// field, its template element, its tessary-make option and its control in the wizard.
// The template reader and writer, tessary-make's options and the wizard's load and
// store all work through the list, so a new setting is a field, a row and what it does.

#include <cstdint>
#include <string>
#include <variant>

namespace vantrel {

// How the pages are written: the classic pages, or modern ones that reflow on phones.
enum class PageStyle { Classic, Modern };
// The style's name in templates and options, by its value.
inline constexpr const char* kPageStyleNames[] = {"classic", "modern"};

// The settings of a gallery as one value, with a new Generator's defaults, and how a
// run goes about making it.
struct GallerySettings {
    std::string navHeaderFilePath;
    std::string navFooterFilePath;
    std::string imgHeaderFilePath;
    std::string imgFooterFilePath;
    std::string outputFilename;
    std::string description;
    std::string photoDirectory;
    std::string outputDirectory;
    std::string targetFrameName = "Photos";
    std::int16_t numberOfRows = 0;
    std::int16_t numberOfCols = 0;
    std::int16_t maxWidth = 0;
    std::int16_t maxHeight = 0;
    bool useNavButtons = true;
    bool useFrames = false;
    bool createPageForEachPhoto = true;
    PageStyle pageStyle = PageStyle::Classic;
    bool stripLocation = false; // copies published without the photos' locations
    // Not part of a template: how a run goes, not what it makes.
    std::int16_t jobs = 0;       // worker threads; 0 is one per core
    bool rebuild = false;        // make every output anew, none kept from an earlier run
    bool fastThumbnails = false; // thumbnails decoded at a reduced scale: quicker, not exact

    friend bool operator==(const GallerySettings&, const GallerySettings&) = default;
};

// One row of the list of settings.
struct Setting {
    using Field = std::variant<std::string GallerySettings::*, std::int16_t GallerySettings::*,
                               bool GallerySettings::*, PageStyle GallerySettings::*>;
    // How a template holds the setting.
    enum class Stored {
        Always,     // an element with the value; required, with content, on load
        IfSet,      // an element, empty for an empty value; its content optional on load
        Markup,     // as IfSet, and read back as the markup inside the element
        NotDefault, // an element only when the value is not the default; none is the default
    };
    // Whether a run can go without it (texts only; numbers have their range).
    enum class Required { No, Always, ClassicStyle };

    Field field;
    const char* element;
    Stored stored;
    const char* option;    // tessary-make's --option; a flag has --no-option as well
    const char* valueName; // what the option takes, as --help shows it; "" for a flag
    const char* help;      // --help's text; a flag's tells what its non-default form does
    Required required;
    const char* control;     // the wizard's control on the configuration page, or ""
    const char* what = "";   // a number or choice as messages name it: "number of rows"
    std::int16_t lowest = 0; // a number: the values a gallery can be made with
    std::int16_t highest = 32767;
};

// In the order of the template file.
inline constexpr Setting kSettings[] = {
    {&GallerySettings::useFrames, "UseFrames", Setting::Stored::Always, "frames", "",
     "links open in the frame named by --target-frame", Setting::Required::No, ""},
    {&GallerySettings::navHeaderFilePath, "NavHeader", Setting::Stored::Always, "nav-header",
     "FILE", "HTML above the thumbnail table", Setting::Required::ClassicStyle, "txtNavHeader"},
    {&GallerySettings::navFooterFilePath, "NavFooter", Setting::Stored::Always, "nav-footer",
     "FILE", "HTML below the thumbnail table", Setting::Required::ClassicStyle, "txtNavFooter"},
    {&GallerySettings::outputFilename, "OutputFilename", Setting::Stored::Always, "output-file",
     "NAME", "file name of the navigation page", Setting::Required::Always, "txtOutputFile"},
    {&GallerySettings::outputDirectory, "OutputDirectory", Setting::Stored::Always, "output-dir",
     "DIR", "folder that receives the gallery", Setting::Required::Always, "txtOutputDir"},
    {&GallerySettings::photoDirectory, "PhotoDirectory", Setting::Stored::Always, "photo-dir",
     "DIR", "folder of the photos (*.jpg, *.JPG)", Setting::Required::Always, "txtPhotoDir"},
    {&GallerySettings::numberOfRows, "NumberOfRows", Setting::Stored::Always, "rows", "N",
     "rows of the thumbnail table", Setting::Required::No, "txtRows", "number of rows", 1},
    {&GallerySettings::numberOfCols, "NumberOfCols", Setting::Stored::Always, "columns", "N",
     "columns of the thumbnail table", Setting::Required::No, "txtColumns", "number of columns", 1},
    {&GallerySettings::maxWidth, "MaxWidth", Setting::Stored::Always, "thumb-width", "PX",
     "thumbnail width; height follows the photo", Setting::Required::No, "", "thumbnail width"},
    {&GallerySettings::maxHeight, "MaxHeight", Setting::Stored::Always, "thumb-height", "PX",
     "thumbnail height; width follows the photo", Setting::Required::No, "", "thumbnail height"},
    {&GallerySettings::useNavButtons, "UseNavButtons", Setting::Stored::Always, "buttons", "",
     "no previous/home/next buttons on photo pages", Setting::Required::No, "chkUseButtons"},
    {&GallerySettings::createPageForEachPhoto, "CreatePageForEachPhoto", Setting::Stored::Always,
     "photo-pages", "", "link the thumbnails to the photos themselves", Setting::Required::No,
     "chkPagePerPhoto"},
    {&GallerySettings::imgHeaderFilePath, "ImgHeader", Setting::Stored::IfSet, "photo-header",
     "FILE", "HTML before each photo [the navigation header]", Setting::Required::No,
     "txtMainHeader"},
    {&GallerySettings::imgFooterFilePath, "ImgFooter", Setting::Stored::IfSet, "photo-footer",
     "FILE", "HTML after each photo [the navigation footer]", Setting::Required::No,
     "txtMainFooter"},
    {&GallerySettings::description, "Description", Setting::Stored::Markup, "description", "HTML",
     "text above the table (photo pages with --frames)", Setting::Required::No, "txtDescription"},
    {&GallerySettings::targetFrameName, "TargetFrame", Setting::Stored::IfSet, "target-frame",
     "NAME", "frame the links open in with --frames", Setting::Required::No, ""},
    {&GallerySettings::pageStyle, "PageStyle", Setting::Stored::NotDefault, "style", "STYLE",
     "classic or modern (reflows on phones)", Setting::Required::No, "cboPageStyle", "page style"},
    {&GallerySettings::stripLocation, "StripLocation", Setting::Stored::NotDefault,
     "strip-location", "", "publish copies without the photos' locations", Setting::Required::No,
     "chkStripLocation"},
};

} // namespace vantrel
