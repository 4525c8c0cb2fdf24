#include "ModernPages.h"

#include "Escaping.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

namespace vantrel {

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kEnDash = " \xE2\x80\x93 ";

// Text between elements needs the same five characters escaped as an attribute value.
std::string HtmlText(std::string_view text) {
    return HtmlAttribute(text);
}

// A URL in srcset, where a comma at either end of a candidate would be taken for the
// list's separator.
std::string SrcsetUrl(std::string_view name) {
    std::string url;
    for (const char c : UrlEncode(name)) {
        if (c == ',')
            url += "%2C";
        else
            url += c;
    }
    return HtmlAttribute(url);
}

bool IsBlank(unsigned char c) {
    return c <= 0x20 || c == 0x7F;
}

// Runs of blanks and control characters become one space; none at either end.
std::string CollapseBlanks(std::string_view text) {
    std::string out;
    bool pendingSpace = false;
    for (const char c : text) {
        if (IsBlank(static_cast<unsigned char>(c))) {
            pendingSpace = !out.empty();
            continue;
        }
        if (pendingSpace)
            out += ' ';
        pendingSpace = false;
        out += c;
    }
    return out;
}

// The text of a markup fragment: its tags dropped, entities left as they are.
std::string TextOfMarkup(std::string_view markup) {
    std::string text;
    bool inTag = false;
    for (const char c : markup) {
        if (c == '<')
            inTag = true;
        else if (c == '>' && inTag)
            inTag = false, text += ' ';
        else if (!inTag)
            text += c;
    }
    return CollapseBlanks(text);
}

// A meta description from text whose "&"s are already entities or stand alone.
std::string MarkupTextAttribute(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '"')
            out += "&quot;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

std::string SizeText(std::uint64_t bytes) {
    char text[32];
    if (bytes < 1000)
        std::snprintf(text, sizeof text, "%u bytes", static_cast<unsigned>(bytes));
    else if (bytes < 1000 * 1000)
        std::snprintf(text, sizeof text, "%u KB", static_cast<unsigned>((bytes + 500) / 1000));
    else if (bytes < 1000ULL * 1000 * 1000)
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    else
        std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / 1e9);
    return text;
}

std::string Attribute(const char* name, std::string_view escapedValue) {
    return std::string(" ") + name + "=\"" + std::string(escapedValue) + "\"";
}

std::string SizeAttributes(const PictureFile& picture) {
    return Attribute("width", std::to_string(picture.width)) +
           Attribute("height", std::to_string(picture.height));
}

std::string IndexPageAt(const ModernSite& site, std::size_t page) {
    if (site.indexPages.empty())
        return site.settings.outputFilename;
    return site.indexPages[std::min(page, site.indexPages.size() - 1)];
}

// Tessary's own document start, given a title and a summary already escaped.
std::string DocumentStart(const ModernSite& site, const std::string& title,
                          const std::string& summary) {
    std::string html =
        "<!DOCTYPE html>\r\n"
        "<html lang=\"en\">\r\n"
        "<head>\r\n"
        "<meta charset=\"utf-8\">\r\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\r\n"
        "<meta name=\"color-scheme\" content=\"light dark\">\r\n";
    html += "<title>" + title + "</title>" + kCrLf;
    html += "<meta name=\"description\" content=\"" + summary + "\">" + kCrLf;
    html += "<link rel=\"icon\" href=\"data:,\">\r\n";
    html += "<link rel=\"stylesheet\" href=\"" + UrlAttribute(site.styleSheet) + "\">" + kCrLf;
    html += "</head>\r\n<body class=\"tessary\">\r\n";
    html += "<header><h1>" + HtmlText(GalleryTitle(site.settings.photoDirectory)) +
            "</h1></header>" + kCrLf;
    return html + "<main>" + kCrLf;
}

// The header, and the style sheet after a header of the user's own.
std::string Opening(const ModernSite& site, const PageFrame& frame, const std::string& title,
                    const std::string& summary) {
    if (!frame.header)
        return DocumentStart(site, title, summary);
    return *frame.header + "<link rel=\"stylesheet\" href=\"" + UrlAttribute(site.styleSheet) +
           "\">" + kCrLf;
}

std::string Closing(const PageFrame& frame) {
    return frame.footer ? *frame.footer : DefaultFooter();
}

std::string DescriptionBlock(const GallerySettings& settings) {
    if (settings.description.empty())
        return "";
    return "<div id=\"Description\">" + settings.description + "</div>" + kCrLf;
}

std::string FrameTarget(const GallerySettings& settings) {
    return settings.useFrames ? Attribute("target", HtmlAttribute(settings.targetFrameName)) : "";
}

