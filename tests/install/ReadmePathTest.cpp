// Where the wizard's Read Me button looks: beside the program in a build tree,
// under the data folder when installed.

#include "IntroPage.h"
#include "TestSupport.h"

#include <QFileInfo>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(ReadmePath, BesideTheProgramFirstThenWhereInstalledThenTheProgramsFolder) {
    struct Case {
        const char* name;
        bool beside;
        bool installed;
        bool expectInstalled;
    };
    const Case cases[] = {
        {"build tree", true, false, false},
        {"installed", false, true, true},
        {"both: the build tree wins", true, true, false},
        {"neither: named beside the program", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir prefix;
        const fs::path bin = prefix.Path() / "bin";
        const fs::path beside = bin / "readme.txt";
        const fs::path installed = fs::weakly_canonical(bin / TESSARY_INSTALLED_README);
        fs::create_directories(installed.parent_path());
        fs::create_directories(bin);
        if (c.beside)
            testsupport::WriteFile(beside.string(), "beside");
        if (c.installed)
            testsupport::WriteFile(installed.string(), "installed");

        const QString found = IntroPage::ReadmePath(QString::fromStdString(bin.string()));
        EXPECT_EQ(fs::weakly_canonical(found.toStdString()),
                  c.expectInstalled ? installed : fs::weakly_canonical(beside));
    }
}
