// Stencil shadows of the presenter's meshes, checked by pixels: a cube
// over a plane lit from the front by the one light that casts shadows.
#include <gtest/gtest.h>

#include "SceneWindow.h"

#include "graphics/MeshRenderer.h"
#include "detail/ShadowEdges.h"

#include <OgreSceneManager.h>

#include <cstdlib>
#include <sstream>

using namespace testing_graphics;

namespace {

const Ogre::ColourValue kWhite(1, 1, 1);
const Ogre::Vector3 kLightDirection(-0.4f, -0.4f, -1.0f);
constexpr float kPlaneDepth = -20.0f;

// The refusal of an oversized caster is reported on a debug channel.
const bool kMeshChannelOn = (setenv("DEBUG", "MESHRENDERER", 1), true);

std::string shadowSettings(const std::string& type) {
    // Light2 and Light3 stay dark, or they would light the shadow back up.
    return "<Shadows ShadowType=\"" + type + "\" Color=\"0.3 0.3 0.3\"/>"
           "<Light1 Type=\"DirectionalLight\" Direction=\"-0.4 -0.4 -1\" CastShadow=\"true\"/>"
           "<Light2 DiffuseColour=\"0 0 0\" SpecularColour=\"0 0 0\"/>"
           "<Light3 DiffuseColour=\"0 0 0\" SpecularColour=\"0 0 0\"/>";
}

/// A white two-layer plane primitive behind a cube of side 6 at the origin.
struct ShadowScene : SceneWindow {
    explicit ShadowScene(const std::string& type) : SceneWindow(shadowSettings(type)) {
        // No ambient light: the shadow is then as dark as it can be.
        graphics->getSceneManager()->setAmbientLight(Ogre::ColourValue::Black);
        auto object = std::make_unique<Kiln::Object>();
        object->setPresenter("graphics", newPresenter());
        object->setMesh(Kiln::MeshEditor::createNewDynamicMesh(0, kWhite));
        object->setScale(Ogre::Vector3(12.0f));
        object->setPosition(Ogre::Vector3(0, 0, kPlaneDepth));
        plane = sceneRoot->adoptChild(std::move(object));
        cube = addCube(Ogre::ColourValue(1, 0, 0), 1.0f);
    }

    /// Where a point of the cube at `at` throws its shadow on the plane.
    Ogre::Vector2 shadowOf(const Ogre::Vector3& at) const {
        const float t = (kPlaneDepth - at.z) / kLightDirection.z;
        return project(at + kLightDirection * t);
    }

    static float brightness(const Ogre::Image& image, const Ogre::Vector2& at) {
        const Ogre::ColourValue c = image.getColourAt(unsigned(at.x), unsigned(at.y), 0);
        return (c.r + c.g + c.b) / 3.0f;
    }

    const Kiln::MeshRenderer& rendererOf(const Kiln::Object& object) const {
        return *Kiln::GraphicsPresenter::of(object)->getMeshRenderer();
    }

    Kiln::Object* plane = nullptr;
    Kiln::Object* cube = nullptr;
};

constexpr float kShadowed = 0.6f;  // at most, on the plane in shadow
constexpr float kLit = 0.85f;      // at least, on the plane in light

} // namespace

TEST(StencilShadows, CubeShadowsThePlaneOnlyWhileItCastsShadows) {
    for (const char* type : {"STENCIL_ADDITIVE", "STENCIL_MODULATIVE"}) {
        SCOPED_TRACE(type);
        ShadowScene scene(type);
        const Ogre::Vector2 shadow = scene.shadowOf(Ogre::Vector3::ZERO);
        const Ogre::Vector2 elsewhere = scene.shadowOf(Ogre::Vector3(12, 12, 0));

        Ogre::Image image = scene.frame();
        EXPECT_TRUE(scene.rendererOf(*scene.cube).hasShadowVolume());
        EXPECT_TRUE(scene.rendererOf(*scene.plane).hasShadowVolume()) << "the two-layer plane gives a list";
        EXPECT_LT(ShadowScene::brightness(image, shadow), kShadowed);
        EXPECT_GT(ShadowScene::brightness(image, elsewhere), kLit);

        scene.cube->setParameter("castShadows", false);
        image = scene.frame();
        EXPECT_FALSE(scene.rendererOf(*scene.cube).hasShadowVolume());
        EXPECT_GT(ShadowScene::brightness(image, shadow), kLit);

        scene.cube->setParameter("castShadows", true);
        EXPECT_LT(ShadowScene::brightness(scene.frame(), shadow), kShadowed);
    }
}