// <li><a href="beach.htm"><img src="beach_tn.jpg" srcset="beach_tn2.jpg 2x" ...></a></li>
std::string Cell(const GallerySettings& settings, const ModernPhoto& photo, bool eager) {
    const std::string& link = settings.createPageForEachPhoto ? photo.page : photo.photo;
    const std::string alt = HtmlText(AltText(photo));
    std::string cell = "<li><a href=\"" + UrlAttribute(link) + "\"" + FrameTarget(settings);
    if (!photo.thumbnail.Usable())
        return cell + " class=\"tessary-text\">" + alt + "</a></li>" + kCrLf;
    cell += "><img src=\"" + UrlAttribute(photo.thumbnail.name) + "\"";
    if (photo.twin.Usable())
        cell += " srcset=\"" + SrcsetUrl(photo.twin.name) + " 2x\"";
    cell += SizeAttributes(photo.thumbnail) + Attribute("alt", alt) + " decoding=\"async\"";
    if (!eager)
        cell += " loading=\"lazy\"";
    return cell + "></a></li>" + kCrLf;
}

// Previous, the first and last pages, the two either side of this one, next.
std::string PageLinks(const ModernSite& site, std::size_t page) {
    const std::size_t pages = site.indexPages.size();
    const auto link = [&](std::size_t to, const std::string& rel, const std::string& text) {
        const std::string relation = rel.empty() ? "" : Attribute("rel", rel);
        return "<a" + relation + " href=\"" + UrlAttribute(site.indexPages[to]) + "\">" + text +
               "</a>" + kCrLf;
    };
    std::string nav =
        std::string("<nav class=\"tessary-pages\" aria-label=\"Index pages\">") + kCrLf;
    if (page > 0)
        nav += link(page - 1, "prev", "<span aria-hidden=\"true\">&larr; </span>Previous");
    bool gap = false;
    for (std::size_t p = 0; p < pages; ++p) {
        const bool shown = p == 0 || p + 1 == pages || (p + 2 >= page && p <= page + 2);
        if (!shown) {
            if (!gap)
                nav += std::string("<span class=\"tessary-gap\">&hellip;</span>") + kCrLf;
            gap = true;
            continue;
        }
        gap = false;
        if (p == page)
            nav += "<span aria-current=\"page\">" + std::to_string(p + 1) + "</span>" + kCrLf;
        else
            nav += link(p, "", std::to_string(p + 1));
    }
    if (page + 1 < pages)
        nav += link(page + 1, "next", "Next<span aria-hidden=\"true\"> &rarr;</span>");
    return nav + "</nav>" + kCrLf;
}

std::vector<const PictureFile*> UsableCopies(const ModernPhoto& photo) {
    std::vector<const PictureFile*> copies;
    for (const PictureFile& copy : photo.display) {
        if (copy.Usable())
            copies.push_back(&copy);
    }
    return copies;
}

// The display copies at the width they take: the page's column on a wide screen, the
// whole width on a narrow one.
std::string PhotoFigure(const ModernPhoto& photo) {
    const std::string alt = HtmlText(AltText(photo));
    const std::vector<const PictureFile*> copies = UsableCopies(photo);
    std::string figure = std::string("<figure class=\"tessary-photo\">") + kCrLf;
    if (copies.empty()) {
        figure += "<a class=\"tessary-text\" href=\"" + UrlAttribute(photo.photo) + "\">" + alt +
                  "</a>" + kCrLf;
    } else {
        figure += "<img src=\"" + UrlAttribute(copies.front()->name) + "\"";
        if (copies.size() > 1) {
            figure += " srcset=\"";
            for (std::size_t i = 0; i < copies.size(); ++i) {
                figure += (i ? ", " : "") + SrcsetUrl(copies[i]->name) + " " +
                          std::to_string(copies[i]->width) + "w";
            }
            figure += "\" sizes=\"(min-width: 1280px) 1280px, 100vw\"";
        }
        figure += SizeAttributes(*copies.front()) + Attribute("alt", alt) +
                  " decoding=\"async\" fetchpriority=\"high\">" + kCrLf;
    }
    const std::string caption = CollapseBlanks(photo.description);
    if (!caption.empty())
        figure += "<figcaption>" + HtmlText(caption) + "</figcaption>" + kCrLf;
    return figure + "</figure>" + kCrLf;
}

// The arrow keys follow the previous and next links, unless the visitor is typing.
constexpr const char* kArrowKeys =
    "<script>addEventListener(\"keydown\",function(e){var t=e.target,r={ArrowLeft:\"prev\","
    "ArrowRight:\"next\"}[e.key],a;if(!r||e.altKey||e.ctrlKey||e.metaKey||e.shiftKey||"
    "e.defaultPrevented||t.isContentEditable||/^(INPUT|TEXTAREA|SELECT)$/.test(t.tagName))"
    "return;a=document.querySelector(\".tessary-nav a[rel=\"+r+\"]\");if(a)a.click()})"
    "</script>";

