#include "detail/BspTree.h"

#include <gtest/gtest.h>

#include <cstdint>

using Kiln::BSP::FlatKeyMap;

TEST(FlatKeyMap, FindsEveryInsertedKeyThroughGrowthAndNoOther) {
    // Keys shaped like plane-pair keys: neighbouring references in both
    // halves, which collide often before mixing.
    FlatKeyMap map;
    EXPECT_EQ(map.find(42), nullptr);
    auto keyOf = [](std::uint32_t i) { return (static_cast<std::uint64_t>(i / 7) << 32) | (0x80000000u + i % 7); };
    for (std::uint32_t i = 0; i < 5000; ++i)
        map.insert(keyOf(i), i * 3);
    for (std::uint32_t i = 0; i < 5000; ++i) {
        const std::uint32_t* value = map.find(keyOf(i));
        ASSERT_NE(value, nullptr) << i;
        EXPECT_EQ(*value, i * 3);
    }
    for (std::uint32_t i = 5000; i < 6000; ++i)
        EXPECT_EQ(map.find(keyOf(i)), nullptr) << i;
}

TEST(FlatKeyMap, FindOrInsertKeepsTheFirstValueOfEachKey) {
    // Keys repeat with period 1000 (key i and i + 1000 are one key): each
    // keeps the value it was first given, through the table's growth.
    FlatKeyMap map;
    auto keyOf = [](std::uint32_t i) { return (std::uint64_t{i % 1000 / 7} << 32) | (i % 1000 % 7); };
    for (std::uint32_t i = 0; i < 3000; ++i)
        ASSERT_EQ(map.findOrInsert(keyOf(i), i), i % 1000) << i;
    for (std::uint32_t i = 0; i < 1000; ++i) {
        const std::uint32_t* value = map.find(keyOf(i));
        ASSERT_NE(value, nullptr) << i;
        EXPECT_EQ(*value, i);
    }
}
