#include "ShapingTestSupport.h"

#include "functions/brush/VertexGrid.h"
#include "functions/colour/ColourFillFunction.h"
#include "functions/colour/EyeDropperFunction.h"
#include "functions/colour/PaintFunction.h"
#include "functions/tools/CreateObjectFunction.h"
#include "functions/tools/LineFunction.h"
#include "log/Exception.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

/// A flat grid of n x n vertices, spacing 0.1, in the z = 0 plane.
Kiln::MeshArrays flatGrid(int n) {
    Kiln::MeshArrays m;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            m.positions.insert(m.positions.end(), {0.1 * x, 0.1 * y, 0.0});
            m.colours.insert(m.colours.end(), {0.f, 0.f, 1.f, 1.f});
        }
    for (int y = 0; y + 1 < n; ++y)
        for (int x = 0; x + 1 < n; ++x) {
            const std::uint32_t i = std::uint32_t(y * n + x);
            m.indices.insert(m.indices.end(), {i, i + 1, i + std::uint32_t(n)});
            m.indices.insert(m.indices.end(), {i + 1, i + std::uint32_t(n) + 1, i + std::uint32_t(n)});
        }
    return m;
}

std::vector<Ogre::ColourValue> coloursOf(const Kiln::Object& object) {
    std::vector<Ogre::ColourValue> out;
    for (const Kiln::Vertex& v : object.getMesh()->getVertices())
        out.push_back(v.colour);
    return out;
}

TEST(VertexGrid, FindsExactlyTheVerticesInTheSphere) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> coordinate(-5.f, 5.f);
    std::vector<Kiln::Vertex> vertices(5000);
    for (Kiln::Vertex& v : vertices)
        v.position = Ogre::Vector3(coordinate(random), coordinate(random), coordinate(random));
    vertices[17].position.x = std::nanf("");  // must neither crash nor match
    VertexGrid grid;
    grid.build(vertices, 0.7f);
    for (int q = 0; q < 50; ++q) {
        const Ogre::Vector3 centre(coordinate(random), coordinate(random), coordinate(random));
        const float radius = 0.2f + 0.05f * float(q);
        std::vector<std::uint32_t> found;
        grid.query(vertices, centre, radius, found);
        std::sort(found.begin(), found.end());
        std::vector<std::uint32_t> expected;
        for (std::uint32_t i = 0; i < vertices.size(); ++i)
            if (vertices[i].position.squaredDistance(centre) <= radius * radius)
                expected.push_back(i);
        ASSERT_EQ(found, expected) << "query " << q;
    }
}

TEST(ColourChooserBox, PointsAndCursorAgreeOnOneMapping) {
    ColourChooserBox box(Ogre::Vector3(1, 2, 3), 2.f);
    CallLog heard;
    struct Listener : ColourProviderListener {
        explicit Listener(CallLog& log) : log(log) {}
        void colourChanged(const Ogre::ColourValue& c) override { log.push_back(std::to_string(c.g)); }
        CallLog& log;
    } listener(heard);
    box.addListener("fill", &listener);

    box.setColourFromPoint(Ogre::Vector3(2.0f, 2.5f, 5.0f));
    EXPECT_FLOAT_EQ(box.getColour().r, 0.5f);
    EXPECT_FLOAT_EQ(box.getColour().g, 0.25f);
    EXPECT_FLOAT_EQ(box.getColour().b, 1.0f);
    EXPECT_EQ(box.getCursorPosition(), Ogre::Vector3(2.0f, 2.5f, 5.0f));

    // The cursor takes components times the size factor.
    const float size = box.getSizeFactor();
    box.setCursorColour(0.2f * size, 0.4f * size, 0.6f * size);
    EXPECT_NEAR(box.getColour().g, 0.4f, 1e-6f);
    EXPECT_TRUE(box.contains(box.getCursorPosition()));
    EXPECT_FALSE(box.contains(Ogre::Vector3(0.9f, 2.5f, 4.f)));

    box.setColourFromPoint(Ogre::Vector3(std::nanf(""), 100.f, -100.f));  // clamped, never NaN
    EXPECT_EQ(box.getColour(), Ogre::ColourValue(0.f, 1.f, 0.f, 1.f));
    box.removeListener("fill");
    box.setColour(Ogre::ColourValue::Red);
    EXPECT_EQ(heard.size(), 3u);
}

