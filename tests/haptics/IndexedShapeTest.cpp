#include "haptics/HapticsPresenter.h"
#include "haptics/IndexedShape.h"
#include "haptics/RuspiniRenderer.h"

#include "detail/SphereSweep.h"
#include "detail/TriangleTree.h"
#include "log/Exception.h"
#include "mesh/MeshEditor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

using namespace Kiln;

TEST(IndexedShape, BuildsOneTriangleRecordPerFaceInOrder) {
    const std::unique_ptr<DynamicMesh> cube =
        MeshEditor::createNewDynamicMesh(int(PrimitiveType::Cube), Ogre::ColourValue::White);
    const IndexedShape shape(cube->getFaces(), cube->getVertices());
    ASSERT_EQ(shape.getTriangles().size(), cube->getFaceCount());
    for (std::size_t i = 0; i < cube->getFaceCount(); i += 997) {
        const HapticTriangle& tri = shape.getTriangles()[i];
        const Ogre::Vector3& p1 = cube->getVertices()[cube->getFaces()[i].i1].position;
        EXPECT_EQ(tri.p1.x, p1.x);
        EXPECT_EQ(tri.p1.z, p1.z);
        EXPECT_TRUE(tri.valid);
        // Outward winding: the normal points away from the centre.
        EXPECT_GT(dot(tri.n, tri.p0), 0.0);
    }
    EXPECT_DOUBLE_EQ(shape.getBounds().max.x, 3.0);
    EXPECT_DOUBLE_EQ(shape.getBounds().min.z, -3.0);

    const std::vector<float> positions = {0, 0, 0, 1, 0, 0, 0, 1, 0, 2, 2, 2};
    const IndexedShape degenerate(positions, {0, 1, 2, 0, 0, 3});
    EXPECT_TRUE(degenerate.getTriangles()[0].valid);
    EXPECT_FALSE(degenerate.getTriangles()[1].valid);
    EXPECT_THROW(IndexedShape(positions, {0, 1, 4}), Exception);
}

TEST(IndexedShape, CloneSharesGeometryButKeepsItsOwnSettings) {
    const std::vector<float> positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    auto shape = std::make_shared<IndexedShape>(positions, std::vector<std::uint32_t>{0, 1, 2});
    shape->setSide(HapticSideBoth);
    shape->setTransform({1, 2, 3}, Ogre::Quaternion::IDENTITY, {2, 2, 2});
    auto copy = std::dynamic_pointer_cast<IndexedShape>(shape->clone());
    ASSERT_TRUE(copy);
    EXPECT_EQ(&copy->getTriangles(), &shape->getTriangles());
    EXPECT_EQ(copy->getSide(), HapticSideBoth);
    EXPECT_DOUBLE_EQ(copy->getFrame().linear.m[1][1], 2.0);
    copy->setSide(HapticSideInner);
    EXPECT_EQ(shape->getSide(), HapticSideBoth);

    const float matrix[12] = {0, -1, 0, 5, 1, 0, 0, 6, 0, 0, 1, 7};
    copy->setTransformMatrix(matrix);
    const ShapeFrame frame = copy->getFrame();
    EXPECT_DOUBLE_EQ(frame.translation.y, 6.0);
    EXPECT_TRUE(frame.rigid);
    const Vec3d back = frame.inverse * (frame.linear * Vec3d(1, 2, 3));
    EXPECT_NEAR(back.y, 2.0, 1e-12);
}

TEST(TriangleTree, ReturnsEveryTriangleWhoseBoxMeetsTheQuery) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> coordinate(-10.0, 10.0);
    std::vector<Box3d> boxes(3000);
    for (Box3d& box : boxes) {
        const Vec3d c(coordinate(random), coordinate(random), coordinate(random));
        box.extend(c);
        box.extend(c + Vec3d(0.3, 0.1, 0.2));
    }
    const TriangleTree tree(boxes);
    for (int q = 0; q < 50; ++q) {
        Box3d query;
        const Vec3d c(coordinate(random), coordinate(random), coordinate(random));
        query.extend(c);
        query.extend(c + Vec3d(2, 1.5, 3));
        std::vector<std::uint32_t> found;
        tree.forEachOverlap(query, [&](std::uint32_t i) { found.push_back(i); });
        std::vector<std::uint32_t> expected;
        for (std::uint32_t i = 0; i < boxes.size(); ++i)
            if (boxes[i].overlaps(query))
                expected.push_back(i);
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, expected);
    }
    const TriangleTree empty(std::vector<Box3d>{});
    int visits = 0;
    empty.forEachOverlap(boxes[0], [&](std::uint32_t) { ++visits; });
    EXPECT_EQ(visits, 0);
}

