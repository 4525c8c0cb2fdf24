#include "EngineFixture.h"
#include "OrderedWork.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <numeric>
#include <stdexcept>
#include <sys/resource.h>
#include <thread>
#include <tuple>
#include <unistd.h>

using vantrel::RunInOrder;

namespace {

// A short, index-dependent pause so that later items often finish before earlier ones.
void Jitter(std::size_t index) {
    std::this_thread::sleep_for(std::chrono::microseconds((index * 7919) % 5 * 300));
}

} // namespace

TEST(OrderedWorkTest, FinishSeesEveryItemOnceInOrderOnTheCallingThread) {
    for (const unsigned workers : {1u, 2u, 4u, 16u}) {
        SCOPED_TRACE(workers);
        constexpr std::size_t kCount = 50;
        std::vector<std::atomic<int>> worked(kCount);
        std::vector<std::size_t> finished;
        std::atomic<int> onCaller{0}, badWorker{0};
        const std::thread::id caller = std::this_thread::get_id();
        RunInOrder(
            kCount, workers,
            [&](std::size_t i, unsigned worker) {
                Jitter(kCount - i);
                ++worked[i];
                onCaller += std::this_thread::get_id() == caller;
                badWorker += worker >= workers;
            },
            [&](std::size_t i) {
                EXPECT_EQ(std::this_thread::get_id(), caller);
                EXPECT_EQ(worked[i].load(), 1); // done before it is finished
                finished.push_back(i);
                return true;
            });
        std::vector<std::size_t> expected(kCount);
        std::iota(expected.begin(), expected.end(), 0);
        EXPECT_EQ(finished, expected);
        EXPECT_EQ(badWorker.load(), 0);
        // One worker is a plain loop on the caller; more never use the caller for work.
        EXPECT_EQ(onCaller.load(), workers == 1 ? int(kCount) : 0);
    }
}

TEST(OrderedWorkTest, OneWorkerInterleavesWorkAndFinishLikeALoop) {
    std::vector<std::string> calls;
    RunInOrder(
        3, 1, [&](std::size_t i, unsigned) { calls.push_back("w" + std::to_string(i)); },
        [&](std::size_t i) {
            calls.push_back("f" + std::to_string(i));
            return i < 1;
        });
    EXPECT_EQ(calls, (std::vector<std::string>{"w0", "f0", "w1", "f1"}));
}

// Stopping early, a failing item and a throwing finish all leave with no work running
// and none started afterwards.
TEST(OrderedWorkTest, StopsAndJoinsOnEveryWayOut) {
    enum class Way { FinishFalse, WorkThrows, FinishThrows };
    for (const Way way : {Way::FinishFalse, Way::WorkThrows, Way::FinishThrows}) {
        SCOPED_TRACE(static_cast<int>(way));
        constexpr std::size_t kCount = 200, kStop = 5;
        std::atomic<int> running{0}, started{0};
        std::vector<std::size_t> finished;
        const auto run = [&] {
            RunInOrder(
                kCount, 4,
                [&](std::size_t i, unsigned) {
                    ++started;
                    ++running;
                    Jitter(i);
                    --running;
                    if (way == Way::WorkThrows && i == kStop)
                        throw std::runtime_error("work " + std::to_string(i));
                },
                [&](std::size_t i) {
                    finished.push_back(i);
                    if (way == Way::FinishThrows && i == kStop)
                        throw std::logic_error("finish");
                    return !(way == Way::FinishFalse && i == kStop);
                });
        };
        if (way == Way::WorkThrows)
            EXPECT_THROW(run(), std::runtime_error);
        else if (way == Way::FinishThrows)
            EXPECT_THROW(run(), std::logic_error);
        else
            EXPECT_NO_THROW(run());
        EXPECT_EQ(running.load(), 0);
        const int startedWhenLeft = started.load();
        EXPECT_LT(startedWhenLeft, int(kCount)); // the rest was never handed out
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(started.load(), startedWhenLeft);
        // The failing item is never finished; items after the stop never are.
        EXPECT_EQ(finished.size(), way == Way::WorkThrows ? kStop : kStop + 1);
    }
}

