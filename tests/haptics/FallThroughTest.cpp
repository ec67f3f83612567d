// The proxy must never sink into a surface, however fast the hand moves:
// the device point is driven several world units per tick into, along and
// across the primitives, and every tick the proxy is checked against the
// mesh itself.
#include "HapticTestSupport.h"

#include "detail/SphereSweep.h"
#include "haptics/RuspiniRenderer.h"
#include "mesh/MeshEditor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

using namespace Kiln;

namespace {

struct WorldMesh {
    std::vector<Vec3d> corners; // three per triangle, world frame
    double size = 0.0;          // largest extent of the bounding box

    double distance(const Vec3d& p) const {
        double best = 1e300;
        for (std::size_t i = 0; i < corners.size(); i += 3)
            best = std::min(best, squaredLength(p - closestPointOnTriangle(p, corners[i], corners[i + 1],
                                                                      corners[i + 2])));
        return std::sqrt(best);
    }
};

struct Case {
    const char* name;
    int type;
    double radius;
    Ogre::Vector3 position = Ogre::Vector3::ZERO;
    Ogre::Quaternion orientation = Ogre::Quaternion::IDENTITY;
    Ogre::Vector3 scale = Ogre::Vector3::UNIT_SCALE;
    // Whether a local-frame point lies clearly inside the solid.
    std::function<bool(const Vec3d&)> inside;
};

WorldMesh worldMeshOf(const DynamicMesh& mesh, const ShapeFrame& frame) {
    WorldMesh world;
    Box3d box;
    for (const Face& f : mesh.getFaces())
        for (int k = 0; k < 3; ++k) {
            const Ogre::Vector3& p = mesh.getVertices()[f[k]].position;
            world.corners.push_back(frame.linear * Vec3d(p.x, p.y, p.z) + frame.translation);
            box.extend(world.corners.back());
        }
    const Vec3d extent = box.max - box.min;
    world.size = std::max({extent.x, extent.y, extent.z});
    return world;
}

// Device positions: pressing in, circling inside, jumping across, random.
std::vector<Vec3d> fastTrajectory(const Vec3d& centre, double size) {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::vector<Vec3d> path;
    const double s = size / 6.0;
    Vec3d target = centre;
    for (int i = 0; i < 800; ++i) { // press in from changing directions
        if (i % 100 == 0)
            target = centre + Vec3d(unit(random), unit(random), unit(random)) * (1.5 * s);
        path.push_back(target);
    }
    for (int i = 0; i < 1200; ++i) { // circle inside the solid, ~3 units a tick
        const double a = 1.5 * i;
        path.push_back(centre + Vec3d(std::cos(a), std::sin(a), 0.5 * std::sin(2 * a)) * (2 * s));
    }
    for (int i = 0; i < 800; ++i) { // across the shape, side to side
        const double side = (i / 40) % 2 ? 1.0 : -1.0;
        path.push_back(centre + Vec3d(8 * side, 2 * unit(random), 2 * unit(random)) * s);
    }
    for (int i = 0; i < 1200; ++i) // jumps anywhere around it
        path.push_back(centre + Vec3d(unit(random), unit(random), unit(random)) * (7 * s));
    return path;
}

void expectNoFallThrough(const Case& c) {
    SCOPED_TRACE(c.name);
    const std::unique_ptr<DynamicMesh> mesh =
        MeshEditor::createNewDynamicMesh(c.type, Ogre::ColourValue::White);
    auto shape = std::make_shared<IndexedShape>(mesh->getFaces(), mesh->getVertices());
    shape->setSide(HapticSideOuter);
    shape->setTransform(c.position, c.orientation, c.scale);
    const ShapeFrame frame = shape->getFrame();
    const WorldMesh world = worldMeshOf(*mesh, frame);
    const double tolerance = 1e-6 * world.size;
    const Vec3d centre(c.position.x, c.position.y, c.position.z);

    RuspiniRenderer renderer(c.radius);
    renderer.enable();
    renderer.addShape(shape);
    const Vec3d start = centre + Vec3d(0, 0, world.size);
    renderer.tick(HapticTest::sampleAt(start), 800.0);

    double closest = 1e300;
    int contactTicks = 0;
    Vec3d previous = start;
    for (const Vec3d& device : fastTrajectory(centre, world.size)) {
        renderer.tick(HapticTest::sampleAt(device), 800.0);
        const Vec3d proxy = renderer.getProxy();
        const double gap = world.distance(proxy);
        closest = std::min(closest, gap);
        contactTicks += renderer.getContacts().empty() ? 0 : 1;
        ASSERT_GE(gap, c.radius - tolerance) << "proxy sank into the surface at " << proxy.x
                                             << ", " << proxy.y << ", " << proxy.z;
        const Vec3d local = frame.inverse * (proxy - frame.translation);
        ASSERT_FALSE(c.inside(local)) << "proxy got inside at " << proxy.x << ", " << proxy.y
                                      << ", " << proxy.z;
        if (c.type == int(PrimitiveType::Plane)) {
            // Crossing z = 0 within the sheet would be falling through it.
            const Vec3d before = frame.inverse * (previous - frame.translation);
            if ((before.z > 0) != (local.z > 0)) {
                const double f = before.z / (before.z - local.z);
                const Vec3d crossing = before + (local - before) * f;
                ASSERT_FALSE(std::fabs(crossing.x) < 3 && std::fabs(crossing.y) < 3);
            }
        }
        previous = proxy;
    }
    EXPECT_GT(contactTicks, 400) << "the path must actually press on the surface";
    EXPECT_LT(closest, c.radius + 1e-3) << "the proxy must have rested on the surface";
}

bool insideSphere(const Vec3d& p) { return length(p) < 2.9; }
bool insideCube(const Vec3d& p) {
    return std::max({std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)}) < 2.95;
}
bool insideTorus(const Vec3d& p) {
    const double ring = std::hypot(p.x, p.y) - 2.0;
    return ring * ring + p.z * p.z < 0.95 * 0.95;
}
bool nowhereInside(const Vec3d&) { return false; }

} // namespace

