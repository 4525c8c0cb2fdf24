// Where the wizard's Read Me button looks: beside the program in a build tree,
// under the data folder when installed.

#include "IntroPage.h"
#include "TestSupport.h"

#include <QFileInfo>
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

namespace fs = std::filesystem;

TEST(ReadmePath, BesideTheProgramFirstThenWhereInstalledThenTheProgramsFolder) {
    // Which files exist, and whether the installed one is found.
    const std::tuple<bool, bool, bool> cases[] = {
        {true, false, false},  // build tree
        {false, true, true},   // installed
        {true, true, false},   // both: the build tree wins
        {false, false, false}, // neither: named beside the program
    };
    for (const auto& [hasBeside, hasInstalled, expectInstalled] : cases) {
        SCOPED_TRACE(testing::Message() << hasBeside << hasInstalled);
        testsupport::TempDir prefix;
        const fs::path bin = prefix.Path() / "bin";
        const fs::path beside = bin / "readme.txt";
        const fs::path installed = fs::weakly_canonical(bin / TESSARY_INSTALLED_README);
        fs::create_directories(installed.parent_path());
        fs::create_directories(bin);
        if (hasBeside)
            testsupport::WriteFile(beside.string(), "beside");
        if (hasInstalled)
            testsupport::WriteFile(installed.string(), "installed");

        const QString found = IntroPage::ReadmePath(QString::fromStdString(bin.string()));
        EXPECT_EQ(fs::weakly_canonical(found.toStdString()),
                  expectInstalled ? installed : fs::weakly_canonical(beside));
    }
}
