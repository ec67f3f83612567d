#pragma once
// Splitting a loop of independent iterations over the cores the process may
// use. Internal to the Boolean builder.
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <exception>
#include <future>
#include <thread>
#include <vector>

#include <sched.h>

namespace Kiln {
namespace Parallel {

/// Threads a loop may use: MORVEL_THREADS when set to a positive number,
/// else the cores this process may run on (its affinity mask, which
/// `taskset` narrows; the hardware's count where that is unknown). At least 1.
inline unsigned workerCount() {
    if (const char* text = std::getenv("MORVEL_THREADS")) {
        const long value = std::strtol(text, nullptr, 10);
        if (value > 0)
            return static_cast<unsigned>(std::min(value, 256L));
    }
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

/// How many chunks a loop of `count` iterations is worth splitting into:
/// one per worker, but none smaller than `minimumChunk` iterations (a thread
/// costs tens of microseconds to start).
inline unsigned chunkCountFor(std::size_t count, std::size_t minimumChunk = 4096) {
    const std::size_t byWork = std::max<std::size_t>(1, count / std::max<std::size_t>(1, minimumChunk));
    return static_cast<unsigned>(std::min<std::size_t>(workerCount(), byWork));
}

/// Calls work(chunk, begin, end) for `chunks` consecutive ranges covering
/// [0, count), in order of chunk; chunk 0 runs on the caller's thread, the
/// others on their own. Returns once all are done; the first exception of a
/// chunk (in chunk order) is rethrown. Chunks must write disjoint data.
template <typename Work>
void forChunks(std::size_t count, unsigned chunks, Work&& work) {
    chunks = std::max(1u, chunks);
    const auto begin = [&](unsigned chunk) { return count * chunk / chunks; };
    std::vector<std::future<void>> others;
    others.reserve(chunks - 1);
    for (unsigned chunk = 1; chunk < chunks; ++chunk)
        others.push_back(std::async(std::launch::async, [&, chunk] { work(chunk, begin(chunk), begin(chunk + 1)); }));
    std::exception_ptr failure;
    try {
        work(0u, begin(0), begin(1));
    } catch (...) {
        failure = std::current_exception();
    }
    for (std::future<void>& other : others) {
        try {
            other.get();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace Parallel
} // namespace Kiln
