#pragma once

#include <cstddef>
#include <functional>

namespace vantrel {

// Workers a run uses when the caller leaves it open: one per core.
unsigned DefaultWorkerCount();

// Runs work(index, worker) for every index below `count` on up to `workers` threads
// (worker is 0 .. workers - 1, so a caller can keep one tool per worker), and hands
// each index to finish(index) on the calling thread in index order, as soon as that
// item and every item before it are done. So a caller sees results exactly as a
// plain loop would give them, whatever the threads' timing.
//
// finish returns false to stop early: no item is started after that, items already
// running complete, and finish is called for no later index. An exception thrown by
// work(index) is rethrown where finish(index) would have been called; one thrown by
// finish ends the run the same way. Either leaves only after every worker has stopped.
// With one worker (or one item) everything runs on the calling thread, item by item.
void RunInOrder(std::size_t count, unsigned workers,
                const std::function<void(std::size_t index, unsigned worker)>& work,
                const std::function<bool(std::size_t index)>& finish);

} // namespace vantrel
