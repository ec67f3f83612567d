// The scene as the window shows it: objects, visibility, colour refills,
// selection boxes, materials, lines and floating text, checked by pixels.
#include <gtest/gtest.h>

#include "SceneWindow.h"

#include "graphics/DynamicLine.h"
#include "graphics/MeshRenderer.h"
#include "graphics/MovableText.h"
#include "graphics/RayQuery.h"
#include "graphics/SceneNodeListener.h"
#include "log/Exception.h"
#include "scene/SelectionManager.h"

#include <OgreEntity.h>
#include <OgreSceneManager.h>
#include <OgreSceneNode.h>

#include <cstdlib>
#include <sstream>

using namespace testing_graphics;

namespace {

const Ogre::ColourValue kBackground(0, 0, 1);
const Ogre::ColourValue kRed(1, 0, 0);
const Ogre::ColourValue kGreen(0, 1, 0);
const Ogre::ColourValue kWhite(1, 1, 1);
const Ogre::ColourValue kYellow(1, 1, 0);

// The material fallback is reported on a debug channel; switch it on
// before the first channel is made.
const bool kMeshChannelOn = (setenv("DEBUG", "MESHRENDERER", 1), true);

Ogre::ColourValue pixel(const Ogre::Image& image, const Ogre::Vector2& at) {
    return image.getColourAt(unsigned(at.x), unsigned(at.y), 0);
}

} // namespace

TEST(GraphicsPresenter, RedCubeIsRedWhereItStandsAndHidingRemovesIt) {
    SceneWindow window;
    Kiln::Object* cube = window.addCube(kRed);
    cube->setPosition(Ogre::Vector3(-15, 0, 0));

    Ogre::Image image = window.frame();
    const Ogre::Vector2 centre = window.project(Ogre::Vector3(-15, 0, 0));
    EXPECT_TRUE(near(pixel(image, centre), kRed)) << pixel(image, centre);
    const Ogre::Vector2 elsewhere = window.project(Ogre::Vector3(15, 0, 0));
    EXPECT_TRUE(near(pixel(image, elsewhere), kBackground));
    EXPECT_TRUE(near(image.getColourAt(2, 2, 0), kBackground));
    const PixelRect red = pixelExtent(image, kRed);
    const Ogre::Vector2 left = window.project(Ogre::Vector3(-24, 0, 9));
    EXPECT_NEAR(red.x0, left.x, 3) << "the front face spans the cube's projected width";

    cube->setVisible(false);
    EXPECT_EQ(countPixels(window.frame(), kRed), 0);
    cube->setVisible(true);
    EXPECT_GT(countPixels(window.frame(), kRed), 500);

    // Hiding a group hides its members; showing it again keeps a member
    // that was hidden on its own hidden.
    auto group = std::make_unique<Kiln::ObjectGroup>();
    group->setPresenter("graphics", window.newPresenter());
    Kiln::ObjectGroup* g = window.sceneRoot->adoptChild(std::move(group));
    Kiln::Object* member = window.addCube(kGreen, 1.0f, g);
    member->setPosition(Ogre::Vector3(15, 0, 0));
    EXPECT_GT(countPixels(window.frame(), kGreen), 50);
    g->setVisible(false);
    EXPECT_EQ(countPixels(window.frame(), kGreen), 0);
    member->setVisible(false);
    g->setVisible(true);
    EXPECT_EQ(countPixels(window.frame(), kGreen), 0);
    member->setVisible(true);
    EXPECT_GT(countPixels(window.frame(), kGreen), 50);
}

