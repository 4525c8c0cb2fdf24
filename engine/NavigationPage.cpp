#include "Escaping.h"
#include "GenerationRun.h"

#include <algorithm>
#include <cstdint>

namespace vantrel {

namespace {

// <td><a href='beach.htm' target='Photos'><img src='beach_tn.jpg'></a></td>
std::string CellLine(const GallerySettings& settings, const PhotoNames& names) {
    const std::string& link = settings.createPageForEachPhoto ? names.page : names.copy;
    std::string line = "<td><a href='" + UrlAttribute(link) + "'";
    if (settings.useFrames)
        line += " target='" + HtmlAttribute(settings.targetFrameName) + "'";
    line += "><img src='" + UrlAttribute(names.thumbnail) + "'></a></td>\r\n";
    return line;
}

} // namespace

void AddThumbsToNav(RunContext& run, OutputFile& page) {
    const GallerySettings& settings = run.settings;
    std::string opening;
    if (!settings.useFrames)
        opening = "<div name='Description' id='Description'>" + settings.description + "</div>";
    opening += "<table id='navTable' name='navTable'>\r\n";
    if (!page.Write(opening))
        return;

    // Rows are written up to the one holding the last photo, which is completed with
    // empty cells; a table of many cells over few photos stays small.
    const std::int64_t rows = settings.numberOfRows;
    const std::int64_t cols = settings.numberOfCols;
    const auto photos = static_cast<std::int64_t>(run.list.photos.size());
    for (std::int64_t row = 0; row < rows && std::max<std::int64_t>(cols, 0) * row < photos;
         ++row) {
        if (!page.Write("<tr>\r\n"))
            return;
        for (std::int64_t col = 0; col < cols; ++col) {
            const std::int64_t index = row * cols + col;
            if (index >= photos) {
                if (!page.Write("<td></td>\r\n"))
                    return;
                continue;
            }
            const auto i = static_cast<std::size_t>(index);
            if (!page.Write(CellLine(settings, run.Names(i))))
                return;
            run.Raise(GenEventAddThumbsToNav, i);
        }
        if (!page.Write("</tr>\r\n"))
            return;
    }
    page.Write("</table>\r\n");
}

} // namespace vantrel
