#pragma once

#include "TestSupport.h"

#include "vantrel/Generator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

// A gallery in a temporary folder: a photo folder, header "<H>" and footer "<F>",
// output folder "out", index.htm, a 2 x 3 table, and a Generator recording events.
class EngineTest : public ::testing::Test {
protected:
    struct Event {
        GenEventTypeEnum type;
        int total;
        int current;
        bool operator==(const Event&) const = default;
    };

    EngineTest() {
        std::filesystem::create_directory(photos);
        testsupport::WriteFile(dir / "header.htm", "<H>");
        testsupport::WriteFile(dir / "footer.htm", "<F>");
        gallery.SetNavHeaderFilePath(dir / "header.htm");
        gallery.SetNavFooterFilePath(dir / "footer.htm");
        gallery.SetOutputFilename("index.htm");
        gallery.SetPhotoDirectory(photos);
        gallery.SetOutputDirectory(out);
        gallery.SetNumberOfRows(2);
        gallery.SetNumberOfCols(3);
        gallery.SetMaxWidth(4);
        gallery.SetProgressHandler(
            [this](GenEventTypeEnum type, const std::int16_t& total, const std::int16_t& current) {
                events.push_back({type, total, current});
            });
    }

    // A small real JPEG, so that a run over it is clean.
    void AddPhoto(const std::string& name) {
        static const std::string jpeg = testsupport::MakeJpeg({});
        testsupport::WriteFile(photos + "/" + name, jpeg);
    }
    void AddPhotos(const std::vector<std::string>& names) {
        for (const std::string& name : names)
            AddPhoto(name);
    }
    std::string Out(const std::string& name) const { return out + "/" + name; }
    std::string Page(const std::string& name) const { return testsupport::ReadFile(Out(name)); }
    bool Exists(const std::string& name) const { return std::filesystem::exists(Out(name)); }

    std::vector<int> Currents(GenEventTypeEnum type) const {
        std::vector<int> currents;
        for (const Event& event : events) {
            if (event.type == type)
                currents.push_back(event.current);
        }
        return currents;
    }

    // The thrown error's number, source and description.
    template <typename Action>
    static GeneratorError ErrorOf(Action action) {
        try {
            action();
        } catch (const GeneratorError& error) {
            return error;
        }
        ADD_FAILURE() << "no GeneratorError";
        return GeneratorError(0, "", "");
    }

    testsupport::TempDir dir;
    std::string photos = dir / "photos";
    std::string out = dir / "out";
    Generator gallery;
    std::vector<Event> events;
};

inline std::string Cell(const std::string& link, const std::string& thumbnail,
                        const std::string& target = "") {
    return "<td><a href='" + link + "'" + (target.empty() ? "" : " target='" + target + "'") +
           "><img src='" + thumbnail + "'></a></td>\r\n";
}