TEST(GraphicsPresenter, VertexColourChangeShowsAfterTheNextFrameAndUploadsOnlyColours) {
    SceneWindow window;
    Kiln::Object* cube = window.addCube(kRed);
    EXPECT_GT(countPixels(window.frame(), kRed), 500);

    const Kiln::MeshRenderer& renderer = *Kiln::GraphicsPresenter::of(*cube)->getMeshRenderer();
    const Kiln::MeshUploadCounts before = renderer.getUploadCounts();
    // Edited in place, without telling the presenter: the frame finds the
    // advanced colour revision on its own.
    Kiln::DynamicMesh& mesh = *cube->getMesh();
    for (std::size_t i = 0; i < mesh.getVertexCount(); ++i) {
        Kiln::Vertex v = mesh.getVertex(i);
        v.colour = kGreen;
        mesh.setVertex(mesh.getVertex(i), v);
    }
    const Ogre::Image image = window.frame();
    EXPECT_EQ(countPixels(image, kRed), 0);
    EXPECT_GT(countPixels(image, kGreen), 500);
    const Kiln::MeshUploadCounts after = renderer.getUploadCounts();
    EXPECT_EQ(after.colours, before.colours + 1);
    EXPECT_EQ(after.positions, before.positions);
    EXPECT_EQ(after.indices, before.indices);
    EXPECT_EQ(after.reallocations, before.reallocations);

    // Nothing changed: nothing is written.
    window.frame();
    EXPECT_EQ(renderer.getUploadCounts().colours, after.colours);

    // Moving one vertex refills positions (with normals) but not indices.
    Kiln::Vertex moved = mesh.getVertex(0);
    moved.position *= 2.0f;
    mesh.setVertex(mesh.getVertex(0), moved);
    window.frame();
    EXPECT_EQ(renderer.getUploadCounts().positions, after.positions + 1);
    EXPECT_EQ(renderer.getUploadCounts().indices, after.indices);
    EXPECT_EQ(renderer.getUploadCounts().colours, after.colours);

    // New faces refill the indices.
    std::vector<Kiln::Face> faces = mesh.getFaces();
    faces.resize(faces.size() / 2);
    mesh.setFaces(faces);
    window.frame();
    EXPECT_EQ(renderer.getUploadCounts().indices, after.indices + 1);
}

TEST(GraphicsPresenter, SelectingDrawsTheBoundingBoxAndDeselectingRemovesIt) {
    SceneWindow window;
    Kiln::Object* cube = window.addCube(kRed);
    // Turned, the box is wider than the cube, so its edges stand on background.
    cube->setOrientation(Ogre::Quaternion(Ogre::Degree(45), Ogre::Vector3::UNIT_Y));
    Kiln::SelectionManager selection(window.sceneRoot.get());

    EXPECT_EQ(countPixels(window.frame(), kWhite, 0.15f), 0);
    selection.addObjectToSelected(cube->getHandle());
    const Ogre::Image image = window.frame();
    EXPECT_GT(countPixels(image, kWhite, 0.15f), 100);

    const auto box = cube->getParameterValue<Ogre::AxisAlignedBox>("boundingBox");
    ASSERT_TRUE(box.has_value());
    const float half = 9.0f * std::sqrt(2.0f);
    EXPECT_NEAR(box->getMaximum().x, half, 1e-3);
    EXPECT_NEAR(box->getMinimum().y, -9.0f, 1e-3);
    // The white lines span the box's projected width (its near face).
    const PixelRect white = pixelExtent(image, kWhite, 0.15f);
    EXPECT_NEAR(white.x0, window.project(Ogre::Vector3(-half, 0, half)).x, 3);
    EXPECT_NEAR(white.x1, window.project(Ogre::Vector3(half, 0, half)).x, 3);

    selection.removeObjectFromSelected(cube->getHandle());
    EXPECT_EQ(countPixels(window.frame(), kWhite, 0.15f), 0);
}