TEST(FallThrough, ProxyStaysOutsideEveryPrimitiveUnderFastMotion) {
    const Case cases[] = {
        {"sphere", int(PrimitiveType::Sphere), 0.2, Ogre::Vector3::ZERO, Ogre::Quaternion::IDENTITY, Ogre::Vector3::UNIT_SCALE, insideSphere},
        {"cube", int(PrimitiveType::Cube), 0.2, Ogre::Vector3::ZERO, Ogre::Quaternion::IDENTITY, Ogre::Vector3::UNIT_SCALE, insideCube},
        {"torus", int(PrimitiveType::Torus), 0.2, Ogre::Vector3::ZERO, Ogre::Quaternion::IDENTITY, Ogre::Vector3::UNIT_SCALE, insideTorus},
        {"two-layer plane", int(PrimitiveType::Plane), 0.2, Ogre::Vector3::ZERO, Ogre::Quaternion::IDENTITY, Ogre::Vector3::UNIT_SCALE, nowhereInside},
        {"large proxy on the torus", int(PrimitiveType::Torus), 0.7, Ogre::Vector3::ZERO, Ogre::Quaternion::IDENTITY, Ogre::Vector3::UNIT_SCALE, insideTorus},
    };
    for (const Case& c : cases)
        expectNoFallThrough(c);
}

TEST(FallThrough, PlacedAndStretchedShapesHoldToo) {
    const Ogre::Quaternion tilt(Ogre::Degree(35), Ogre::Vector3(1, 1, 0).normalisedCopy());
    const Case cases[] = {
        {"stretched sphere", int(PrimitiveType::Sphere), 0.15, {4, -2, 1}, tilt, {1.5f, 1.0f, 0.7f}, insideSphere},
        {"scene-scaled cube", int(PrimitiveType::Cube), 0.05, {0.5f, 0, 0}, tilt, {0.2f, 0.2f, 0.2f}, insideCube},
    };
    for (const Case& c : cases)
        expectNoFallThrough(c);
}
