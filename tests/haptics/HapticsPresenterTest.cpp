// The object presenter: its parameters, its touchable shape and the live
// dent it drives.
#include "HapticSceneSupport.h"

#include "log/Exception.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Kiln;
using HapticTest::CubeScene;

namespace {

TouchInfo pressDown(HapticStylus* stylus, float radius, const Ogre::Vector3& deformation) {
    TouchInfo info;
    info.stylus = stylus;
    info.proxyPosition = {0, 3.5f, 0};
    info.deformation = deformation;
    info.proxyRadius = radius;
    return info;
}

bool allFinite(const std::vector<Vertex>& vertices) {
    for (const Vertex& v : vertices)
        if (!std::isfinite(v.position.x) || !std::isfinite(v.position.y) || !std::isfinite(v.position.z))
            return false;
    return true;
}

} // namespace

TEST(HapticDeformation, WeightsFallFromOneAtTheCentreToNoneAtTheRim) {
    HapticDeformation dent;
    dent.displacement = {0, -2, 0};
    std::vector<Vertex> vertices(4);
    vertices[0].position = {0, 0, 0};
    vertices[1].position = {std::sqrt(0.5f), 0, 0}; // d^2 = 0.5
    vertices[2].position = {0, 0, 1};               // d^2 = 1
    vertices[3].position = {0, 1.2f, 0};
    dent(vertices);
    EXPECT_EQ(vertices[0].position, Ogre::Vector3(0, -2, 0));
    const float w = std::pow(1.f - std::sin(0.5f * 1.5707964f), 3.f);
    EXPECT_NEAR(w, 0.0251f, 1e-4f);
    EXPECT_NEAR(vertices[1].position.y, -2.f * w, 1e-6f);
    EXPECT_EQ(vertices[2].position, Ogre::Vector3(0, 0, 1));
    EXPECT_EQ(vertices[3].position, Ogre::Vector3(0, 1.2f, 0));
    EXPECT_EQ(dent.apply({0, 0, 0}), Ogre::Vector3(0, -2, 0));
}

TEST(HapticsPresenter, StiffnessIsClampedAndReadsZeroWithoutASurface) {
    Object object;
    object.setPresenter("haptics", std::make_unique<HapticsPresenter>());
    EXPECT_EQ(object.getParameterValue<float>("stiffness"), 0.f);
    object.setParameter("stiffness", 1.7f);
    EXPECT_EQ(object.getParameterValue<float>("stiffness"), 1.f);
    object.setParameter("stiffness", -0.2f);
    EXPECT_EQ(object.getParameterValue<float>("stiffness"), 0.f);
    object.setParameter("stiffness", 0.6f);
    EXPECT_EQ(object.getParameterValue<float>("stiffness"), 0.6f);
}

TEST(HapticsPresenter, StiffnessReachesTheShapeInUse) {
    CubeScene scene;
    EXPECT_FLOAT_EQ(*scene.cube->getParameterValue<float>("stiffness"), 0.35f);
    scene.cube->setParameter("stiffness", 0.9f);
    const auto* info = dynamic_cast<const HapticSimpleSurfaceInfo*>(
        scene.presenter().getShape()->getSurfaceInfo().get());
    ASSERT_NE(info, nullptr);
    EXPECT_FLOAT_EQ(info->getStiffness(), 0.9f);
}

TEST(HapticsPresenter, HapticSideRoundTripsAndNoneTakesTheShapeOut) {
    CubeScene scene;
    const auto shape = scene.presenter().getShape();
    RuspiniRenderer& renderer = *scene.manager.getRenderer();
    EXPECT_EQ(*scene.cube->getParameterValue<std::string>("hapticSide"), "outer");
    scene.cube->setParameter("hapticSide", "inner");
    EXPECT_EQ(*scene.cube->getParameterValue<std::string>("hapticSide"), "inner");
    EXPECT_EQ(shape->getSide(), HapticSideInner);
    scene.cube->setParameter("hapticSide", "both");
    EXPECT_EQ(shape->getSide(), HapticSideBoth);
    scene.cube->setParameter("hapticSide", "sideways");
    EXPECT_EQ(*scene.cube->getParameterValue<std::string>("hapticSide"), "none");
    EXPECT_FALSE(renderer.containsShape(shape));
    EXPECT_EQ(scene.presenter().getShape(), shape) << "kept, only out of reach";
    scene.cube->setParameter("hapticSide", "outer");
    EXPECT_TRUE(renderer.containsShape(shape));
    scene.cube->setVisible(false);
    EXPECT_FALSE(renderer.containsShape(shape));
    scene.cube->setVisible(true);
    EXPECT_TRUE(renderer.containsShape(shape));
}

