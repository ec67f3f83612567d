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
