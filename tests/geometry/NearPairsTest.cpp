// The broad phases of the self-crossing check against a search of every
// pair: each pair of boxes that overlap and share no corner is offered,
// and none twice, whatever the sizes, crowds and thread counts.
#include "detail/FloatBox.h"
#include "detail/NearPairs.h"

#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <cmath>
#include <mutex>
#include <random>
#include <set>
#include <utility>
#include <vector>

using Kiln::BSP::Box;
namespace NearPairs = Kiln::NearPairs;

namespace {

using Pair = std::pair<std::uint32_t, std::uint32_t>;

struct Items {
    std::vector<Box> boxes;
    std::vector<std::uint8_t> skip;
    std::vector<std::array<std::uint32_t, 3>> corners;
};

// Boxes of one usual size scattered in a 10-unit cube, with slivers, a few
// boxes up to 40 times larger, some skipped, and a crowd of 60 small boxes
// around one point that all share a corner.
Items scatteredItems(std::uint32_t seed, std::size_t count) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<std::uint32_t> cornerId(0, static_cast<std::uint32_t>(count));
    Items items;
    const auto add = [&](const double centre[3], const double half[3], std::array<std::uint32_t, 3> ids) {
        Box box;
        for (int k = 0; k < 3; ++k) {
            box.lo[k] = centre[k] - half[k];
            box.hi[k] = centre[k] + half[k];
        }
        items.boxes.push_back(box);
        items.skip.push_back(unit(random) < 0.02);
        items.corners.push_back(ids);
    };
    for (std::size_t i = 0; i < count; ++i) {
        const double centre[3] = {10 * unit(random), 10 * unit(random), 10 * unit(random)};
        double half[3] = {0.15 * unit(random), 0.15 * unit(random), 0.15 * unit(random)};
        const double kind = unit(random);
        if (kind < 0.1)
            half[i % 3] = 0.15; // a sliver along one axis
        else if (kind < 0.13)
            for (double& h : half)
                h *= 1.0 + 40.0 * unit(random); // a large one
        add(centre, half, {cornerId(random), cornerId(random), cornerId(random)});
    }
    for (std::uint32_t i = 0; i < 60; ++i) {
        const double centre[3] = {5 + 0.01 * unit(random), 5 + 0.01 * unit(random), 5 + 0.01 * unit(random)};
        const double half[3] = {0.01, 0.01, 0.01};
        add(centre, half, {static_cast<std::uint32_t>(count) + 1, cornerId(random), cornerId(random)});
    }
    return items;
}

bool overlap(const Box& a, const Box& b, double margin) {
    for (int k = 0; k < 3; ++k)
        if (a.lo[k] > b.hi[k] + margin || b.lo[k] > a.hi[k] + margin)
            return false;
    return true;
}

std::set<Pair> everyPairWorthTesting(const Items& items) {
    std::set<Pair> pairs;
    for (std::uint32_t s = 0; s < items.boxes.size(); ++s)
        for (std::uint32_t t = s + 1; t < items.boxes.size(); ++t)
            if (!items.skip[s] && !items.skip[t] && overlap(items.boxes[s], items.boxes[t], 0.0) &&
                !NearPairs::sharesCorner(items.corners[s].data(), items.corners[t].data()))
                pairs.emplace(s, t);
    return pairs;
}

// The pairs offered, each once: adds one, failing on a repeat. The sparse
// grids offer only overlapping boxes; the coarse grid leaves that to the
// exact test and offers all that share a cell.
class Offered {
public:
    Offered(const Items& items, bool overlapping) : items(items), overlapping(overlapping) {}

    bool add(std::uint32_t s, std::uint32_t t) {
        const std::lock_guard<std::mutex> lock(guard);
        EXPECT_FALSE(items.skip[s] || items.skip[t]);
        EXPECT_FALSE(NearPairs::sharesCorner(items.corners[s].data(), items.corners[t].data()));
        // Float boxes rounded outwards may offer pairs a float step apart.
        EXPECT_TRUE(!overlapping || overlap(items.boxes[s], items.boxes[t], 1e-5)) << s << " " << t;
        EXPECT_TRUE(pairs.emplace(std::min(s, t), std::max(s, t)).second) << "offered twice: " << s << " " << t;
        return false;
    }

    bool covers(const std::set<Pair>& wanted) const {
        for (const Pair& pair : wanted)
            if (!pairs.count(pair)) {
                ADD_FAILURE() << "never offered: " << pair.first << " " << pair.second;
                return false;
            }
        return true;
    }

private:
    const Items& items;
    const bool overlapping;
    std::mutex guard;
    std::set<Pair> pairs;
};

} // namespace