TEST(ColourFunction, BoxPicksOnlyWhileVisibleAndNamesItselfOnABadCheckbox) {
    ShapingFixture f;
    ColourChooserBox& box = f.colour->getColourBox();
    box.setColour(Ogre::ColourValue::White);
    const Ogre::Vector3 inside = box.getOrigin() + Ogre::Vector3(0.25f, 0.5f, 0.75f) * box.getSizeFactor();

    f.colour->setBoxVisible(false);
    f.press(inside);
    f.release(inside);
    EXPECT_EQ(box.getColour(), Ogre::ColourValue::White);

    f.colour->setBoxVisible(true);
    f.press(inside);
    const Ogre::Vector3 dragged = box.getOrigin() + Ogre::Vector3(0.5f, 0.5f, 0.5f) * box.getSizeFactor();
    f.move(dragged, 1);
    EXPECT_NEAR(box.getColour().r, 0.5f, 1e-5f);
    f.release(inside);
    EXPECT_NEAR(box.getColour().r, 0.25f, 1e-5f);
    EXPECT_NEAR(box.getColour().b, 0.75f, 1e-5f);

    try {
        f.colour->setArgument("Root/NoSuchCheckbox");
        FAIL() << "a missing check box must be reported";
    } catch (const Kiln::Exception& error) {
        EXPECT_NE(std::string(error.what()).find("ColourFunction"), std::string::npos);
    }
    // The check box decides once a frame; this GUI's boxes read unticked.
    f.gui.windows.insert("Root/ColourBoxCheckbox");
    f.colour->setArgument("Root/ColourBoxCheckbox");
    f.manager->frameStarted(Ogre::FrameEvent{});
    EXPECT_FALSE(box.isVisible());
}

TEST(ColourFunction, BoxTakesPressesInsideItBeforeACreationTool) {
    for (const char* toolName : {"CreateLine", "CreateObject"}) {
        ShapingFixture f;
        if (std::string(toolName) == "CreateLine")
            f.install<LineFunction>();
        else
            f.install<CreateObjectFunction>();
        f.manager->activateFunction(toolName);
        ColourChooserBox& box = f.colour->getColourBox();
        box.setColour(Ogre::ColourValue::White);
        const auto inBox = [&](float r, float g, float b) {
            return box.getOrigin() + Ogre::Vector3(r, g, b) * box.getSizeFactor();
        };

        // Picked in the box: the tool neither starts nor sees the drag.
        f.press(inBox(0.25f, 0.5f, 0.75f));
        EXPECT_FALSE(f.manager->isBusy()) << toolName;
        f.move(inBox(0.5f, 0.5f, 0.5f), 1);
        f.release(inBox(0.75f, 0.25f, 0.5f));
        EXPECT_NEAR(box.getColour().r, 0.75f, 1e-5f) << toolName;
        EXPECT_NEAR(box.getColour().g, 0.25f, 1e-5f) << toolName;
        EXPECT_TRUE(f.sceneObjects().empty()) << toolName;
        EXPECT_EQ(f.manager->getUndoCount(), 0u);

        // Outside the box the tool has the press, drag and release.
        const Ogre::ColourValue picked = box.getColour();
        f.press(Ogre::Vector3(-1, 0, 0));
        f.move(Ogre::Vector3(-1.5f, 0.5f, 0.2f), 1);
        f.release(Ogre::Vector3(-1.5f, 0.5f, 0.2f));
        EXPECT_EQ(f.sceneObjects().size(), 1u) << toolName;
        EXPECT_EQ(f.manager->getUndoCount(), 1u) << toolName;
        EXPECT_EQ(box.getColour(), picked);
        EXPECT_FALSE(f.manager->isBusy());
    }
}

