#pragma once

#include "TestSupport.h"

#include "vantrel/Generator.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

// The GeneratorError that `action` throws as "number source: description", or "none".
template <class F>
std::string ErrorText(F&& action) {
    const auto error = testsupport::Thrown<GeneratorError>(action);
    if (!error)
        return "none";
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X ", static_cast<unsigned>(error->Number()));
    return number + error->Source() + ": " + error->Description();
}

// A gallery in a temporary folder: a photo folder, header "<H>" and footer "<F>",
// output folder "out", index.htm, a 2 x 3 table, and a Generator recording events.
class EngineTest : public ::testing::Test {
protected:
    EngineTest() {
        fs::create_directory(photos);
        WriteFile(dir / "header.htm", "<H>");
        WriteFile(dir / "footer.htm", "<F>");
        gallery.SetNavHeaderFilePath(dir / "header.htm");
        gallery.SetNavFooterFilePath(dir / "footer.htm");
        gallery.SetOutputFilename("index.htm");
        gallery.SetPhotoDirectory(photos);
        gallery.SetOutputDirectory(out);
        gallery.SetNumberOfRows(2);
        gallery.SetNumberOfCols(3);
        gallery.SetMaxWidth(4);
        gallery.SetProgressHandler([this](auto type, auto& total, auto& current) {
            events.push_back({type, total, current});
        });
    }

    // Small real JPEGs, so that a run over them is clean.
    void AddPhotos(const std::vector<std::string>& names) {
        static const std::string jpeg = testsupport::MakeJpeg({});
        for (const std::string& name : names)
            WriteFile(photos + "/" + name, jpeg);
    }
    // Changes some of the gallery's settings through `change(settings)`.
    template <class F>
    void Change(F&& change) {
        vantrel::GallerySettings settings = gallery.Settings();
        change(settings);
        gallery.SetSettings(settings);
    }
    std::string Out(const std::string& name) const { return out + "/" + name; }
    std::string Page(const std::string& name) const { return ReadFile(Out(name)); }
    bool Exists(const std::string& name) const { return fs::exists(Out(name)); }

    // CurrentValue of each event of one type.
    std::vector<int> Currents(GenEventTypeEnum type) const {
        std::vector<int> currents;
        for (const auto& [eventType, total, current] : events) {
            if (eventType == type)
                currents.push_back(current);
        }
        return currents;
    }
    std::vector<std::string> ProblemTexts() const {
        std::vector<std::string> texts;
        for (const GenerationProblem& p : gallery.Problems())
            texts.push_back(p.Text());
        return texts;
    }
    // The problems of the last run without their reasons: "Copy of /p/a.jpg: ".
    std::vector<std::string> ProblemHeads() const {
        std::vector<std::string> heads;
        for (const GenerationProblem& p : gallery.Problems())
            heads.push_back(p.Text().substr(0, p.Text().size() - p.reason.size()));
        return heads;
    }

    testsupport::TempDir dir;
    std::string photos = dir / "photos";
    std::string out = dir / "out";
    Generator gallery;
    std::vector<std::array<int, 3>> events; // type, TotalValue, CurrentValue
};

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A JPEG whose scan data depends on `seed`, big enough to be cut short.
inline std::string Picture(int seed, int width, int height) {
    return testsupport::MakeJpeg(
        {.width = width, .height = height, .pixel = [seed](int x, int y, std::uint8_t* c) {
             c[0] = static_cast<std::uint8_t>(x * 5 + seed * 40 + y * 11);
             c[1] = static_cast<std::uint8_t>(y * 7 + seed * 13 + x * y);
             c[2] = static_cast<std::uint8_t>((x * y) ^ seed);
         }});
}

// The gallery's files with their bytes, without the record of what was made (which
// names inodes).
inline std::map<std::string, std::string> FolderBytes(const std::string& folder) {
    std::map<std::string, std::string> bytes;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename() != ".tessary-thumbnails")
            bytes[entry.path().filename().string()] = ReadFile(entry.path().string());
    }
    return bytes;
}

inline const std::string kCannotCreate =
    "0x80040199 Generator::GenerateGallery(): Error: Unable to create output file";
inline const std::string kDescription = "<div name='Description' id='Description'>";
inline const std::string kTable = "<table id='navTable' name='navTable'>\r\n";

// The table cell of the photo `base` + ".jpg", linking to its page.
inline std::string Cell(const std::string& base, const std::string& target = "") {
    return "<td><a href='" + base + ".htm'" + (target.empty() ? "" : " target='" + target + "'") +
           "><img src='" + base + "_tn.jpg'></a></td>\r\n";
}

// A photo page's button line; `kind` is "prev", "home" or "next".
inline std::string Button(const std::string& kind, const std::string& link) {
    return "<input type='image' src='/images/" + kind + "Button.gif' id='" + kind +
           "Button' name='" + kind + "Button' onClick=\"window.location='" + link + "'\">\r\n";
}
