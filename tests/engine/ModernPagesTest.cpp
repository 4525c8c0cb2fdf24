#include "ModernPages.h"

#include <gtest/gtest.h>

#include <regex>

using namespace vantrel;

namespace {

struct NamesCase {
    std::string output;
    std::size_t photos, perPage;
    std::vector<std::string> taken, expected;
};

TEST(ModernPagesTest, IndexPageNamesCoverEveryPhotoAndAvoidOtherOutputs) {
    const std::vector<NamesCase> cases = {
        {"index.htm", 0, 12, {}, {"index.htm"}},
        {"index.htm", 12, 12, {}, {"index.htm"}},
        {"index.htm", 13, 12, {}, {"index.htm", "index-2.htm"}},
        {"index.htm", 25, 12, {}, {"index.htm", "index-2.htm", "index-3.htm"}},
        {"index.htm", 3, 0, {}, {"index.htm", "index-2.htm", "index-3.htm"}},
        {"my.site/home", 2, 1, {}, {"my.site/home", "my.site/home-2"}},
        {".htm", 2, 1, {}, {".htm", ".htm-2"}},
        {"a.htm", 3, 1, {"a-2.htm", "a-2~2.htm"}, {"a.htm", "a-2~3.htm", "a-3.htm"}},
    };
    for (const NamesCase& c : cases)
        EXPECT_EQ(IndexPageNames(c.output, c.photos, c.perPage, c.taken), c.expected) << c.output;
}

// A gallery of `count` photos "p0.jpg"..., rows x cols to an index page.
struct Gallery {
    GallerySettings settings;
    std::vector<ModernPhoto> photos;
    ModernSite site{settings, {}, "tessary.css"};

    Gallery(std::size_t count, std::int16_t rows, std::int16_t cols) {
        settings.outputFilename = "index.htm";
        settings.photoDirectory = "/home/ann/Trip <2024>/";
        settings.numberOfRows = rows;
        settings.numberOfCols = cols;
        for (std::size_t i = 0; i < count; ++i) {
            const std::string n = "p" + std::to_string(i);
            photos.push_back({n + ".jpg",
                              0,
                              n + ".htm",
                              {n + "_tn.jpg", 120, 90},
                              {n + "_tn2.jpg", 240, 180},
                              {{n + "_1280.jpg", 1280, 960}, {n + "_2560.jpg", 2560, 1920}},
                              ""});
        }
        site.indexPages = IndexPageNames("index.htm", count, PhotosPerIndexPage(settings));
    }
};

std::vector<std::string> Matches(const std::string& html, const std::string& pattern) {
    std::vector<std::string> found;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(html.begin(), html.end(), re); it != std::sregex_iterator();
         ++it)
        found.push_back(it->str(it->size() > 1 ? 1 : 0));
    return found;
}

TEST(ModernPagesTest, EveryImageIsSizedDescribedAndLazyOnlyBelowTheFirstScreen) {
    Gallery g(12, 4, 3);
    const std::string index = ModernIndexPage(g.site, g.photos, 0, {});
    const std::vector<std::string> images = Matches(index, "<img [^>]*>");
    ASSERT_EQ(images.size(), 12u);
    for (std::size_t i = 0; i < images.size(); ++i) {
        const std::string n = "p" + std::to_string(i);
        EXPECT_EQ(images[i], "<img src=\"" + n + "_tn.jpg\" srcset=\"" + n +
                                 "_tn2.jpg 2x\" width=\"120\" height=\"90\" alt=\"" + n +
                                 "\" decoding=\"async\"" + (i < 3 ? "" : " loading=\"lazy\"") +
                                 ">");
    }
    const std::string page = ModernPhotoPage(g.site, g.photos, 4, {});
    EXPECT_EQ(
        Matches(page, "<img [^>]*(width=\"1280\" height=\"960\" alt=\"p4\" decoding=\"async\")"),
        std::vector<std::string>{"width=\"1280\" height=\"960\" alt=\"p4\" decoding=\"async\""});
    EXPECT_EQ(page.find("loading="), std::string::npos);
}

TEST(ModernPagesTest, HostileNamesAndDescriptionsAreEscaped) {
    Gallery g(1, 1, 1);
    ModernPhoto& photo = g.photos[0];
    photo.photo = "x\" onerror=\"alert(1)_<b>.jpg";
    photo.page = "x\" onerror=\"alert(1)_<b>.htm";
    photo.twin.name = "a,b 2x.jpg"; // a comma would end a srcset candidate
    const std::string header = "<h>", footer = "<f>";
    const struct {
        std::string description, alt;
    } cases[] = {
        {"", "x&quot; onerror=&quot;alert(1) &lt;b&gt;"},
        {"  <script>alert('hi')</script>\r\n & more ", "&lt;script&gt;alert(&#39;hi&#39;)&lt;/"
                                                       "script&gt; &amp; more"},
    };
    for (const auto& c : cases) {
        photo.description = c.description;
        for (const std::string& html : {ModernIndexPage(g.site, g.photos, 0, {&header, &footer}),
                                        ModernPhotoPage(g.site, g.photos, 0, {})}) {
            EXPECT_NE(html.find("alt=\"" + c.alt + "\""), std::string::npos) << html;
            EXPECT_EQ(html.find("\" onerror"), std::string::npos) << html;
            EXPECT_EQ(html.find("<script>alert"), std::string::npos) << html;
            EXPECT_EQ(html.find("<b>"), std::string::npos) << html;
        }
    }
    const std::string index = ModernIndexPage(g.site, g.photos, 0, {&header, &footer});
    EXPECT_NE(index.find("srcset=\"a%2Cb%202x.jpg 2x\""), std::string::npos);
    EXPECT_EQ(index.substr(0, 3), header);
    EXPECT_EQ(index.substr(index.size() - 3), footer);
    // Tessary's own header is titled with the folder's name, escaped.
    EXPECT_NE(ModernPhotoPage(g.site, g.photos, 0, {}).find("<h1>Trip &lt;2024&gt;</h1>"),
              std::string::npos);
}

} // namespace