TEST(StencilShadows, MovedVerticesMoveTheShadowOnTheNextFrame) {
    ShadowScene scene("STENCIL_ADDITIVE");
    const Ogre::Vector2 before = scene.shadowOf(Ogre::Vector3::ZERO);
    const Ogre::Vector2 after = scene.shadowOf(Ogre::Vector3(14, 0, 0));
    EXPECT_LT(ShadowScene::brightness(scene.frame(), before), kShadowed);

    // Vertex positions edited in place (not the node's transform), so the
    // shadow can only follow through the refilled volume data.
    Kiln::DynamicMesh& mesh = *scene.cube->getMesh();
    const Kiln::MeshUploadCounts uploads = scene.rendererOf(*scene.cube).getUploadCounts();
    for (std::size_t i = 0; i < mesh.getVertexCount(); ++i) {
        Kiln::Vertex v = mesh.getVertex(i);
        v.position.x += 14.0f;
        mesh.setVertex(mesh.getVertex(i), v);
    }
    const Ogre::Image image = scene.frame();
    EXPECT_GT(ShadowScene::brightness(image, before), kLit);
    EXPECT_LT(ShadowScene::brightness(image, after), kShadowed);
    EXPECT_EQ(scene.rendererOf(*scene.cube).getUploadCounts().reallocations, uploads.reallocations);
}

TEST(StencilShadows, MeshesThatCannotCastAShadowVolumeDrawWithoutOne) {
    ASSERT_TRUE(kMeshChannelOn);
    ShadowScene scene("STENCIL_ADDITIVE");
    scene.cube->setMesh(std::make_unique<Kiln::DynamicMesh>());
    EXPECT_NO_THROW(scene.frame());
    EXPECT_FALSE(scene.rendererOf(*scene.cube).hasShadowVolume());

    // Faces that all point past the vertex list, or fold onto one point.
    std::vector<Kiln::Vertex> vertices(3);
    vertices[1].position = Ogre::Vector3(5, 0, 0);
    scene.cube->setMesh(std::make_unique<Kiln::DynamicMesh>(
        vertices, std::vector<Kiln::Face>{{0, 1, 7}, {0, 1, 2}}));
    EXPECT_NO_THROW(scene.frame());
    EXPECT_FALSE(scene.rendererOf(*scene.cube).hasShadowVolume());

    // Too many vertices for the engine's 16-bit volume indices: one line.
    std::vector<Kiln::Vertex> many(Kiln::kMaxShadowVolumeVertices + 1);
    for (std::size_t i = 0; i < many.size(); ++i)
        many[i].position = Ogre::Vector3(float(i % 200) * 0.05f, float(i / 200) * 0.05f, 0);
    std::ostringstream captured;
    std::streambuf* const old = std::clog.rdbuf(captured.rdbuf());
    scene.cube->setMesh(std::make_unique<Kiln::DynamicMesh>(many, std::vector<Kiln::Face>{{0, 1, 200}}));
    scene.frame();
    scene.frame();
    std::clog.rdbuf(old);
    std::istringstream lines(captured.str());
    int mentions = 0;
    for (std::string line; std::getline(lines, line);)
        mentions += line.find("casts no shadow") != std::string::npos ? 1 : 0;
    EXPECT_EQ(mentions, 1) << captured.str();
    EXPECT_FALSE(scene.rendererOf(*scene.cube).hasShadowVolume());

    // Back to a cube: the shadow returns.
    scene.cube->setMesh(Kiln::MeshEditor::createNewDynamicMesh(1, Ogre::ColourValue(1, 0, 0)));
    EXPECT_LT(ShadowScene::brightness(scene.frame(), scene.shadowOf(Ogre::Vector3::ZERO)), kShadowed);
}