TEST(GraphicsPresenter, UnknownMaterialFallsBackToTheDefaultWithOneDebugLine) {
    ASSERT_TRUE(kMeshChannelOn);
    SceneWindow window;
    Kiln::Object* cube = window.addCube(kRed);
    const Kiln::MeshRenderer& renderer = *Kiln::GraphicsPresenter::of(*cube)->getMeshRenderer();

    std::ostringstream captured;
    std::streambuf* const old = std::clog.rdbuf(captured.rdbuf());
    cube->setParameter("material", "Textures/MissingNextToTheFile");
    std::clog.rdbuf(old);

    std::istringstream lines(captured.str());
    int mentions = 0;
    for (std::string line; std::getline(lines, line);)
        mentions += line.find("Textures/MissingNextToTheFile") != std::string::npos ? 1 : 0;
    EXPECT_EQ(mentions, 1) << captured.str();
    EXPECT_EQ(renderer.getEffectiveMaterial(), "defaultMaterial");
    EXPECT_EQ(cube->getParameterValue<std::string>("material"), "Textures/MissingNextToTheFile")
        << "the name asked for survives, so saving keeps it";
    EXPECT_GT(countPixels(window.frame(), kRed), 500);

    cube->setParameter("material", "wireframeMaterial");
    EXPECT_EQ(renderer.getEffectiveMaterial(), "wireframeMaterial");
    cube->setParameter("castShadows", false);
    EXPECT_FALSE(renderer.getEntity()->getCastShadows());
    cube->setParameter("castShadows", true);
    EXPECT_TRUE(renderer.getEntity()->getCastShadows());
}

TEST(GraphicsPresenter, MeshWithoutFacesDrawsNothingAndValuesSetEarlyReachTheRenderer) {
    SceneWindow window;
    auto object = std::make_unique<Kiln::Object>();
    // Stored before any presenter exists, delivered when it binds.
    object->setParameter("castShadows", false);
    object->setPresenter("graphics", window.newPresenter());
    std::vector<Kiln::Vertex> vertices(3);
    vertices[1].position = Ogre::Vector3(20, 0, 0);
    vertices[2].position = Ogre::Vector3(0, 20, 0);
    object->setMesh(std::make_unique<Kiln::DynamicMesh>(vertices, std::vector<Kiln::Face>{}));
    Kiln::Object* lonely = window.sceneRoot->adoptChild(std::move(object));
    const Ogre::Image image = window.frame();
    EXPECT_EQ(countPixels(image, kBackground), int(kWidth * kHeight));
    EXPECT_FALSE(Kiln::GraphicsPresenter::of(*lonely)->getMeshRenderer()->getCastShadows());

    // An empty mesh too, and a face pointing past the vertices.
    lonely->setMesh(std::make_unique<Kiln::DynamicMesh>());
    EXPECT_EQ(countPixels(window.frame(), kBackground), int(kWidth * kHeight));
    lonely->setMesh(std::make_unique<Kiln::DynamicMesh>(vertices, std::vector<Kiln::Face>{{0, 1, 7}}));
    EXPECT_NO_THROW(window.frame());
}

TEST(GraphicsPresenter, NodesFollowTransformsParentsAndTheCameraFollowsTheViewRoot) {
    SceneWindow window;
    auto group = std::make_unique<Kiln::ObjectGroup>();
    group->setPresenter("graphics", window.newPresenter());
    Kiln::ObjectGroup* g = window.sceneRoot->adoptChild(std::move(group));
    Kiln::Object* cube = window.addCube(kRed, 1.0f);
    Kiln::GraphicsPresenter& cubePresenter = *Kiln::GraphicsPresenter::of(*cube);
    EXPECT_EQ(cubePresenter.getSceneNode()->getParentSceneNode(),
              Kiln::GraphicsPresenter::of(*window.sceneRoot)->getSceneNode());

    g->takeChild(cube);
    EXPECT_EQ(cubePresenter.getSceneNode()->getParentSceneNode(),
              Kiln::GraphicsPresenter::of(*g)->getSceneNode());
    g->setPosition(Ogre::Vector3(10, 0, 0));
    cube->setPosition(Ogre::Vector3(0, 5, 0));
    window.frame();
    EXPECT_TRUE(cubePresenter.getSceneNode()->_getDerivedPosition().positionEquals(Ogre::Vector3(10, 5, 0)));
    EXPECT_EQ(cubePresenter.getSceneNode()->getScale(), Ogre::Vector3(1.0f));

    // The copy draws on its own and starts visible even from a hidden node.
    cube->setVisible(false);
    std::unique_ptr<Kiln::ObjectGroup> copy = cube->clone();
    Kiln::GraphicsPresenter* copied = Kiln::GraphicsPresenter::of(*copy);
    ASSERT_NE(copied, nullptr);
    ASSERT_NE(copied->getMeshRenderer(), nullptr);
    EXPECT_NE(copied->getMeshRenderer()->getName(), cubePresenter.getMeshRenderer()->getName());
    copy.reset();

    window.viewRoot->setPosition(Ogre::Vector3(0, 0, 40));
    window.frame();
    EXPECT_TRUE(window.graphics->getCamera()->getDerivedPosition().positionEquals(Ogre::Vector3(0, 0, 40)));

    // Removed from the scene, the root's objects are no longer drawn.
    cube->setVisible(true);
    EXPECT_GT(countPixels(window.frame(), kRed), 10);
    window.scene->removeObject(window.sceneRoot->getHandle());
    EXPECT_EQ(countPixels(window.frame(), kRed), 0);
}