namespace {

struct Hit {
    double t;
    Vec3d contact;
    bool operator==(const Hit& o) const {
        return t == o.t && contact.x == o.contact.x && contact.y == o.contact.y &&
               contact.z == o.contact.z;
    }
};

// What sweeping every triangle of the shape, one by one, finds.
std::vector<Hit> hitsOfEveryTriangle(const IndexedShape& shape, const Vec3d& proxy,
                                     const Vec3d& move, double radius, double minT) {
    const ShapeFrame& frame = shape.tickState().frame;
    const SweptSphere sphere = makeSweptSphere(frame, proxy, move, radius);
    std::vector<Hit> hits;
    for (std::size_t f = 0; f < shape.getTriangles().size(); ++f) {
        const HapticTriangle& tri = shape.getTriangles()[f];
        const double height = dot(tri.n, sphere.localStart) - tri.d;
        const int side = shape.getSide();
        if (!tri.valid || (side == HapticSideOuter && height < 0.0) ||
            (side == HapticSideInner && height >= 0.0))
            continue;
        SweepHit hit;
        if (sweepSphereTriangle(tri, frame, sphere, minT, hit))
            hits.push_back({hit.t, hit.contact + frame.translation});
    }
    return hits;
}

// The shape may leave later hits out, but must report every hit within
// simultaneousHit of the earliest, exactly, and nothing that is no hit.
void expectEarliestHits(const std::vector<ConstraintRecord>& records,
                        const std::vector<Hit>& expected) {
    std::vector<Hit> reported;
    for (const ConstraintRecord& record : records)
        if (record.active)
            reported.push_back({record.t, record.contact});
    double earliest = 1e300;
    for (const Hit& hit : expected)
        earliest = std::min(earliest, hit.t);
    for (const Hit& hit : reported)
        EXPECT_NE(std::find(expected.begin(), expected.end(), hit), expected.end())
            << "reported a hit at t = " << hit.t << " that is none";
    for (const Hit& hit : expected) {
        if (hit.t <= earliest + simultaneousHit) {
            EXPECT_NE(std::find(reported.begin(), reported.end(), hit), reported.end())
                << "missed the hit at t = " << hit.t;
        }
    }
}

} // namespace

// The shape sweeps exactly only the triangles that may come first; checked
// against sweeping every triangle of a torus (convex and saddle-shaped
// parts) from on, near and inside its surface, placed as given, rotated, and
// stretched, for each side setting, and again for a second move of the tick.
TEST(IndexedShape, SweepsFindTheEarliestHitsOfSweepingEveryTriangle) {
    const std::unique_ptr<DynamicMesh> torus =
        MeshEditor::createNewDynamicMesh(int(PrimitiveType::Torus), Ogre::ColourValue::White);
    IndexedShape shape(torus->getFaces(), torus->getVertices());
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const auto direction = [&] {
        return normalised(Vec3d(unit(random), unit(random), unit(random)));
    };
    const Ogre::Quaternion tilt(Ogre::Degree(50), Ogre::Vector3(1, 2, 0).normalisedCopy());
    const Ogre::Vector3 scales[] = {Ogre::Vector3::UNIT_SCALE, Ogre::Vector3::UNIT_SCALE,
                                    {1.6f, 0.7f, 1.0f}};
    const Ogre::Vector3 positions[] = {Ogre::Vector3::ZERO, {2, -1, 3}, {0, 1, 0}};
    const double radius = 0.2;
    int hitSweeps = 0;
    for (int placement = 0; placement < 3; ++placement)
        for (const int side : {HapticSideOuter, HapticSideBoth, HapticSideInner}) {
            shape.setTransform(positions[placement], placement ? tilt : Ogre::Quaternion::IDENTITY,
                               scales[placement]);
            shape.setSide(side);
            shape.beginTick();
            const ShapeFrame& frame = shape.tickState().frame;
            for (int i = 0; i < 60; ++i) {
                SCOPED_TRACE("placement " + std::to_string(placement) + ", side " +
                             std::to_string(side) + ", sweep " + std::to_string(i));
                const auto& tri = shape.getTriangles()[random() % shape.getTriangles().size()];
                const Vec3d surface = frame.linear * tri.centre + frame.translation;
                const Vec3d normal = normalised(frame.inverse.transposed() * tri.n);
                const Vec3d proxy = surface + normal * (radius * (1.0 + unit(random))) +
                                    direction() * (0.05 * radius);
                const Vec3d move = (i % 2 ? -normal : direction()) * (radius * 2.0 * (1.1 + unit(random)));
                const double backTolerance = std::min(1.0, radius / length(move));
                std::vector<ConstraintRecord> records;
                shape.collectConstraints(records, proxy, move, radius, backTolerance);
                const std::vector<Hit> first =
                    hitsOfEveryTriangle(shape, proxy, move, radius, -backTolerance);
                expectEarliestHits(records, first);

                const Vec3d next = proxy + move * 0.3;
                const Vec3d slide = direction() * (radius * 0.8);
                shape.updateConstraints(records, next, slide, radius, 1e-7);
                const std::vector<Hit> second = hitsOfEveryTriangle(shape, next, slide, radius, -1e-7);
                expectEarliestHits(records, second);
                hitSweeps += !first.empty() + !second.empty();
            }
        }
    EXPECT_GT(hitSweeps, 300) << "most sweeps must touch the torus";
}

