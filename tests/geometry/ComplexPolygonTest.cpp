#include "geometry/ComplexPolygon.h"

#include "log/Exception.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

using Kiln::ComplexPolygon;
using Kiln::PolygonVertexType;
using Kiln::TriFace;

namespace {

const double kOrigin[3] = {0, 0, 0};
const double kAxisU[3] = {1, 0, 0};
const double kAxisV[3] = {0, 1, 0};

struct Outline {
    std::vector<double> vertices; // x y z w
    std::multimap<std::uint32_t, std::uint32_t> edges;

    std::uint32_t add(double u, double v) {
        vertices.push_back(u);
        vertices.push_back(v);
        vertices.push_back(0.0);
        vertices.push_back(1.0);
        return static_cast<std::uint32_t>(vertices.size() / 4 - 1);
    }
    /// Adds a closed loop in the given order.
    void loop(const std::vector<std::pair<double, double>>& uv) {
        std::vector<std::uint32_t> ids;
        for (const auto& p : uv)
            ids.push_back(add(p.first, p.second));
        loopOver(ids);
    }
    void loopOver(const std::vector<std::uint32_t>& ids) {
        for (std::size_t k = 0; k < ids.size(); ++k)
            edges.emplace(ids[k], ids[(k + 1) % ids.size()]);
    }
    double u(std::uint32_t i) const { return vertices[4 * i]; }
    double v(std::uint32_t i) const { return vertices[4 * i + 1]; }
    /// Clockwise is positive here, matching the winding of outer loops.
    double clockwiseArea(const TriFace& t) const {
        const std::uint32_t a = t.v[0], b = t.v[1], c = t.v[2];
        return -0.5 * ((u(b) - u(a)) * (v(c) - v(a)) - (v(b) - v(a)) * (u(c) - u(a)));
    }
};

std::vector<TriFace> triangulate(Outline& outline) {
    ComplexPolygon polygon(outline.vertices, kOrigin, kAxisU, kAxisV, outline.edges);
    std::vector<TriFace> out;
    polygon.triangulate(out);
    return out;
}

/// Every triangle is wound like the outline and the triangles cover the
/// region exactly once (their areas add up to the region's area).
void expectTiling(const Outline& outline, const std::vector<TriFace>& triangles, double area) {
    double sum = 0;
    for (const TriFace& t : triangles) {
        EXPECT_GT(outline.clockwiseArea(t), 0.0) << t.v[0] << " " << t.v[1] << " " << t.v[2];
        sum += outline.clockwiseArea(t);
    }
    EXPECT_NEAR(sum, area, 1e-12);
}

// Clockwise square.
const std::vector<std::pair<double, double>> kSquare = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};

} // namespace

TEST(ComplexPolygon, SquareGivesTwoTrianglesAndConsumesItsEdges) {
    Outline o;
    o.loop(kSquare);
    const auto tris = triangulate(o);
    EXPECT_EQ(tris.size(), 2u);
    EXPECT_TRUE(o.edges.empty());
    expectTiling(o, tris, 1.0);
}

TEST(ComplexPolygon, MissingEdgeIsAnUnclosedPolygon) {
    Outline o;
    o.loop(kSquare);
    o.edges.erase(o.edges.find(2));
    try {
        triangulate(o);
        FAIL() << "expected an exception";
    } catch (const Kiln::Exception& e) {
        EXPECT_EQ(e.getCode(), 9);
        EXPECT_EQ(e.getDescription(), "Unclosed polygon!");
        EXPECT_EQ(e.getSource(), "ComplexPolygon::ComplexPolygon()");
    }
}

TEST(ComplexPolygon, SquareWithSquareHoleGivesEightTriangles) {
    Outline o;
    o.loop({{0, 0}, {0, 3}, {3, 3}, {3, 0}});
    o.loop({{1, 1}, {2, 1}, {2, 2}, {1, 2}}); // counter-clockwise hole
    const auto tris = triangulate(o);
    EXPECT_EQ(tris.size(), 8u);
    expectTiling(o, tris, 8.0);
}

TEST(ComplexPolygon, SeveralHolesAndOuterLoops) {
    Outline o;
    o.loop({{0, 0}, {0, 4}, {9, 4}, {9, 0}});
    o.loop({{1, 1}, {2, 1}, {2, 3}, {1, 3}});
    o.loop({{4, 1.5}, {5, 0.5}, {6, 2}, {5, 3.5}});
    o.loop({{20, 0}, {20, 1}, {21, 1}, {21, 0}});
    const auto tris = triangulate(o);
    // n - 2 + 2h per region: (12 - 2 + 4) + 2.
    EXPECT_EQ(tris.size(), 16u);
    expectTiling(o, tris, 36.0 - 2.0 - 3.0 + 1.0);
}

