#include "io/ByteSink.h"

#include "../filters/Pictures.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace skimlet;

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;

std::vector<std::string> NamesIn(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void Fill(CByteSink& sink, const std::string& bytes) {
    sink.WriteBytes(static_cast<std::int64_t>(bytes.size()),
                    reinterpret_cast<const std::uint8_t*>(bytes.data()));
}

// The file appears whole at Close, with the umask's permissions (or those of the
// file it replaces); an abandoned sink leaves nothing, and an old file intact.
TEST(ByteSink, FileAppearsOnlyWhenComplete) {
    TempDir dir;
    const mode_t previous = ::umask(027);
    {
        CBufferedFileSink sink;
        ASSERT_EQ(sink.Open(dir / "t.jpg", 10), 0);
        Fill(sink, "abc");
        ASSERT_EQ(NamesIn(dir).size(), 1u);
        EXPECT_EQ(NamesIn(dir)[0].rfind(".t.jpg.", 0), 0u); // hidden, beside the target
        sink.Close();
    }
    ::umask(previous);
    EXPECT_EQ(NamesIn(dir), std::vector<std::string>{"t.jpg"});
    EXPECT_EQ(fs::status(dir.Path() / "t.jpg").permissions(), fs::perms{0640});

    ::chmod((dir / "t.jpg").c_str(), 0604);
    {
        CBufferedFileSink sink;
        ASSERT_EQ(sink.Open(dir / "t.jpg", 10), 0);
        Fill(sink, "new");
    }
    EXPECT_EQ(NamesIn(dir), std::vector<std::string>{"t.jpg"});
    EXPECT_EQ(ReadFile(dir / "t.jpg"), "abc");

    fs::create_symlink(dir / "t.jpg", dir.Path() / "link.jpg");
    CBufferedFileSink sink;
    ASSERT_EQ(sink.Open(dir / "link.jpg", 10), 0);
    Fill(sink, "new");
    sink.Close();
    // The link is replaced; the file it led to is left as it was.
    EXPECT_FALSE(fs::is_symlink(dir.Path() / "link.jpg"));
    EXPECT_EQ(ReadFile(dir / "link.jpg"), "new");
    EXPECT_EQ(ReadFile(dir / "t.jpg"), "abc");
    ASSERT_EQ(sink.Open(dir / "t.jpg", 10), 0);
    sink.Close();
    EXPECT_EQ(fs::status(dir.Path() / "t.jpg").permissions(), fs::perms{0604});
}

TEST(ByteSink, OpenRefusesMissingFoldersAndNonFiles) {
    TempDir dir;
    fs::create_directory(dir.Path() / "sub");
    CBufferedFileSink sink;
    EXPECT_EQ(sink.Open(dir / "missing/t.jpg", 10), -1);
    EXPECT_EQ(sink.Open(dir / "sub", 10), -1);
    EXPECT_EQ(sink.Open("/dev/null", 10), -1);
    EXPECT_EQ(NamesIn(dir), std::vector<std::string>{"sub"});
}

// A write that fails at Close (here the file size limit, as honest a failure as
// a full disk) is reported naming the target and leaves the old file: a large
// one fails as it is written, a small one only when it is flushed.
TEST(ByteSink, FailedWriteAtCloseThrowsAndLeavesTheOldFile) {
    TempDir dir;
    testsupport::WriteFile(dir / "t.jpg", "old");
    for (const int size : {100000, 100}) {
        CBufferedFileSink sink;
        ASSERT_EQ(sink.Open(dir / "t.jpg", size), 0);
        Fill(sink, std::string(static_cast<std::size_t>(size), 'x'));

        rlimit saved{}, small{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        auto* previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        small = {50, saved.rlim_max};
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const std::string text = FailureOf([&] { sink.Close(); });
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        EXPECT_EQ(text.rfind("-1 Decoder error: Writing " + (dir / "t.jpg") + " failed", 0), 0u)
            << size << ": " << text;
        EXPECT_EQ(NamesIn(dir), std::vector<std::string>{"t.jpg"});
        EXPECT_EQ(ReadFile(dir / "t.jpg"), "old");
    }
}

} // namespace