namespace {

// A closed UV sphere of radius 3: rings x segments quads, two triangles each.
void uvSphere(int rings, int segments, std::vector<Vertex>& vertices, std::vector<Face>& faces) {
    vertices.clear();
    faces.clear();
    for (int i = 0; i <= rings; ++i)
        for (int j = 0; j < segments; ++j) {
            const double theta = M_PI * i / rings, phi = 2.0 * M_PI * j / segments;
            Vertex v;
            v.position = Ogre::Vector3(float(3 * std::sin(theta) * std::cos(phi)),
                                       float(3 * std::cos(theta)),
                                       float(3 * std::sin(theta) * std::sin(phi)));
            vertices.push_back(v);
        }
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < segments; ++j) {
            const std::uint32_t a = i * segments + j, b = i * segments + (j + 1) % segments;
            const std::uint32_t c = a + segments, d = b + segments;
            faces.push_back({a, b, c});
            faces.push_back({b, d, c});
        }
}

// A dent of `depth` around `centre` (on the sphere), `reach` wide, as the
// presenter's worker makes it.
void dent(std::vector<Vertex>& vertices, const Ogre::Vector3& centre, float reach, float depth) {
    HapticDeformation worker;
    worker.displacement = -centre.normalisedCopy() * depth;
    Ogre::Matrix4 scaling = Ogre::Matrix4::IDENTITY;
    scaling.setScale(Ogre::Vector3(1.f / reach));
    Ogre::Matrix4 shift = Ogre::Matrix4::IDENTITY;
    shift.setTrans(-centre);
    worker.transform = scaling * shift;
    worker(vertices);
}

bool same(const Vec3d& a, const Vec3d& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

void expectSameTriangles(const IndexedShape& refitted, const IndexedShape& fresh) {
    ASSERT_EQ(refitted.getTriangles().size(), fresh.getTriangles().size());
    for (std::size_t f = 0; f < fresh.getTriangles().size(); ++f) {
        const HapticTriangle& a = refitted.getTriangles()[f];
        const HapticTriangle& b = fresh.getTriangles()[f];
        ASSERT_EQ(a.valid, b.valid) << "face " << f;
        ASSERT_TRUE(same(a.p0, b.p0) && same(a.p1, b.p1) && same(a.p2, b.p2) &&
                    (!a.valid || (same(a.n, b.n) && a.d == b.d)))
            << "face " << f;
    }
    const Box3d& x = refitted.getBounds();
    const Box3d& y = fresh.getBounds();
    EXPECT_TRUE(same(x.min, y.min) && same(x.max, y.max));
}

} // namespace

// Dent after dent, each shape refitted from the one before: it must answer
// distance and sweep queries exactly as a shape built afresh on the dented
// vertices, share most of its pages, and leave the shape it came from (which
// the haptic thread may still be using) as it was.
TEST(IndexedShapeRefit, ARefittedShapeAnswersLikeAFreshOne) {
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    uvSphere(64, 128, vertices, faces);
    auto shape = std::make_shared<IndexedShape>(faces, vertices);
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const Ogre::Vector3 centres[] = {{0, 3, 0}, {3, 0, 0}, {2.1f, 2.1f, 0}, {3, 0, 0}};
    for (const Ogre::Vector3& centre : centres) {
        SCOPED_TRACE("dent at " + std::to_string(centre.x) + " " + std::to_string(centre.y));
        const auto previous = shape;
        std::vector<double> before;
        std::vector<Vec3d> probes;
        for (int i = 0; i < 200; ++i) {
            const Vec3d c(centre.x, centre.y, centre.z);
            probes.push_back(c + Vec3d(unit(random), unit(random), unit(random)) * 0.8);
            before.push_back(previous->localDistance(probes.back(), 2.0));
        }
        dent(vertices, centre, 0.6f, 0.25f);
        ShapeUpdateStats stats;
        shape = previous->refitted(vertices, &stats);
        ASSERT_TRUE(shape);
        const IndexedShape fresh(faces, vertices);
        expectSameTriangles(*shape, fresh);
        EXPECT_GT(stats.movedTriangles, 50u);
        EXPECT_LT(stats.pagesCopied * 2, stats.pagesTotal) << "most pages stay shared";
        for (std::size_t i = 0; i < probes.size(); ++i) {
            ASSERT_EQ(shape->localDistance(probes[i], 2.0), fresh.localDistance(probes[i], 2.0));
            ASSERT_EQ(previous->localDistance(probes[i], 2.0), before[i])
                << "the old shape must not change";
        }

        // Sweeps from around the dent, as the proxy presses into and slides
        // over it.
        shape->setSide(HapticSideBoth);
        shape->beginTick();
        const double radius = 0.1;
        int hits = 0;
        for (int i = 0; i < 80; ++i) {
            const Vec3d outward = normalised(Vec3d(centre.x, centre.y, centre.z));
            const Vec3d proxy = outward * (3.0 + radius * (1.0 + unit(random))) +
                                Vec3d(unit(random), unit(random), unit(random)) * 0.4;
            const Vec3d move = (i % 2 ? -outward : normalised(Vec3d(unit(random), unit(random),
                                                                     unit(random)))) * 0.3;
            std::vector<ConstraintRecord> records;
            shape->collectConstraints(records, proxy, move, radius, 1.0);
            const std::vector<Hit> expected = hitsOfEveryTriangle(*shape, proxy, move, radius, -1.0);
            expectEarliestHits(records, expected);
            hits += !expected.empty();
        }
        EXPECT_GT(hits, 20);
    }
}

