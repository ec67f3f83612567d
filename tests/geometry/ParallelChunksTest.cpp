#include "MeshFixtures.h"
#include "detail/ParallelChunks.h"
#include "geometry/BooleanOperands.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Sets MORVEL_THREADS for one scope, restoring what was there.
class ThreadCountOverride {
public:
    explicit ThreadCountOverride(const char* value) {
        if (const char* old = std::getenv("MORVEL_THREADS"))
            previous = old, hadPrevious = true;
        setenv("MORVEL_THREADS", value, 1);
    }
    ~ThreadCountOverride() {
        if (hadPrevious)
            setenv("MORVEL_THREADS", previous.c_str(), 1);
        else
            unsetenv("MORVEL_THREADS");
    }

private:
    std::string previous;
    bool hadPrevious = false;
};

} // namespace

TEST(ParallelChunks, CoversEveryIndexOnceInOrderedRangesAndRethrowsAWorkersFailure) {
    for (const std::size_t count : {0u, 1u, 7u, 10007u}) {
        for (const unsigned chunks : {1u, 3u, 8u}) {
            std::vector<std::atomic<int>> visits(count);
            std::vector<std::size_t> beginOf(chunks, count + 1), endOf(chunks, count + 1);
            Kiln::Parallel::forChunks(count, chunks, [&](unsigned chunk, std::size_t begin, std::size_t end) {
                beginOf[chunk] = begin;
                endOf[chunk] = end;
                for (std::size_t i = begin; i < end; ++i)
                    ++visits[i];
            });
            for (std::size_t i = 0; i < count; ++i)
                ASSERT_EQ(visits[i].load(), 1) << "index " << i << " of " << count << " in " << chunks;
            EXPECT_EQ(beginOf.front(), 0u);
            EXPECT_EQ(endOf.back(), count);
            for (unsigned c = 1; c < chunks; ++c)
                EXPECT_EQ(beginOf[c], endOf[c - 1]) << c;
        }
    }
    // A failure on another thread still reaches the caller, after every
    // chunk has finished (none is left running on freed data).
    std::atomic<int> finished{0};
    EXPECT_THROW(Kiln::Parallel::forChunks(300, 3,
                                           [&](unsigned chunk, std::size_t, std::size_t) {
                                               ++finished;
                                               if (chunk == 2)
                                                   throw std::runtime_error("chunk failed");
                                           }),
                 std::runtime_error);
    EXPECT_EQ(finished.load(), 3);
}

TEST(ParallelChunks, ThreadCountComesFromTheEnvironmentAndChunksStayLargeEnough) {
    {
        ThreadCountOverride three("3");
        EXPECT_EQ(Kiln::Parallel::workerCount(), 3u);
        EXPECT_EQ(Kiln::Parallel::chunkCountFor(1000000), 3u);
        EXPECT_EQ(Kiln::Parallel::chunkCountFor(100), 1u);
    }
    ThreadCountOverride nonsense("zero");
    EXPECT_GE(Kiln::Parallel::workerCount(), 1u);
}

// The chunked stages must not change a single bit of the result: the same
// operands on one thread and on four give the same arrays.
TEST(ParallelChunks, BooleanResultDoesNotDependOnTheThreadCount) {
    const Kiln::MeshArrays a = fixtures::sphere(0, 0, 0, 1.0, 128, 128);
    const Kiln::MeshArrays b = fixtures::sphere(0.4, 0.3, 0.2, 0.9, 96, 128);
    for (const Kiln::BooleanOperation operation :
         {Kiln::BooleanOperation::Difference, Kiln::BooleanOperation::Union}) {
        Kiln::MeshArrays single, several;
        {
            ThreadCountOverride one("1");
            single = Kiln::computeBoolean(a, b, operation);
        }
        {
            ThreadCountOverride four("4");
            several = Kiln::computeBoolean(a, b, operation);
        }
        ASSERT_GT(single.triangleCount(), 0u);
        EXPECT_TRUE(Kiln::isClosed(single));
        EXPECT_EQ(single.positions, several.positions);
        EXPECT_EQ(single.indices, several.indices);
    }
}

TEST(ParallelChunks, SelfCrossingCheckGivesOneAnswerOnAnyThreadCount) {
    // Big enough for three chunks of fans and of grid cells: the answer
    // must not depend on which chunk meets the crossing, nor on the budget
    // shared out among them.
    const Kiln::MeshArrays ball = fixtures::sphere(0, 0, 0, 1, 64, 128);
    Kiln::MeshArrays dented = ball;
    dented.positions[2] = -1.5; // the north pole pushed out through the south
    const Kiln::MeshArrays overlapping = fixtures::joined(ball, fixtures::sphere(0.3, 0.1, 0, 1, 64, 128));
    for (const char* threads : {"1", "2", "3"}) {
        const ThreadCountOverride override(threads);
        EXPECT_FALSE(Kiln::intersectsItself(ball)) << threads;
        EXPECT_TRUE(Kiln::intersectsItself(dented)) << threads;
        EXPECT_TRUE(Kiln::intersectsItself(overlapping)) << threads;
    }
}