TEST(ComplexPolygon, RepeatedPointsCountOnce) {
    Outline o;
    const std::uint32_t a = o.add(0, 0), b = o.add(0, 1), b2 = o.add(0, 1), c = o.add(1, 1), d = o.add(1, 0),
                        a2 = o.add(0, 0);
    o.loopOver({a, b, b2, c, d, a2});
    ComplexPolygon polygon(o.vertices, kOrigin, kAxisU, kAxisV, o.edges);
    EXPECT_EQ(polygon.vertexCount(), 4u);
    std::vector<TriFace> tris;
    polygon.triangulate(tris);
    EXPECT_EQ(tris.size(), 2u);
    expectTiling(o, tris, 1.0);
}

TEST(ComplexPolygon, LoopCollapsingToTwoPointsIsDropped) {
    Outline o;
    const std::uint32_t a = o.add(0, 0), b = o.add(1, 1), b2 = o.add(1, 1);
    o.loopOver({a, b, b2});
    ComplexPolygon polygon(o.vertices, kOrigin, kAxisU, kAxisV, o.edges);
    EXPECT_EQ(polygon.vertexCount(), 0u);
    std::vector<TriFace> tris;
    polygon.triangulate(tris);
    EXPECT_TRUE(tris.empty());
}

TEST(ComplexPolygon, CollinearPointsGiveNoSlivers) {
    Outline o;
    // Clockwise square with extra points along every side.
    o.loop({{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 3}, {2, 3}, {3, 3}, {3, 2}, {3, 1}, {3, 0}, {2, 0}, {1, 0}});
    const auto tris = triangulate(o);
    EXPECT_EQ(tris.size(), 10u);
    expectTiling(o, tris, 9.0);
}

TEST(ComplexPolygon, HorizontalRunsAndEqualHeights) {
    Outline o;
    // A comb: several vertices at equal v, so ties decide the sweep order.
    o.loop({{0, 0}, {0, 2}, {1, 2}, {1, 1}, {2, 1}, {2, 2}, {3, 2}, {3, 1}, {4, 1}, {4, 2}, {5, 2}, {5, 0}});
    const auto tris = triangulate(o);
    EXPECT_EQ(tris.size(), 10u);
    expectTiling(o, tris, 10.0 - 2.0);
}

TEST(ComplexPolygon, HoleTouchingTheOuterBoundaryAtAVertex) {
    Outline o;
    const std::uint32_t a = o.add(0, 0), b = o.add(0, 4), c = o.add(4, 4), d = o.add(4, 0);
    const std::uint32_t h1 = o.add(2, 2), h2 = o.add(3, 1);
    // The hole (2,2) (4,4)... shares the outer corner c.
    o.loopOver({a, b, c, d});
    o.loopOver({c, h1, h2});
    const auto tris = triangulate(o);
    expectTiling(o, tris, 16.0 - 2.0);
}

TEST(ComplexPolygon, ClassifiesEveryVertexType) {
    Outline o;
    // Clockwise outline with a notch from above (merge) and one from below
    // (split), plus both kinds of regular vertex.
    o.loop({{0, 0}, {0, 4}, {2, 4}, {3, 2}, {4, 4}, {6, 4}, {6, 0}, {4, 0}, {3, 1.5}, {2, 0}});
    ComplexPolygon polygon(o.vertices, kOrigin, kAxisU, kAxisV, o.edges);
    std::set<PolygonVertexType> seen;
    for (std::size_t i = 0; i < polygon.vertexCount(); ++i)
        seen.insert(polygon.vertexType(i));
    EXPECT_EQ(seen.size(), 6u);
    auto typeOf = [&](std::uint32_t source) {
        for (std::size_t i = 0; i < polygon.vertexCount(); ++i)
            if (polygon.sourceIndex(i) == source)
                return polygon.vertexType(i);
        return PolygonVertexType::Start;
    };
    EXPECT_EQ(typeOf(3), PolygonVertexType::Merge);
    EXPECT_EQ(typeOf(8), PolygonVertexType::Split);
    EXPECT_EQ(typeOf(5), PolygonVertexType::Start); // top right corner (6, 4)
    EXPECT_EQ(typeOf(0), PolygonVertexType::End);   // bottom left corner (0, 0)
    std::vector<TriFace> tris;
    polygon.triangulate(tris);
    EXPECT_EQ(tris.size(), 8u);
    expectTiling(o, tris, 24.0 - 2.0 - 1.5);
}

TEST(ComplexPolygon, ProjectsThroughTheGivenFrameAndHomogeneousW) {
    // A square in the plane x = 5, given with w = 2.
    std::vector<double> vertices = {10, 0, 0, 2, 10, 0, 2, 2, 10, 2, 2, 2, 10, 2, 0, 2};
    std::multimap<std::uint32_t, std::uint32_t> edges = {{0, 3}, {3, 2}, {2, 1}, {1, 0}};
    const double origin[3] = {5, 0, 0};
    const double u[3] = {0, 0, 1};
    const double v[3] = {0, 1, 0};
    ComplexPolygon polygon(vertices, origin, u, v, edges);
    std::vector<TriFace> tris;
    polygon.triangulate(tris);
    ASSERT_EQ(tris.size(), 2u);
    std::set<std::uint32_t> used;
    for (const TriFace& t : tris)
        used.insert(t.v, t.v + 3);
    EXPECT_EQ(used.size(), 4u);
}