namespace {

// Photos of different sizes and contents, and two that are not pictures, so that
// workers finish out of order and a run has problems.
void AddMixedPhotos(const std::string& folder) {
    for (int i = 0; i < 12; ++i)
        WriteFile(folder + "/p" + std::to_string(10 + i) + ".jpg",
                  i == 3   ? "\xFF\xD8\xFF but no picture"
                  : i == 7 ? testsupport::MakeJpeg({}).substr(0, 200) // cut short
                           : Picture(i, 16 + 37 * i, 12 + 23 * (11 - i)));
}

} // namespace

// Several workers change nothing a caller sees: events, problems and every output byte
// are those of a run on one thread.
TEST_F(EngineTest, SeveralWorkersGiveWhatOneGives) {
    AddMixedPhotos(photos);
    gallery.SetMaxWidth(40);
    const auto run = [&](std::int16_t jobs) {
        Change([&](auto& settings) {
            settings.jobs = jobs;
            settings.outputDirectory = out + std::to_string(jobs);
        });
        events.clear();
        gallery.GenerateGallery();
        return std::tuple(events, ProblemTexts(), FolderBytes(out + std::to_string(jobs)));
    };
    const auto one = run(1);
    EXPECT_EQ(run(4), one);
    EXPECT_EQ(std::get<1>(one).size(), 2u) << ::testing::PrintToString(std::get<1>(one));
    EXPECT_TRUE(std::get<2>(one).contains("p21_tn.jpg"));
    EXPECT_EQ(Currents(GenEventMakeThumbnail).size(), 12u);
}

// A handler that throws ends a run on several workers as on one: nothing after it is
// raised, and no worker goes on writing once the run has left.
TEST_F(EngineTest, ThrowingHandlerEndsARunOnSeveralWorkers) {
    AddMixedPhotos(photos);
    Change([](auto& settings) { settings.jobs = 4; });
    for (const GenEventTypeEnum stopAt :
         {GenEventMakeThumbnail, GenEventFileCopy, GenEventMakePhotoPage}) {
        SCOPED_TRACE(static_cast<int>(stopAt));
        fs::remove_all(out);
        int raised = 0;
        gallery.SetProgressHandler([&](auto type, auto&, auto& current) {
            ++raised;
            if (type == stopAt && current == 3)
                throw std::runtime_error("stop");
        });
        EXPECT_THROW(gallery.GenerateGallery(), std::runtime_error);
        const auto left = FolderBytes(out);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(FolderBytes(out), left);
        EXPECT_FALSE(left.contains("index.htm"));
        if (stopAt != GenEventMakePhotoPage) {
            EXPECT_FALSE(left.contains("p21.htm")); // the photo pages come last
        }
        const int before = stopAt == GenEventMakeThumbnail ? 0
                           : stopAt == GenEventFileCopy    ? 12
                                                           : 24;
        EXPECT_EQ(raised, before + 4);
    }
}

// With no room for a new thread's stack, the run still does every item, in order, on
// whatever threads could be had (stacks a finished thread left may be reused), or on
// the caller alone.
TEST(OrderedWorkTest, NoThreadToBeHadStillDoesEveryItemInOrder) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' own mappings need the address space this limits";
#endif
    const int status = testsupport::RunInChild([] {
        std::ifstream statm("/proc/self/statm");
        std::uint64_t pages = 0;
        statm >> pages;
        const rlim_t limit = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (2u << 20);
        const rlimit tight{limit, limit};
        if (::setrlimit(RLIMIT_AS, &tight) != 0)
            return 10;
        std::vector<std::atomic<int>> worked(20);
        std::size_t next = 0;
        bool inOrder = true;
        RunInOrder(
            20, 4, [&](std::size_t i, unsigned) { ++worked[i]; },
            [&](std::size_t i) {
                inOrder = inOrder && i == next++ && worked[i] == 1;
                return true;
            });
        return inOrder && next == 20 ? 0 : 11;
    });
    EXPECT_EQ(status, 0);
}