std::string PhotoLinks(const ModernSite& site, const std::vector<ModernPhoto>& photos,
                       std::size_t index) {
    std::string nav = std::string("<nav class=\"tessary-nav\" aria-label=\"Photos\">") + kCrLf;
    if (index > 0)
        nav += "<a rel=\"prev\" href=\"" + UrlAttribute(photos[index - 1].page) +
               "\"><span aria-hidden=\"true\">&larr; </span>Previous</a>" + kCrLf;
    const std::size_t page = index / PhotosPerIndexPage(site.settings);
    nav += "<a href=\"" + UrlAttribute(IndexPageAt(site, page)) + "\">Index</a>" + kCrLf;
    if (index + 1 < photos.size())
        nav += "<a rel=\"next\" href=\"" + UrlAttribute(photos[index + 1].page) +
               "\">Next<span aria-hidden=\"true\"> &rarr;</span></a>" + kCrLf;
    return nav + "</nav>" + kCrLf + kArrowKeys + kCrLf;
}

std::string Download(const ModernPhoto& photo) {
    std::string line = "<p class=\"tessary-download\"><a href=\"" + UrlAttribute(photo.photo) +
                       "\" download>Download the photo</a>";
    if (photo.photoBytes > 0)
        line += " (" + SizeText(photo.photoBytes) + ")";
    return line + "</p>" + kCrLf;
}

} // namespace

std::size_t PhotosPerIndexPage(const GallerySettings& settings) {
    const auto atLeastOne = [](std::int16_t n) { return static_cast<std::size_t>(n < 1 ? 1 : n); };
    return atLeastOne(settings.numberOfRows) * atLeastOne(settings.numberOfCols);
}

std::vector<std::string> IndexPageNames(const std::string& outputFilename, std::size_t photos,
                                        std::size_t perPage,
                                        const std::vector<std::string>& taken) {
    perPage = std::max<std::size_t>(perPage, 1);
    const std::size_t pages = std::max<std::size_t>((photos + perPage - 1) / perPage, 1);
    // The number goes before the extension of the last name, never into a folder's name
    // or in front of a leading dot.
    const std::size_t slash = outputFilename.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = outputFilename.rfind('.');
    if (dot == std::string::npos || dot <= nameStart)
        dot = outputFilename.size();
    const std::string stem = outputFilename.substr(0, dot);
    const std::string extension = outputFilename.substr(dot);
    std::unordered_set<std::string> used(taken.begin(), taken.end());
    used.insert(outputFilename);
    std::vector<std::string> names{outputFilename};
    for (std::size_t page = 2; page <= pages; ++page) {
        const std::string numbered = stem + "-" + std::to_string(page);
        std::string name = numbered + extension;
        for (std::size_t clash = 2; used.count(name) != 0; ++clash)
            name = numbered + "~" + std::to_string(clash) + extension;
        used.insert(name);
        names.push_back(name);
    }
    return names;
}

std::string AltText(const ModernPhoto& photo) {
    std::string text = CollapseBlanks(photo.description);
    if (!text.empty())
        return text;
    const std::size_t dot = photo.photo.rfind('.');
    std::string stem = photo.photo.substr(0, dot == 0 ? photo.photo.size() : dot);
    std::replace_if(
        stem.begin(), stem.end(), [](char c) { return c == '_' || c == '-'; }, ' ');
    text = CollapseBlanks(stem);
    return text.empty() ? photo.photo : text;
}

std::string GalleryTitle(const std::string& photoDirectory) {
    std::string folder = photoDirectory;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    const std::size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? folder : folder.substr(slash + 1);
    return folder.empty() || folder == "." || folder == ".." ? "Photos" : folder;
}

