#include "mesh/DisjointSets.h"

#include <gtest/gtest.h>

using Kiln::DisjointSets;

TEST(DisjointSets, SetsAreNamedByTheirSmallestMemberWhateverTheJoinOrder) {
    // Join a long chain from its high end so that paths grow before they
    // are halved, plus a second set and a loner.
    DisjointSets sets(100);
    for (std::uint32_t i = 49; i > 1; --i)
        EXPECT_TRUE(sets.join(i, i - 1));
    EXPECT_TRUE(sets.join(60, 99));
    EXPECT_TRUE(sets.join(99, 70));
    EXPECT_FALSE(sets.join(70, 60));
    EXPECT_FALSE(sets.join(1, 49));
    for (std::uint32_t i = 1; i < 50; ++i)
        EXPECT_EQ(1u, sets.find(i)) << i;
    for (const std::uint32_t i : {60u, 70u, 99u})
        EXPECT_EQ(60u, sets.find(i));
    EXPECT_EQ(0u, sets.find(0));
    EXPECT_EQ(80u, sets.find(80));
    EXPECT_TRUE(sets.join(99, 0));
    EXPECT_EQ(0u, sets.find(70));
}
