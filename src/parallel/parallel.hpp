// Work shared over the cores: a parallel loop over numbered tasks.
//
// Results must never depend on the number of threads, so callers give each
// task a fixed piece of work (an output block, a model) whose result does
// not depend on which worker ran it, and keep per-worker scratch apart by
// the worker number.
#pragma once

#include <cstddef>
#include <functional>

namespace parallel {

// The number of workers to use when the caller has no preference: the
// EGF_THREADS environment variable when it holds a positive integer,
// otherwise the number of hardware threads (at least 1).
int defaultThreads();

// Calls task(index, worker) once for every index in [0, count) on at most
// `threads` workers (fewer when count is smaller; threads < 1 counts as 1).
// Worker 0 is the calling thread and workers are numbered below `threads`.
// Indices are handed out in increasing order as workers become free. When a
// task throws, no further index is handed out and the first exception is
// rethrown once every worker has stopped.
void forEach(std::size_t count, int threads,
             const std::function<void(std::size_t index, int worker)>& task);

}  // namespace parallel