std::string ModernIndexPage(const ModernSite& site, const std::vector<ModernPhoto>& photos,
                            std::size_t page, const PageFrame& frame) {
    const GallerySettings& settings = site.settings;
    const std::size_t perPage = PhotosPerIndexPage(settings);
    const std::size_t pages = std::max<std::size_t>(site.indexPages.size(), 1);
    const std::size_t first = std::min(page, pages - 1) * perPage;
    const std::size_t end = std::min(photos.size(), first + perPage);

    std::string title = GalleryTitle(settings.photoDirectory);
    if (pages > 1)
        title += ", page " + std::to_string(page + 1) + " of " + std::to_string(pages);
    // Description is markup: its text keeps its entities.
    std::string summary = MarkupTextAttribute(TextOfMarkup(settings.description));
    if (summary.empty())
        summary = "A gallery of " + std::to_string(photos.size()) + " photos.";
    std::string html = Opening(site, frame, HtmlText(title), summary);
    if (!settings.useFrames)
        html += DescriptionBlock(settings);

    if (first < end) {
        // The cells are as wide as the page's widest thumbnail; the columns as many as
        // fit, up to NumberOfCols.
        int cell = settings.maxWidth > 0 ? settings.maxWidth : 160;
        int widest = 0;
        for (std::size_t i = first; i < end; ++i) {
            if (photos[i].thumbnail.Usable())
                widest = std::max(widest, photos[i].thumbnail.width);
        }
        if (widest > 0)
            cell = widest;
        const int columns = std::max<int>(settings.numberOfCols, 1);
        const std::size_t eager = std::max(columns, 3);
        html += "<ul class=\"tessary-grid\" style=\"--cols:" + std::to_string(columns) +
                ";--cell:" + std::to_string(cell) + "px\">" + kCrLf;
        for (std::size_t i = first; i < end; ++i)
            html += Cell(settings, photos[i], i - first < eager);
        html += std::string("</ul>") + kCrLf;
    }
    if (site.indexPages.size() > 1)
        html += PageLinks(site, std::min(page, pages - 1));
    return html + Closing(frame);
}

std::string ModernPhotoPage(const ModernSite& site, const std::vector<ModernPhoto>& photos,
                            std::size_t index, const PageFrame& frame) {
    const GallerySettings& settings = site.settings;
    const ModernPhoto& photo = photos.at(index);
    const std::string alt = AltText(photo);
    std::string html =
        Opening(site, frame, HtmlText(alt + kEnDash + GalleryTitle(settings.photoDirectory)),
                HtmlAttribute("Photo " + std::to_string(index + 1) + " of " +
                              std::to_string(photos.size()) + ": " + alt));
    if (settings.useFrames)
        html += DescriptionBlock(settings);
    html += PhotoFigure(photo);
    if (settings.useNavButtons)
        html += PhotoLinks(site, photos, index);
    html += Download(photo);
    return html + Closing(frame);
}

std::string DefaultHeader(const ModernSite& site, std::string_view pageTitle,
                          std::string_view summary) {
    return DocumentStart(site, HtmlText(pageTitle), HtmlAttribute(summary));
}

std::string DefaultFooter() {
    return "</main>\r\n</body>\r\n</html>\r\n";
}

std::string ModernStyleSheet() {
    // Parts of a page of the user's own take its colours (currentColor); the colours
    // below apply under Tessary's own header only.
    static const char* const kLines[] = {
        ".tessary{margin:0;font:1rem/1.5 system-ui,sans-serif;color:#1f2328;background:#fff}",
        ".tessary a{color:#0b57d0}",
        "@media (prefers-color-scheme:dark){.tessary{color:#e8e6e3;background:#16181b}"
        ".tessary a{color:#8ab4f8}}",
        ".tessary>header,.tessary>main{max-width:80rem;margin:0 auto;padding:0 1rem}",
        ".tessary>header h1{margin:0;padding:1rem 0 .5rem;font-size:1.5rem;line-height:1.2;"
        "overflow-wrap:anywhere}",
        ".tessary-grid{--gap:1rem;list-style:none;margin:1rem auto;padding:0;display:grid;"
        "gap:var(--gap);grid-template-columns:repeat(auto-fill,minmax(min(100%,var(--cell)),1fr));"
        "max-width:calc(var(--cols)*var(--cell) + (var(--cols) - 1)*var(--gap))}",
        ".tessary-grid li{display:flex;align-items:center;justify-content:center;min-width:0}",
        ".tessary-grid a{display:block;max-width:100%}",
        ".tessary-grid img,.tessary-photo img{display:block;max-width:100%;height:auto}",
        ".tessary-text{overflow-wrap:anywhere}",
        ".tessary-pages,.tessary-nav{display:flex;flex-wrap:wrap;justify-content:center;"
        "align-items:center;gap:.5rem;margin:1rem 0}",
        ".tessary-pages a,.tessary-pages [aria-current],.tessary-nav a{min-width:2.75rem;"
        "padding:.5rem .75rem;border:1px solid;border-radius:.375rem;text-align:center}",
        ".tessary-pages [aria-current]{font-weight:bold}",
        ".tessary-photo{margin:1rem 0;text-align:center}",
        ".tessary-photo img{margin:0 auto;max-height:80vh;object-fit:contain}",
        ".tessary-photo figcaption{margin-top:.5rem;overflow-wrap:anywhere}",
        ".tessary-download{text-align:center;overflow-wrap:anywhere}",
    };
    std::string css;
    for (const char* line : kLines)
        css += std::string(line) + kCrLf;
    return css;
}

} // namespace vantrel