TEST(GraphicsPresenter, CameraRayPicksTheNearestObjectFirst) {
    SceneWindow window;
    Kiln::Object* front = window.addCube(kRed, 1.0f);
    front->setPosition(Ogre::Vector3(0, 0, 20));
    Kiln::Object* back = window.addCube(kGreen, 1.0f);
    window.frame();

    const auto hits = Kiln::pickObjects(*window.graphics->getCamera(), *window.sceneRoot, 0.5f, 0.5f);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].object.get(), front);
    EXPECT_EQ(hits[1].object.get(), back);
    EXPECT_NEAR(hits[0].point.z, 23.0f, 1e-3) << "the front face of the front cube";
    EXPECT_LT(hits[0].distance, hits[1].distance);
    EXPECT_TRUE(Kiln::pickObjects(*window.graphics->getCamera(), *window.sceneRoot, 0.02f, 0.02f).empty());
}

TEST(GraphicsPresenter, DynamicLineAndMovableTextAppearWhereTheyArePlaced) {
    SceneWindow window;
    Ogre::SceneManager& sceneManager = *window.graphics->getSceneManager();
    Ogre::SceneNode* lineNode = sceneManager.getRootSceneNode()->createChildSceneNode();
    Kiln::DynamicLine line(Kiln::DynamicLine::DLT_LINE_LIST, false);
    line.addPoint(Ogre::Vector3(-20, -15, 0), kGreen);
    line.addPoint(Ogre::Vector3(20, -15, 0), kGreen);
    line.update();
    lineNode->attachObject(&line);

    Ogre::SceneNode* textNode = sceneManager.getRootSceneNode()->createChildSceneNode(Ogre::Vector3(0, 15, 0));
    Kiln::MovableText text("label", "MORVEL", "Brevant", 8.0f, kYellow);
    textNode->attachObject(&text);

    const Ogre::Image image = window.frame();
    const Ogre::Vector2 middle = window.project(Ogre::Vector3(0, -15, 0));
    bool lineFound = false;
    for (int dy = -1; dy <= 1; ++dy)
        lineFound = lineFound || near(pixel(image, middle + Ogre::Vector2(0, float(dy))), kGreen);
    EXPECT_TRUE(lineFound);
    const PixelRect green = pixelExtent(image, kGreen);
    EXPECT_NEAR(green.x0, window.project(Ogre::Vector3(-20, -15, 0)).x, 2);
    EXPECT_NEAR(green.x1, window.project(Ogre::Vector3(20, -15, 0)).x, 2);

    const PixelRect yellow = pixelExtent(image, kYellow, 0.25f);
    ASSERT_GE(yellow.x0, 0) << "the text drew no pixel";
    const Ogre::Vector2 anchor = window.project(Ogre::Vector3(0, 15, 0));
    EXPECT_NEAR((yellow.x0 + yellow.x1) * 0.5f, anchor.x, 6) << "centred on its node";
    EXPECT_NEAR((yellow.y0 + yellow.y1) * 0.5f, anchor.y, 6);
    EXPECT_GT(countPixels(image, kYellow, 0.25f), 40);

    // Changing the points moves the line on the next update.
    line.setPoint(0, Ogre::Vector3(-20, 10, 0), kGreen);
    line.setPoint(1, Ogre::Vector3(20, 10, 0), kGreen);
    line.update();
    const Ogre::Image moved = window.frame();
    EXPECT_TRUE(near(pixel(moved, window.project(Ogre::Vector3(0, 10, 0))), kGreen) ||
                near(pixel(moved, window.project(Ogre::Vector3(0, 10, 0)) + Ogre::Vector2(0, 1)), kGreen));
    EXPECT_FALSE(near(pixel(moved, middle), kGreen));

    lineNode->detachAllObjects();
    textNode->detachAllObjects();
}