// The renderer on a refitted shape and on a fresh one: the same proxy path
// tick by tick while the hand presses into the dent and slides across it.
TEST(IndexedShapeRefit, TheRendererFeelsARefittedDentAsAFreshOne) {
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    uvSphere(48, 96, vertices, faces);
    const auto original = std::make_shared<IndexedShape>(faces, vertices);
    dent(vertices, {0, 3, 0}, 0.8f, 0.3f);
    const auto refitted = original->refitted(vertices);
    ASSERT_TRUE(refitted);
    const auto fresh = std::make_shared<IndexedShape>(faces, vertices);
    RuspiniRenderer a(0.15), b(0.15);
    a.addShape(refitted);
    b.addShape(fresh);
    a.enable();
    b.enable();
    int contactTicks = 0;
    for (int tick = 0; tick < 3000; ++tick) {
        const double s = tick / 3000.0;
        DeviceSample sample;
        sample.position = tick < 500 ? Vec3d(0.0, 4.0 - 2.0 * tick / 500.0, 0.0)
                                     : Vec3d(std::sin(6.0 * s), 2.0, std::cos(5.0 * s) - 1.0);
        a.tick(sample, 1.0);
        b.tick(sample, 1.0);
        const Vec3d pa = a.getProxy(), pb = b.getProxy();
        ASSERT_LT(length(pa - pb), 1e-9) << "tick " << tick;
        contactTicks += !a.getContacts().empty();
        ASSERT_GE(refitted->localDistance(pa, 1.0), 0.15 * (1.0 - 1e-6)) << "tick " << tick;
    }
    EXPECT_GT(contactTicks, 1000);
}

TEST(IndexedShapeRefit, MovedVerticesNamedByTheCallerAndCasesThatNeedABuild) {
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    uvSphere(16, 32, vertices, faces);
    const auto shape = std::make_shared<IndexedShape>(faces, vertices);
    EXPECT_TRUE(shape->hasFaces(faces));
    std::vector<Face> swapped = faces;
    std::swap(swapped[3], swapped[4]);
    EXPECT_FALSE(shape->hasFaces(swapped));

    std::vector<Vertex> moved = vertices;
    dent(moved, {3, 0, 0}, 1.0f, 0.2f);
    std::vector<std::uint32_t> named;
    for (std::uint32_t v = 0; v < moved.size(); ++v)
        if (moved[v].position != vertices[v].position)
            named.insert(named.end(), {v, v, 0u}); // repeats and unmoved ones are allowed
    ASSERT_FALSE(named.empty());
    ShapeUpdateStats byDiff, byName;
    const auto a = shape->refitted(moved, &byDiff);
    const auto b = shape->refitted(moved, named, &byName);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(byDiff.movedVertices, byName.movedVertices);
    expectSameTriangles(*a, *b);
    expectSameTriangles(*a, IndexedShape(faces, moved));
    EXPECT_THROW(shape->refitted(moved, std::vector<std::uint32_t>{std::uint32_t(moved.size())}),
                 Exception);

    std::vector<Vertex> fewer(vertices.begin(), vertices.end() - 1);
    EXPECT_FALSE(shape->refitted(fewer)) << "another vertex count";
    std::vector<Vertex> flattened = vertices;
    const Face& f = faces[523]; // away from the poles, whose rows are degenerate already
    flattened[f.i1].position = flattened[f.i0].position; // the triangle turns degenerate
    EXPECT_FALSE(shape->refitted(flattened));
}