TEST(PaintFunction, BrushWeightFallsFromFullToNothingAtTheRadius) {
    EXPECT_FLOAT_EQ(PaintFunction::brushWeight(0.f, 4.f), 1.f);
    EXPECT_NEAR(PaintFunction::brushWeight(2.f, 4.f), 0.5f, 1e-6f);
    EXPECT_FLOAT_EQ(PaintFunction::brushWeight(4.f, 4.f), 0.f);
    EXPECT_FLOAT_EQ(PaintFunction::brushWeight(9.f, 4.f), 0.f);
    EXPECT_GT(PaintFunction::brushWeight(1.f, 4.f), PaintFunction::brushWeight(3.f, 4.f));
}

TEST(PaintFunction, StrokePaintsNearTheBrushAndUndoesToTheColoursBeforeIt) {
    ShapingFixture f;
    f.install<PaintFunction>();
    f.manager->activateFunction("PaintFunction");
    Kiln::Object* plate = f.addObject(flatGrid(41));
    const std::vector<Ogre::ColourValue> before = coloursOf(*plate);
    f.colour->getColourBox().setColour(Ogre::ColourValue::Red);
    f.touch(plate);

    // Brush radius 5 x 0.1 proxy radius = 0.5; the stroke goes over the
    // same spot twice.
    const Ogre::Vector3 centre(2.f, 2.f, 0.f);
    f.move(centre, 1, 0.1f);
    f.move(centre + Ogre::Vector3(0.05f, 0, 0), 1, 0.1f);
    f.move(centre, 1, 0.1f);
    f.release(centre);
    ASSERT_EQ(f.manager->getUndoCount(), 1u);
    EXPECT_FALSE(f.manager->isBusy());

    const auto& vertices = plate->getMesh()->getVertices();
    const std::size_t atCentre = 20 * 41 + 20, far = 0;
    EXPECT_GT(vertices[atCentre].colour.r, 0.99f);
    EXPECT_LT(vertices[atCentre].colour.b, 0.01f);
    EXPECT_EQ(vertices[far].colour, before[far]);
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        if (vertices[i].position.distance(centre) > 0.56f) {
            ASSERT_EQ(vertices[i].colour, before[i]) << "vertex " << i << " outside every brush position";
        }
    }

    const std::vector<Ogre::ColourValue> painted = coloursOf(*plate);
    f.manager->undo();
    EXPECT_EQ(coloursOf(*plate), before);
    f.manager->redo();
    EXPECT_EQ(coloursOf(*plate), painted);
}

TEST(PaintFunction, StrokeThatReachesNoVertexLeavesNoEntry) {
    ShapingFixture f;
    f.install<PaintFunction>();
    f.manager->activateFunction("PaintFunction");
    Kiln::Object* plate = f.addObject(flatGrid(5));
    f.touch(plate);
    f.move(Ogre::Vector3(50.f, 50.f, 0.f), 1, 0.01f);
    f.release(Ogre::Vector3(50.f, 50.f, 0.f));
    EXPECT_EQ(f.manager->getUndoCount(), 0u);
    EXPECT_TRUE(f.hasMessage("Make sure you're touching the object while painting it."));
    EXPECT_FALSE(f.manager->isBusy());
}