TEST(GraphicsPresenter, LinesTextAndNodeListenersRefuseMisuse) {
    SceneWindow window;
    try {
        Kiln::DynamicLine strip(Kiln::DynamicLine::DLT_LINE_STRIP, true);
        FAIL() << "indices on a strip were accepted";
    } catch (const Kiln::Exception& e) {
        EXPECT_EQ(e.getDescription(), "Indexes cannot be used with the line type DLT_LINE_STRIP");
    }
    Kiln::DynamicLine line(Kiln::DynamicLine::DLT_LINE_LIST, true);
    line.addPoint(Ogre::Vector3::ZERO);
    line.addPoint(Ogre::Vector3::UNIT_X);
    line.addIndex(0);
    line.addIndex(5); // clamped when the buffers are built
    EXPECT_NO_THROW(line.update());
    try {
        line.getVertex(2);
        FAIL() << "index 2 of 2 points was accepted";
    } catch (const Kiln::Exception& e) {
        EXPECT_EQ(e.getDescription(), "Index out of range.\nIndex : 2\nVertex Count: 2");
    }
    // Capacities follow the shared rule as points come and go.
    for (int i = 0; i < 3; ++i)
        line.addPoint(Ogre::Vector3(float(i), 0, 0));
    line.update();
    EXPECT_EQ(line.getVertexCapacity(), 8u);
    line.clear();
    line.addPoint(Ogre::Vector3::ZERO);
    line.update();
    EXPECT_EQ(line.getVertexCapacity(), 2u);

    EXPECT_THROW(Kiln::MovableText("", "caption"), Kiln::Exception);
    EXPECT_THROW(Kiln::MovableText("name", ""), Kiln::Exception);
    try {
        Kiln::MovableText text("name", "caption", "NoSuchFont");
        FAIL() << "an unknown font was accepted";
    } catch (const Kiln::Exception& e) {
        EXPECT_EQ(e.getDescription(), "Could not find font NoSuchFont");
    }

    int attached = 0;
    Kiln::SceneNodeListener listener([&](const Ogre::SceneNode&) { ++attached; }, nullptr);
    Ogre::SceneManager& sceneManager = *window.graphics->getSceneManager();
    Ogre::SceneNode* node = sceneManager.createSceneNode();
    node->setListener(&listener);
    sceneManager.getRootSceneNode()->addChild(node);
    EXPECT_EQ(attached, 1);
    node->setListener(nullptr);
    sceneManager.getRootSceneNode()->removeChild(node);
    sceneManager.destroySceneNode(node);

    struct PlainNode : Ogre::Node {
        Ogre::Node* createChildImpl() override { return nullptr; }
        Ogre::Node* createChildImpl(const Ogre::String&) override { return nullptr; }
    } plain;
    EXPECT_THROW(listener.nodeAttached(&plain), Kiln::Exception);
    EXPECT_THROW(listener.nodeUpdated(&plain), Kiln::Exception);
}
