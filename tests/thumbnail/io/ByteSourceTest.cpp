#include "io/ByteSource.h"
#include "bitmaps/TextException.h"
#include "io/ModuleResources.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

using testsupport::Thrown;

struct RecordingObserver : CProgressObserver {
    void ProgressChanged(double fraction) override { seen.push_back(fraction); }
    std::vector<double> seen;
};

void ExpectEndOfData(CByteSource& source, std::int64_t count) {
    const auto e = Thrown<CTextException>([&] { source.ReadBytes(count); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Code(), 11);
    EXPECT_EQ(e->Text(), "End of file reached while decoding.\n");
}

TEST(ByteSource, CountsReadsReportsEachKibibyteAndStopsAtTheEnd) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "small", std::string(1024, 'a'));
    RecordingObserver observer;
    CMappedFileSource small(&observer);
    ASSERT_EQ(small.Open(dir / "small"), 0);
    EXPECT_EQ(small.Name(), dir / "small");
    const std::uint8_t* start = small.RemainingData();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(small.ReadBytes(100), start + 100 * i);
    EXPECT_TRUE(observer.seen.empty());
    ExpectEndOfData(small, 100);
    // The failed read is reported, but never as more than complete.
    EXPECT_EQ(observer.seen, std::vector<double>{1.0});
    EXPECT_EQ(small.Position(), 1000);
    EXPECT_EQ(small.ReadBytes(24), start + 1000);
    ExpectEndOfData(small, 1);

    testsupport::WriteFile(dir / "large", std::string(2048, 'b'));
    observer.seen.clear();
    CMappedFileSource large(&observer);
    ASSERT_EQ(large.Open(dir / "large"), 0);
    for (int i = 0; i < 4; ++i)
        large.ReadBytes(512);
    EXPECT_EQ(observer.seen, (std::vector<double>{0.5, 1.0}));
    large.Close();
    EXPECT_EQ(observer.seen, (std::vector<double>{0.5, 1.0, 1.0}));
    EXPECT_FALSE(large.IsOpen());
}

TEST(ByteSource, PeekingPastTheEndReadsZerosWithoutMoving) {
    const std::uint8_t data[3] = {1, 2, 3};
    CMemoryBlockSource source;
    ASSERT_EQ(source.Open(data, 3), 0);
    EXPECT_EQ(source.Name(), "Mem");
    source.ReadBytes(1);
    const std::uint8_t* peeked = source.PeekBytes(600);
    EXPECT_EQ(std::vector<std::uint8_t>(peeked, peeked + 4),
              (std::vector<std::uint8_t>{2, 3, 0, 0}));
    EXPECT_EQ(std::count(peeked + 2, peeked + 600, 0), 598);
    EXPECT_EQ(source.Position(), 1);
    EXPECT_EQ(source.PeekBytes(2), data + 1); // within the data: no copy
}

TEST(ByteSource, MemoryBlocksRefuseOnlyImpossibleArguments) {
    CMemoryBlockSource source;
    EXPECT_EQ(source.Open(nullptr, 5), 4);
    EXPECT_EQ(source.Open(nullptr, 0), 0);
    EXPECT_EQ(source.Size(), 0);
    EXPECT_EQ(source.PeekBytes(4)[3], 0);
    ExpectEndOfData(source, 1);
}

TEST(ByteSource, FileOpenCodesTellMissingFoldersFilesAndPermissions) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "file.jpg", "x");
    testsupport::WriteFile(dir / "empty.jpg", "");
    CMappedFileSource source;
    EXPECT_EQ(source.Open(dir / "missing.jpg"), 4);
    EXPECT_EQ(source.Open(dir / "no-folder/x.jpg"), 3);
    EXPECT_EQ(source.Open(dir / "file.jpg/x.jpg"), 3);
    EXPECT_EQ(source.Open(dir.Path().string()), 4);
    EXPECT_EQ(source.Open(dir / "empty.jpg"), 5);
    EXPECT_FALSE(source.IsOpen());
    EXPECT_EQ(source.Open(dir / "file.jpg"), 0);
    EXPECT_EQ(source.Size(), 1);
}

TEST(ByteSource, UnreadableFileGivesAccessDenied) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "locked.jpg", "x");
    ::chmod((dir / "locked.jpg").c_str(), 0);
    CMappedFileSource source;
    EXPECT_EQ(source.Open(dir / "locked.jpg"), 5);
}

TEST(ByteSource, ModuleResourcesAreFoundByLowIdBitsAndType) {
    const std::uint8_t bytes[] = {7, 8, 9};
    const ResourceEntry entries[] = {{7, kRawDataResourceType, bytes, 3}, {8, "PNG", bytes, 2}};
    const ResourceModule module{entries, 2};
    EXPECT_EQ(FindModuleResource(module, 7, nullptr), &entries[0]);
    EXPECT_EQ(FindModuleResource(module, 0x10007, "rcdata"), &entries[0]);
    EXPECT_EQ(FindModuleResource(module, 8, nullptr), nullptr);

    CModuleResourceSource source;
    EXPECT_EQ(source.Open(module, 9), 4);
    ASSERT_EQ(source.Open(module, 8, "PNG"), 0);
    EXPECT_EQ(source.Name(), "Resource: 8");
    EXPECT_EQ(source.Size(), 2);

    const ResourceEntry* name = FindModuleResource(SkimletModule(), 100, kStringResourceType);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(name->data), name->size), "Skimlet");
}

} // namespace
