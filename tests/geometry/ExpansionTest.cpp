#include "detail/Expansion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

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

    // The value itself, not just its sign: a*d - 1 = -2^-60 exactly.
    EXPECT_EQ(Expansion::determinant2(a, 1.0, 1.0, d).estimate(), -std::ldexp(1.0, -60));
    EXPECT_EQ(Expansion::determinant2(3.0, 2.0, 3.0, 2.0).sign(), 0);
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int i = 0; i < 200; ++i) {
        const double w = u(rng), x = u(rng), y = u(rng), z = std::ldexp(u(rng), -40);
        const Expansion general = Expansion::product(w, z) - Expansion::product(x, y);
        EXPECT_EQ((Expansion::determinant2(w, x, y, z) - general).sign(), 0);
    }
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

TEST(Expansion, TripleProductSignMatchesExpansionsOnNearlyFlatVectors) {
    // w nearly in the plane of u and v, off by a few units in the last
    // place: the stack-buffer triple product must agree with the sign the
    // general expansions give, zero included.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> coordinate(-1.0, 1.0);
    int positive = 0, negative = 0, zero = 0;
    for (int trial = 0; trial < 2000; ++trial) {
        double u[3], v[3], w[3];
        const double s = coordinate(random), t = coordinate(random);
        for (int k = 0; k < 3; ++k) {
            u[k] = coordinate(random);
            v[k] = coordinate(random);
            w[k] = s * u[k] + t * v[k];
        }
        const int nudge = trial % 5 - 2;
        for (int n = 0; n < std::abs(nudge); ++n)
            w[trial % 3] = std::nextafter(w[trial % 3], nudge > 0 ? 2.0 : -2.0);
        if (trial % 7 == 0)
            for (int k = 0; k < 3; ++k)
                w[k] = 2.0 * u[k]; // parallel to u: exactly zero
        Expansion expected;
        for (int k = 0; k < 3; ++k) {
            const int i = (k + 1) % 3, j = (k + 2) % 3;
            expected = expected + (Expansion::product(u[i], v[j]) - Expansion::product(u[j], v[i])) * w[k];
        }
        const int sign = Kiln::signOfTripleProduct(u, v, w);
        EXPECT_EQ(sign, expected.sign()) << "trial " << trial;
        positive += sign > 0;
        negative += sign < 0;
        zero += sign == 0;
    }
    EXPECT_GT(positive, 100);
    EXPECT_GT(negative, 100);
    EXPECT_GT(zero, 100);
}