TEST(ColourFillFunction, FillsTheSelectionAtOnceOrLiveAsOneEntry) {
    ShapingFixture f;
    ColourFillFunction* fill = f.install<ColourFillFunction>();
    f.manager->activateFunction("ColourFillFunction");
    Kiln::Object* a = f.addObject(fixtures::cube(0, 0, 0, 1));
    Kiln::Object* b = f.addObject(fixtures::cube(3, 0, 0, 1));
    Kiln::Object* unselected = f.addObject(fixtures::cube(6, 0, 0, 1));
    f.select(a);
    f.select(b);
    ColourChooserBox& box = f.colour->getColourBox();
    const std::vector<Ogre::ColourValue> original = coloursOf(*a);

    box.setColour(Ogre::ColourValue::Green);
    f.press(Ogre::Vector3(-40, 0, 0));  // outside the box: at once
    f.release(Ogre::Vector3(-40, 0, 0));
    EXPECT_EQ(a->getMesh()->getVertices()[3].colour, Ogre::ColourValue::Green);
    EXPECT_EQ(b->getMesh()->getVertices()[5].colour, Ogre::ColourValue::Green);
    EXPECT_EQ(unselected->getMesh()->getVertices()[0].colour, Ogre::ColourValue::White);
    EXPECT_EQ(f.manager->getUndoCount(), 1u);

    // A drag inside the box recolours while it goes; the release makes one entry.
    const Ogre::Vector3 inside = box.getOrigin() + Ogre::Vector3(0.5f) * box.getSizeFactor();
    f.press(inside);
    EXPECT_TRUE(fill->isLiveFilling());
    EXPECT_NEAR(a->getMesh()->getVertices()[0].colour.r, 0.5f, 1e-5f);
    f.move(box.getOrigin() + Ogre::Vector3(1.f, 0.f, 0.f) * box.getSizeFactor(), 1);
    EXPECT_EQ(b->getMesh()->getVertices()[0].colour, Ogre::ColourValue::Red);
    f.release(box.getOrigin() + Ogre::Vector3(1.f, 0.f, 0.f) * box.getSizeFactor());
    EXPECT_FALSE(fill->isLiveFilling());
    EXPECT_EQ(f.manager->getUndoCount(), 2u);

    f.manager->undo();
    EXPECT_EQ(a->getMesh()->getVertices()[0].colour, Ogre::ColourValue::Green);
    f.manager->undo();
    EXPECT_EQ(coloursOf(*a), original);
    f.manager->redo();
    f.manager->redo();
    EXPECT_EQ(b->getMesh()->getVertices()[0].colour, Ogre::ColourValue::Red);
}

TEST(EyeDropperFunction, PicksTheNearestVertexColourOnlyWhileTouching) {
    ShapingFixture f;
    EyeDropperFunction* dropper = f.install<EyeDropperFunction>();
    f.manager->activateFunction("EyeDropperFunction");
    Kiln::MeshArrays arrays = flatGrid(3);
    arrays.colours[4 * 4 + 0] = 1.f;  // vertex 4 (0.1, 0.1): magenta
    arrays.colours[4 * 4 + 1] = 0.f;
    Kiln::Object* plate = f.addObject(arrays);
    ColourChooserBox& box = f.colour->getColourBox();
    box.setColour(Ogre::ColourValue::White);

    // Nothing touched: the press starts nothing and moves pick nothing.
    f.press(Ogre::Vector3(0.1f, 0.1f, 0.f));
    f.move(Ogre::Vector3(0.1f, 0.1f, 0.f), 1);
    EXPECT_FALSE(dropper->isPicking());
    EXPECT_EQ(box.getColour(), Ogre::ColourValue::White);

    f.touch(plate);
    f.press(Ogre::Vector3(0.12f, 0.09f, 0.01f));
    EXPECT_TRUE(dropper->isPicking());
    EXPECT_NEAR(box.getColour().r, 1.f, 1e-5f);
    EXPECT_NEAR(box.getColour().g, 0.f, 1e-5f);
    EXPECT_NEAR(box.getColour().b, 1.f, 1e-5f);
    // The stylus leaves the surface mid-drag: the colour stays.
    f.haptics.touched.clear();
    f.move(Ogre::Vector3(0.f, 0.f, 0.f), 1);
    f.release(Ogre::Vector3(0.f, 0.f, 0.f));
    EXPECT_NEAR(box.getColour().g, 0.f, 1e-5f);
    EXPECT_FALSE(f.manager->isBusy());
    EXPECT_EQ(f.manager->getUndoCount(), 0u);
}

} // namespace