// Moving the presenter to another node must leave nothing of it bound on
// the old one: the old node's accessors would call a presenter that is not
// there any more.
TEST(HapticsPresenter, MovingToAnotherNodeUnbindsBothParameters) {
    Object first, second;
    auto owned = std::make_unique<HapticsPresenter>();
    HapticsPresenter* presenter = owned.get();
    presenter->setObject(&first);
    ASSERT_TRUE(first.getParameter("stiffness"));
    ASSERT_TRUE(first.getParameter("hapticSide"));
    presenter->setObject(&second);
    EXPECT_FALSE(first.getParameter("stiffness"));
    EXPECT_FALSE(first.getParameter("hapticSide"));
    EXPECT_TRUE(second.getParameter("hapticSide"));
    presenter->setObject(nullptr);
    owned.reset();
    first.setParameter("hapticSide", "inner"); // stored, reaches no one
    second.setParameter("hapticSide", "inner");
    EXPECT_EQ(*second.getParameterValue<std::string>("hapticSide"), "inner");
}

TEST(HapticsPresenter, TheDentFollowsThePushAndSinksTheStylus) {
    CubeScene scene;
    scene.cube->setPosition({1, 0, 0});
    scene.cube->setScale({2, 2, 2});
    HapticsPresenter& presenter = scene.presenter();
    HapticStylus& stylus = scene.manager.getStylus();
    stylus.setPosition({0, 3.5f, 0});
    TouchInfo info = pressDown(&stylus, 0.5f, {0, -0.2f, 0});
    presenter.touchBegin(info);
    const HapticDeformation* dent = presenter.getDeformation();
    ASSERT_NE(dent, nullptr);
    // The dent centre sits one radius beyond the proxy along the push, and
    // the local displacement is the world push in the object's frame.
    const Ogre::Vector3 centreLocal((0.f - 1.f) / 2.f, 3.f / 2.f, 0.f);
    EXPECT_TRUE(dent->displacement.positionEquals({0, -0.1f, 0}, 1e-6f));
    EXPECT_TRUE(dent->apply(centreLocal).positionEquals(centreLocal + Ogre::Vector3(0, -0.1f, 0), 1e-5f));
    // 10 radii of world distance is the rim: 2.5 local units at scale 2.
    const Ogre::Vector3 rim = centreLocal + Ogre::Vector3(2.5f, 0, 0);
    EXPECT_TRUE(dent->apply(rim).positionEquals(rim, 1e-6f));
    EXPECT_TRUE(stylus.getDisplayPosition().positionEquals({0, 3.3f, 0}, 1e-6f));
    const int redraws = scene.redraws;
    presenter.touchContinue(info);
    EXPECT_EQ(scene.redraws, redraws + 1);

    // The axis locks of the stylus act on the push.
    Ogre::Matrix3 onlyX = Ogre::Matrix3::ZERO;
    onlyX[0][0] = 1.f;
    stylus.setDirectionMatrix(onlyX);
    presenter.touchContinue(info);
    EXPECT_EQ(presenter.getDeformation()->displacement, Ogre::Vector3::ZERO);

    presenter.touchEnd();
    EXPECT_EQ(presenter.getDeformation(), nullptr);
    EXPECT_EQ(stylus.getDisplayPosition(), stylus.getBasePosition());
}

TEST(HapticsPresenter, NoDentWithoutAPushOrWithABadRadius) {
    CubeScene scene;
    HapticsPresenter& presenter = scene.presenter();
    std::vector<Vertex> vertices = scene.cube->getMesh()->getVertices();
    const std::vector<Vertex> before = vertices;
    struct Case {
        float radius;
        Ogre::Vector3 push;
    };
    for (const Case& c : {Case{0.5f, Ogre::Vector3::ZERO}, Case{0.f, {0, -1, 0}},
                          Case{-0.5f, {0, -1, 0}}, Case{std::nanf(""), {0, -1, 0}},
                          Case{INFINITY, {0, -1, 0}}}) {
        presenter.touchBegin(pressDown(&scene.manager.getStylus(), c.radius, c.push));
        ASSERT_NE(presenter.getDeformation(), nullptr);
        (*presenter.getDeformation())(vertices);
        EXPECT_TRUE(allFinite(vertices)) << "radius " << c.radius;
        for (std::size_t i = 0; i < vertices.size(); ++i)
            ASSERT_EQ(vertices[i].position, before[i].position) << "radius " << c.radius;
        presenter.touchEnd();
    }
}

