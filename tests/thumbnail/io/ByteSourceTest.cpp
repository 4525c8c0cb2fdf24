#include "io/ByteSource.h"

#include "../filters/Pictures.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace skimlet;

namespace {

// Reads hand out the data in order up to its very end; a peek past the end
// reads zeros there without moving.
TEST(ByteSource, ReadsStopAtTheEndAndPeeksPastItReadZeros) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "small", std::string(1024, 'a'));
    CFileSource small;
    ASSERT_EQ(small.Open(dir / "small"), 0);
    const std::uint8_t* start = small.RemainingData();
    const std::string eof = "11 End of file reached while decoding.\n";
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(small.ReadBytes(100), start + 100 * i);
    EXPECT_EQ(FailureOf([&] { small.ReadBytes(100); }), eof);
    EXPECT_EQ(small.ReadBytes(24), start + 1000); // exactly to the end
    EXPECT_EQ(FailureOf([&] { small.ReadBytes(1); }), eof);

    const std::uint8_t data[3] = {1, 2, 3};
    CMemoryBlockSource source;
    ASSERT_EQ(source.Open(data, 3), 0);
    source.ReadBytes(1);
    const std::uint8_t* peeked = source.PeekBytes(600);
    std::vector<std::uint8_t> expected(600, 0);
    expected[0] = 2, expected[1] = 3;
    EXPECT_EQ(std::vector<std::uint8_t>(peeked, peeked + 600), expected);
    EXPECT_EQ(source.Position(), 1);
}

TEST(ByteSource, FileOpenCodesTellMissingFoldersFilesAndAccess) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "file.jpg", "x");
    testsupport::WriteFile(dir / "empty.jpg", "");
    CFileSource source;
    EXPECT_EQ(source.Open(dir / "missing.jpg"), 4);
    EXPECT_EQ(source.Open(dir / "no-folder/x.jpg"), 3);
    EXPECT_EQ(source.Open(dir / "file.jpg/x.jpg"), 3);
    EXPECT_EQ(source.Open(dir.Path().string()), 4);
    EXPECT_EQ(source.Open(dir / "empty.jpg"), 5);
    EXPECT_FALSE(source.IsOpen());
    // Never blocks on a pipe without a writer, never reads a device.
    ASSERT_EQ(::mkfifo((dir / "fifo.jpg").c_str(), 0600), 0);
    EXPECT_EQ(source.Open(dir / "fifo.jpg"), 4);
    EXPECT_EQ(source.Open("/dev/zero"), 4);
    EXPECT_EQ(source.Open(dir / "file.jpg"), 0);
    ::chmod((dir / "file.jpg").c_str(), 0);
    if (geteuid() != 0) { // permissions do not bind root
        EXPECT_EQ(source.Open(dir / "file.jpg"), 5);
    }
}

TEST(ByteSource, PiecesComeInOrderAndAFileCutWhileReadIsAFailure) {
    testsupport::TempDir dir;
    std::string bytes(300000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 % 251);
    testsupport::WriteFile(dir / "f", bytes);
    const auto readAll = [](CByteSource& source) {
        std::string read;
        std::uint8_t piece[70000];
        while (const std::int64_t n = source.ReadInto(piece, sizeof piece))
            read.append(reinterpret_cast<const char*>(piece), static_cast<std::size_t>(n));
        return read;
    };
    CMemoryBlockSource memory;
    ASSERT_EQ(memory.Open(reinterpret_cast<const std::uint8_t*>(bytes.data()), 300000), 0);
    CFileSource file;
    for (CByteSource* source : std::initializer_list<CByteSource*>{&memory, &file}) {
        ASSERT_EQ(file.Open(dir / "f"), 0);
        EXPECT_EQ(source->PeekBytes(3)[2], bytes[2]);
        EXPECT_EQ(readAll(*source), bytes);
        EXPECT_EQ(source->Position(), 300000);
    }

    // Cut between two pieces, and before the whole file is taken into memory.
    const auto cutError = [&](const std::function<void()>& read) {
        EXPECT_EQ(file.Open(dir / "f"), 0);
        std::uint8_t piece[1000];
        file.ReadInto(piece, sizeof piece);
        EXPECT_EQ(::truncate((dir / "f").c_str(), 5000), 0);
        const std::string failure = FailureOf(read);
        testsupport::WriteFile(dir / "f", bytes);
        return failure;
    };
    const std::string expected =
        "11 Decoder error: " + (dir / "f") + " became shorter while it was being read.\n";
    EXPECT_EQ(cutError([&] { readAll(file); }), expected);
    EXPECT_EQ(cutError([&] { file.RemainingData(); }), expected);
}

} // namespace
