#pragma once

#include "vantrel/Generator.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The modern page style: HTML5 index and photo pages that reflow on phones, with sized
// images, alt text, 2x thumbnails and display-size copies. Pure functions from what the
// run made to the bytes of each page; they touch no file. Every line break they write
// is CR LF; names are escaped for the context they stand in (file names may hold any
// byte but "/" and NUL); Description stays markup, as in the classic pages.
namespace vantrel {

// One picture the run wrote for a photo. A picture is shown only when it has a name
// and both sides; otherwise its photo gets a text link instead.
struct PictureFile {
    std::string name; // in the output folder; "" when it was not made
    int width = 0;
    int height = 0;

    bool Usable() const { return !name.empty() && width > 0 && height > 0; }
};

struct ModernPhoto {
    std::string photo;                // its copy in the output folder, linked for download
    std::uint64_t photoBytes = 0;     // the copy's size, shown beside that link (0: not shown)
    std::string page;                 // its photo page ("beach.htm")
    PictureFile thumbnail;            // the thumbnail at 1x
    PictureFile twin;                 // the same at 2x, offered through srcset
    std::vector<PictureFile> display; // display copies, smallest first; empty when none
    std::string description;          // the photo's own caption (plain text), "" when none
};

struct ModernSite {
    // Rows x columns is the number of photos per index page. Also read: Description,
    // UseFrames with TargetFrameName, CreatePageForEachPhoto, UseNavButtons, and the
    // photo folder, whose name is the title of Tessary's own header.
    const GallerySettings& settings;
    // The index pages in order, as IndexPageNames gives them or as the run re-planned
    // them against clashes; the first is the navigation page.
    std::vector<std::string> indexPages;
    std::string styleSheet; // the file name the run writes ModernStyleSheet() to
};

// The fragments around a page. A null pointer stands for Tessary's own: a whole HTML5
// document start (DefaultHeader) or end (DefaultFooter). The two are meant as a pair;
// the header opens <main>, which the footer closes. The user's header, whose <head> is
// their own, is followed by a <link rel="stylesheet"> in the body, which HTML5 allows
// and which holds back the rendering of what follows it until the sheet is loaded.
struct PageFrame {
    const std::string* header = nullptr;
    const std::string* footer = nullptr;
};

// Photos per index page: NumberOfRows x NumberOfCols, each counted as at least 1, so
// that every photo has a cell whatever a template says.
std::size_t PhotosPerIndexPage(const GallerySettings& settings);

// The index pages for `photos`, `perPage` to a page, at least one: "index.htm",
// "index-2.htm", "index-3.htm"... (the number goes before the last extension). A later
// page whose name is in `taken` (the other outputs' names) gets the first free "~2",
// "~3"... after its number instead, so that no page overwrites another output; the first
// is always `outputFilename`.
std::vector<std::string> IndexPageNames(const std::string& outputFilename, std::size_t photos,
                                        std::size_t perPage,
                                        const std::vector<std::string>& taken = {});

// The text that stands for a photo: its description with its blanks collapsed, else
// its file name made readable ("beach_at-dusk.jpg" gives "beach at dusk"), else the
// file name itself. Not escaped.
std::string AltText(const ModernPhoto& photo);

// The gallery's title in Tessary's own header: the photo folder's last name.
std::string GalleryTitle(const std::string& photoDirectory);

// Index page `page` (from 0): header, description block (without frames), the grid of
// the page's photos, links to the other index pages, footer.
std::string ModernIndexPage(const ModernSite& site, const std::vector<ModernPhoto>& photos,
                            std::size_t page, const PageFrame& frame);

// The page of photos[index]: header, description block (with frames), the display
// copy with the photo's caption, links to the previous photo, the index page holding
// this one and the next photo (with UseNavButtons), a download link, footer.
std::string ModernPhotoPage(const ModernSite& site, const std::vector<ModernPhoto>& photos,
                            std::size_t index, const PageFrame& frame);

// The style sheet both kinds of page link to: the grid, the links between pages, the
// photo view, and the colours (light and dark) of pages with Tessary's own header.
std::string ModernStyleSheet();

// Tessary's own document start: language "en" (the words these pages add are English),
// a viewport, light and dark colour schemes, `pageTitle` and `summary` (plain text,
// escaped here) as the title and meta description, the style sheet, and the gallery's
// title as the page's heading. Ends inside <main>.
std::string DefaultHeader(const ModernSite& site, std::string_view pageTitle,
                          std::string_view summary);
std::string DefaultFooter();

} // namespace vantrel