TEST(HapticsPresenter, AMeshChangedWhileHapticsAreOffWaitsForThemToComeBack) {
    CubeScene scene;
    HapticsPresenter& presenter = scene.presenter();
    const auto before = presenter.getShape();
    scene.manager.setHapticsEnabled(false);
    HapticDeformation lift;
    lift.displacement = {0, 1, 0};
    lift.transform = HapticTest::scaledShift(0.1f, Ogre::Vector3::ZERO);
    scene.cube->getMesh()->applyVertexWorker(lift);
    presenter.onMeshChanged();
    presenter.onMeshChanged();
    EXPECT_EQ(presenter.getShape(), before);
    scene.manager.setHapticsEnabled(true);
    ASSERT_NE(presenter.getShape(), before);
    EXPECT_TRUE(scene.manager.getRenderer()->containsShape(presenter.getShape()));
    EXPECT_FALSE(scene.manager.getRenderer()->containsShape(before));
    EXPECT_EQ(presenter.getShape()->getOwner(), &presenter);
}

// A committed dent moves vertices only: the new shape is a refit of the
// old one; new faces build a new shape; colours alone build nothing.
TEST(HapticsPresenter, DentsRefitTheShapeAndNewFacesRebuildIt) {
    CubeScene scene;
    HapticsPresenter& presenter = scene.presenter();
    const auto first = presenter.getShape();
    scene.cube->setPosition({0, 1, 0});
    HapticDeformation dent;
    dent.displacement = {0, -0.5f, 0};
    dent.transform = HapticTest::scaledShift(0.5f, {0, -3, 0});
    scene.cube->getMesh()->applyVertexWorker(dent);
    presenter.onMeshChanged();
    const auto refitted = presenter.getShape();
    ASSERT_NE(refitted, first);
    const ShapeUpdateStats& stats = presenter.getLastShapeUpdate();
    EXPECT_FALSE(stats.rebuilt);
    EXPECT_GT(stats.movedVertices, 0u);
    EXPECT_TRUE(scene.manager.getRenderer()->containsShape(refitted));
    EXPECT_FALSE(scene.manager.getRenderer()->containsShape(first));
    EXPECT_EQ(refitted->getFrame().translation.y, 1.0) << "placed like the object";
    EXPECT_EQ(refitted->getSurfaceInfo(), first->getSurfaceInfo());

    std::vector<Face> faces = scene.cube->getMesh()->getFaces();
    std::swap(faces[0], faces[1]);
    scene.cube->getMesh()->setFaces(faces);
    presenter.onMeshChanged();
    EXPECT_TRUE(presenter.getLastShapeUpdate().rebuilt);
    const auto rebuilt = presenter.getShape();

    std::vector<Vertex> recoloured = scene.cube->getMesh()->getVertices();
    for (Vertex& v : recoloured)
        v.colour = Ogre::ColourValue::Red;
    scene.cube->getMesh()->setVertices(recoloured);
    presenter.onMeshChanged();
    EXPECT_EQ(presenter.getShape(), rebuilt) << "new colours, same shape";
}

TEST(HapticsPresenter, CloneKeepsTheSideAndCopiesTheSurface) {
    CubeScene scene;
    scene.presenter().setSide(TouchSideBoth);
    scene.cube->setParameter("stiffness", 0.8f);
    const auto copy = scene.presenter().clone();
    auto* presenter = dynamic_cast<HapticsPresenter*>(copy.get());
    ASSERT_NE(presenter, nullptr);
    EXPECT_EQ(presenter->getSide(), TouchSideBoth);
    EXPECT_EQ(presenter->getManager(), nullptr);
    EXPECT_FLOAT_EQ(presenter->getStiffness(), 0.8f);
    EXPECT_NE(presenter->getSurfaceInfo(), scene.presenter().getSurfaceInfo());
    ASSERT_TRUE(presenter->getShape());
    EXPECT_NE(presenter->getShape(), scene.presenter().getShape());
    EXPECT_EQ(presenter->getShape()->getOwner(), presenter);
}
