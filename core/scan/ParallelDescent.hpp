// The one parallel step of the engine's tree walks: a folder's subfolders
// handed to the thread pool. Each walk decides how far down it fans out and
// what it does in a folder; below that depth it walks on the thread that
// reached the folder.
#pragma once

#include <cstddef>

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/partitioner.h>

namespace ParallelDescent {

/// Calls `visit(index)` for each of `count` subfolders and returns when all
/// are done. In parallel, every subfolder is a task of its own, never batched
/// with its neighbours: one of them may hold most of the tree. Otherwise, and
/// for a single subfolder, in order on this thread.
template <class Visit>
void forEachSubfolder(size_t count, bool inParallel, Visit&& visit) {
    if (!inParallel || count < 2) {
        for (size_t index = 0; index < count; ++index) visit(index);
        return;
    }
    tbb::parallel_for(
        tbb::blocked_range<size_t>(0, count, 1),
        [&](const tbb::blocked_range<size_t>& range) {
            for (size_t index = range.begin(); index != range.end(); ++index) visit(index);
        },
        tbb::simple_partitioner());
}

}  // namespace ParallelDescent
