#include "geometry/Expansion.h"

#include <gtest/gtest.h>

#include <cmath>

using Kiln::Expansion;

TEST(Expansion, SumsAndProductsAreExact) {
    const Expansion big(1e100);
    EXPECT_EQ(((big + 1.0) - big).estimate(), 1.0);
    EXPECT_EQ(((big + 1.0) - 1.0 - big).sign(), 0);

    // (2^27 + 1)^2 = 2^54 + 2^28 + 1 needs more than one double.
    const double s = 134217729.0;
    const Expansion square = Expansion(s) * Expansion(s);
    EXPECT_GE(square.size(), 2u);
    EXPECT_EQ((square - Expansion(std::ldexp(1.0, 54)) - Expansion(std::ldexp(1.0, 28))).estimate(), 1.0);

    // (a + b)(a - b) = a^2 - b^2 with a tiny b lost in plain doubles.
    const Expansion a(3.0), b(std::ldexp(1.0, -60));
    const Expansion lhs = (a + b) * (a - b);
    const Expansion rhs = a * a - b * b;
    EXPECT_EQ((lhs - rhs).sign(), 0);
    EXPECT_EQ((lhs - Expansion(9.0)).sign(), -1);
}

TEST(Expansion, DifferenceAndProductOfTwoDoubles) {
    const double x = 1.0 + std::ldexp(1.0, -52);
    EXPECT_EQ(Expansion::difference(x, 1.0).estimate(), std::ldexp(1.0, -52));
    EXPECT_EQ(Expansion::difference(1e300, -1e-300).sign(), 1);
    const Expansion p = Expansion::product(x, x); // 1 + 2^-51 + 2^-104
    EXPECT_EQ((p - Expansion(1.0 + std::ldexp(1.0, -51))).estimate(), std::ldexp(1.0, -104));
    EXPECT_EQ((Expansion(2.0) * -3.0).estimate(), -6.0);
    EXPECT_EQ((Expansion() * 5.0).sign(), 0);
}

TEST(Expansion, DeterminantSignIsExactWherePlainDoublesFail) {
    const double e = std::ldexp(1.0, -30);
    const double a = 1.0 + e, d = 1.0 - e; // a*d = 1 - 2^-60 rounds to 1
    EXPECT_EQ(a * d - 1.0 * 1.0, 0.0);      // plain doubles: no sign at all
    EXPECT_EQ(Kiln::signOfDeterminant2(a, 1.0, 1.0, d), -1);
    EXPECT_EQ(Kiln::signOfDeterminant2(1.0, 1.0, 1.0, 1.0), 0);
    EXPECT_EQ(Kiln::signOfDeterminant2(d, 1.0, 1.0, a), -1);
    EXPECT_EQ(Kiln::signOfDeterminant2(1.0, a, d, 1.0), 1);
}

TEST(Expansion, NearlyCollinearOrientationIsDecidedExactly) {
    // Points on the line y = x, nudged by one unit in the last place: the
    // naive orientation determinant rounds to zero or the wrong sign.
    const double px = 0.5, py = 0.5;
    const double qx = 12.0, qy = 12.0;
    const double rx = std::nextafter(24.0, 25.0);
    const double ry = std::nextafter(rx, 25.0);
    // sign of (qx-px)(ry-py) - (qy-py)(rx-px): r lies just left of p->q.
    const double naive = (qx - px) * (ry - py) - (qy - py) * (rx - px);
    const Expansion exact = Expansion::difference(qx, px) * Expansion::difference(ry, py) -
                            Expansion::difference(qy, py) * Expansion::difference(rx, px);
    EXPECT_EQ(exact.sign(), 1);
    EXPECT_EQ(naive, 0.0) << "the example no longer defeats plain doubles";
}