TEST(NearPairs, SparseGridsOfferEveryOverlappingPairOnce) {
    for (const std::uint32_t seed : {1u, 2u, 3u}) {
        const Items items = scatteredItems(seed, 3000);
        const auto corners = [&](std::uint32_t t) { return items.corners[t].data(); };
        std::size_t used = 0;
        const Box bounds = NearPairs::boundsOfItems(items.boxes, items.skip, used);
        for (const unsigned chunks : {1u, 3u}) {
            Offered offered(items, true);
            std::vector<std::uint32_t> large;
            ASSERT_EQ(NearPairs::forSmallPairsInSparseGrid(
                          items.boxes, items.skip, bounds, 100000000, corners, large, chunks,
                          [&](unsigned, std::uint32_t s, std::uint32_t t) { return offered.add(s, t); }),
                      NearPairs::SparseSearch::Finished);
            EXPECT_FALSE(large.empty());
            ASSERT_EQ(NearPairs::forLargePairsInSparseGrid(items.boxes, items.skip, bounds, large, 100000000, corners,
                                                           [&](std::uint32_t s, std::uint32_t t) {
                                                               return offered.add(s, t);
                                                           }),
                      NearPairs::SparseSearch::Finished);
            EXPECT_TRUE(offered.covers(everyPairWorthTesting(items))) << "seed " << seed << ", chunks " << chunks;
        }
    }
}

TEST(NearPairs, CoarseGridOffersEveryOverlappingPairOnceAndCrowdsGiveUpEarly) {
    const Items items = scatteredItems(4, 3000);
    const auto corners = [&](std::uint32_t t) { return items.corners[t].data(); };
    Offered offered(items, false);
    const auto everyCell = [](std::uint32_t, const double*, const double*) { return true; };
    EXPECT_FALSE(NearPairs::forPairsInCoarseGrid(items.boxes, items.skip, nullptr, everyCell, corners,
                                                [&](std::uint32_t s, std::uint32_t t) { return offered.add(s, t); }));
    EXPECT_TRUE(offered.covers(everyPairWorthTesting(items)));

    // Too many pairs for the limit: refused before any is offered.
    std::size_t used = 0;
    const Box bounds = NearPairs::boundsOfItems(items.boxes, items.skip, used);
    std::vector<std::uint32_t> large;
    bool any = false;
    EXPECT_EQ(NearPairs::forSmallPairsInSparseGrid(items.boxes, items.skip, bounds, 10, corners, large, 2,
                                                   [&](unsigned, std::uint32_t, std::uint32_t) {
                                                       any = true;
                                                       return false;
                                                   }),
              NearPairs::SparseSearch::TooCrowded);
    EXPECT_FALSE(any);
}

// Float boxes are what both broad phases compare: rounding a bound the
// wrong way (at zero, for negatives, past the float range) would drop a
// pair that touches.
TEST(FloatBox, BoundsRoundOutwardsToTheNearestFloats) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-140, 140);
    std::vector<double> values = {0.0, -0.0, 1e-300, -1e-300, 1e300, -1e300, 0.1, -0.1, 1.0, -1.0};
    for (int i = 0; i < 20000; ++i)
        values.push_back(std::ldexp(mantissa(random), exponent(random)));
    for (const double x : values) {
        const float below = Kiln::floatAtMost(x), above = Kiln::floatAtLeast(x);
        ASSERT_LE(static_cast<double>(below), x) << x;
        ASSERT_GE(static_cast<double>(above), x) << x;
        // Nearest: one float step further in would cross x (within range;
        // beyond it the bounds are infinite).
        if (std::fabs(x) <= FLT_MAX) {
            EXPECT_GT(static_cast<double>(std::nextafter(below, INFINITY)), x) << x;
            EXPECT_LT(static_cast<double>(std::nextafter(above, -INFINITY)), x) << x;
        }
    }
    const Box box{{-0.1, 1e-30, -3e38}, {0.1, 2e-30, 5e39}};
    const Kiln::FloatBox around = Kiln::floatBoxAround(box);
    for (int k = 0; k < 3; ++k) {
        EXPECT_LE(static_cast<double>(around.lo[k]), box.lo[k]);
        EXPECT_GE(static_cast<double>(around.hi[k]), box.hi[k]);
    }
    // Touching boxes stay touching.
    const Kiln::FloatBox left = Kiln::floatBoxAround(Box{{0, 0, 0}, {0.1, 1, 1}});
    const Kiln::FloatBox right = Kiln::floatBoxAround(Box{{0.1, 0, 0}, {0.3, 1, 1}});
    EXPECT_TRUE(Kiln::overlaps(left, right));
}
