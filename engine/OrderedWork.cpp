#include "OrderedWork.h"

#include <sched.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace vantrel {

unsigned DefaultWorkerCount() {
    // The cores this process may run on, which a container or taskset can make fewer
    // than the machine's.
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 0)
        return static_cast<unsigned>(CPU_COUNT(&allowed));
    return std::max(1u, std::thread::hardware_concurrency());
}

namespace {

// What the workers and the calling thread share; every field under `lock`.
struct Shared {
    std::mutex lock;
    std::condition_variable itemDone;
    std::size_t next = 0;   // the next index to hand out
    bool stopping = false;  // no more items are handed out
    std::vector<char> done; // per index: finished
    std::vector<std::exception_ptr> failures;
};

} // namespace

void RunInOrder(std::size_t count, unsigned workers,
                const std::function<void(std::size_t, unsigned)>& work,
                const std::function<bool(std::size_t)>& finish) {
    workers = static_cast<unsigned>(std::min<std::size_t>(std::max(1u, workers), count));
    const auto plainLoop = [&] {
        for (std::size_t i = 0; i < count; ++i) {
            work(i, 0);
            if (!finish(i))
                return;
        }
    };
    if (workers <= 1)
        return plainLoop();

    Shared shared;
    shared.done.assign(count, 0);
    shared.failures.resize(count);

    const auto worker = [&](unsigned id) {
        for (;;) {
            std::size_t index;
            {
                std::lock_guard<std::mutex> guard(shared.lock);
                if (shared.stopping || shared.next >= count)
                    return;
                index = shared.next++;
            }
            std::exception_ptr failure;
            try {
                work(index, id);
            } catch (...) {
                failure = std::current_exception();
            }
            {
                std::lock_guard<std::mutex> guard(shared.lock);
                shared.failures[index] = failure;
                shared.done[index] = 1;
            }
            shared.itemDone.notify_all();
        }
    };

    std::vector<std::jthread> threads;
    threads.reserve(workers);
    // Joins the workers on every way out, an exception from finish included.
    const auto stopAndJoin = [&] {
        {
            std::lock_guard<std::mutex> guard(shared.lock);
            shared.stopping = true;
        }
        threads.clear();
    };
    // A system short of threads gets fewer workers, or none: then the caller works alone.
    for (unsigned id = 0; id < workers; ++id) {
        try {
            threads.emplace_back(worker, id);
        } catch (const std::system_error&) {
            break;
        }
    }
    if (threads.empty())
        return plainLoop();
    try {
        for (std::size_t i = 0; i < count; ++i) {
            std::exception_ptr failure;
            {
                std::unique_lock<std::mutex> guard(shared.lock);
                shared.itemDone.wait(guard, [&] { return shared.done[i] != 0; });
                failure = shared.failures[i];
            }
            if (failure)
                std::rethrow_exception(failure);
            if (!finish(i))
                break;
        }
    } catch (...) {
        stopAndJoin();
        throw;
    }
    stopAndJoin();
}

} // namespace vantrel
