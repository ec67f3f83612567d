// The view and help commands through the manager, as the GUI runs them:
// tip sizes that must be refused, wireframe that gives each object its own
// material back, check boxes that keep their settings, the grid's keys, the
// unit words, the picture and panel commands.
#include "FunctionTestSupport.h"

#include "config/ConfigurationFile.h"
#include "functions/FunctionRegistration.h"
#include "scene/Object.h"

#include <gtest/gtest.h>

#include <map>

namespace {

/// Check boxes, sliders and edit boxes the functions read.
class ViewGui : public FakeGui {
public:
    bool isSelected(const std::string& w) const override { return ticked.count(w) && ticked.at(w); }
    void setSelected(const std::string& w, bool on) override { ticked[w] = on; }
    std::string getWindowText(const std::string& w) const override { return texts.count(w) ? texts.at(w) : ""; }
    float getValue(const std::string& w) const override { return values.count(w) ? values.at(w) : 0.f; }
    void setPanelsShown(bool on) override { panels = on; }
    bool arePanelsShown() const override { return panels; }
    std::map<std::string, bool> ticked;
    std::map<std::string, std::string> texts;
    std::map<std::string, float> values;
    bool panels = true;
};

class RecordingView : public IViewControl {
public:
    void resetCamera() override { ++resets; }
    std::string setUnit(int unit) override { return "unit " + std::to_string(unit); }
    void setTipRadius(float r) override { radius = r; }
    float getTipRadius() const override { return radius; }
    bool saveScreenshot(const std::string& path) override {
        shots.push_back(path);
        return writable;
    }
    void setFloorVisible(bool on, const Ogre::ColourValue&, const Ogre::ColourValue&) override { floor = on; }
    void setShadowsEnabled(bool on) override { shadows = on; }
    void setGrid(bool on, int p, float c, float o) override {
        grid = on;
        plane = p;
        cell = c;
        offset = o;
    }
    int resets = 0;
    float radius = 1.f;
    std::vector<std::string> shots;
    bool writable = true;
    bool floor = false, shadows = false, grid = false;
    int plane = -1;
    float cell = 0.f, offset = 0.f;
};

/// Pictures and save dialogs, answered by the test.
class PictureDialogs : public RecordingDialogs {
public:
    void showPicture(const std::string& file, const std::string& caption) override {
        pictures.push_back(file);
        captions.push_back(caption);
    }
    void askSaveFile(const std::string&, const std::string& filters, const std::string& proposed,
                     std::function<void(const std::string*)> done) override {
        lastFilters = filters;
        lastProposed = proposed;
        done(answer.empty() ? nullptr : &answer);
    }
    std::vector<std::string> pictures, captions;
    std::string answer, lastFilters, lastProposed;
};

class ViewFunctionsTest : public ::testing::Test, public FunctionFixture {
protected:
    ViewFunctionsTest() {
        Kiln::ConfigurationFile::clear();
        context.gui = &viewGui;
        context.view = &view;
        context.dialogs = &pictureDialogs;
        manager = std::make_unique<FunctionManager>(context);
        // The registered functions of this program, made as at start-up.
        for (const FunctionRegistrar* r = FunctionRegistrar::head(); r; r = r->getNext())
            manager->registerFunction(r->create(context));
    }
    ~ViewFunctionsTest() override { Kiln::ConfigurationFile::clear(); }

    Kiln::Object& addObject(const std::string& material) {
        auto object = std::make_unique<Kiln::Object>();
        Kiln::Object& raw = *object;
        if (!material.empty())
            raw.setParameter("material", material);
        std::unique_ptr<Kiln::ObjectGroup> owned = std::move(object);
        root.addChild(owned);
        return raw;
    }
    std::string material(const Kiln::ObjectGroup& object) const {
        return *object.getParameterValue<std::string>("material");
    }
    void frame() {
        Ogre::FrameEvent event{};
        manager->frameStarted(event);
    }
    std::string lastError() const { return pictureDialogs.boxes.empty() ? "" : pictureDialogs.boxes.back().second; }

    ViewGui viewGui;
    RecordingView view;
    PictureDialogs pictureDialogs;
};

TEST_F(ViewFunctionsTest, TipSizeRefusesWhatTheProxyCannotUse) {
    for (const char* bad : {"0", "-2", "abc", "1e999", "2mm"}) {
        manager->setFunctionArgument("TipsizeFunction", "1.5");
        pictureDialogs.boxes.clear();
        viewGui.windows.insert("Root/TipSizeEditbox");
        viewGui.texts["Root/TipSizeEditbox"] = bad;
        manager->setFunctionArgument("TipsizeFunction", "Root/TipSizeEditbox");
        EXPECT_FALSE(manager->invokeFunction("TipsizeFunction")) << bad;
        EXPECT_NE(lastError().find("positive number"), std::string::npos) << bad;
        EXPECT_FLOAT_EQ(view.radius, 1.5f) << bad;
    }
    viewGui.texts["Root/TipSizeEditbox"] = "2.5";
    EXPECT_TRUE(manager->invokeFunction("TipsizeFunction"));
    EXPECT_FLOAT_EQ(view.radius, 2.5f);
    EXPECT_EQ(status.last().text, "Grip radius now set to 2.5...");
}

TEST_F(ViewFunctionsTest, WireframeGivesEachObjectItsOwnMaterialBack) {
    Kiln::Object& textured = addObject("picture/Material");
    Kiln::Object& plain = addObject("");
    viewGui.windows.insert("Root/WireframeModeCheckbox");
    viewGui.ticked["Root/WireframeModeCheckbox"] = true;
    frame();
    EXPECT_EQ(material(textured), "wireframeMaterial");
    EXPECT_EQ(material(plain), "wireframeMaterial");
    Kiln::Object& madeMeanwhile = addObject("wireframeMaterial");
    viewGui.ticked["Root/WireframeModeCheckbox"] = false;
    frame();
    EXPECT_EQ(material(textured), "picture/Material");
    EXPECT_EQ(material(plain), "defaultMaterial");
    EXPECT_EQ(material(madeMeanwhile), "defaultMaterial");
}

TEST_F(ViewFunctionsTest, CheckBoxesStartFromTheSettingsAndStoreEveryChange) {
    EXPECT_THROW(manager->setFunctionArgument("FloorFunction", "Root/NoSuchBox"), Kiln::Exception);
    Kiln::ConfigurationFile::setString("View.Floor", "true");
    viewGui.windows.insert("Root/FloorCheckbox");
    manager->setFunctionArgument("FloorFunction", "Root/FloorCheckbox");
    EXPECT_TRUE(viewGui.ticked["Root/FloorCheckbox"]);
    EXPECT_TRUE(view.floor);
    viewGui.ticked["Root/FloorCheckbox"] = false; // the user unticks it
    frame();
    EXPECT_FALSE(view.floor);
    EXPECT_EQ(Kiln::ConfigurationFile::getString("View.Floor", ""), "False");
    // invoking the command flips the box; the next frame applies it
    viewGui.windows.insert("Root/ShadowsCheckbox");
    manager->setFunctionArgument("ShadowFunction", "Root/ShadowsCheckbox");
    EXPECT_FALSE(view.shadows);
    EXPECT_TRUE(manager->invokeFunction("ShadowFunction"));
    frame();
    EXPECT_TRUE(view.shadows);
    EXPECT_EQ(Kiln::ConfigurationFile::getString("View.Shadows", ""), "True");
}

TEST_F(ViewFunctionsTest, GridPlanesSizeAndKeys) {
    viewGui.windows.insert("Root/GridCheckbox");
    viewGui.windows.insert("Root/GridSizeSlider");
    EXPECT_THROW(manager->setFunctionArgument("SwitchGridFunction", "Root/NoSlider"), Kiln::Exception);
    manager->setFunctionArgument("SwitchGridFunction", "Root/GridCheckbox");
    manager->setFunctionArgument("SwitchGridFunction", "Root/GridSizeSlider");
    EXPECT_TRUE(view.grid); // View.Grid defaults to shown
    EXPECT_EQ(view.plane, 2);
    viewGui.values["Root/GridSizeSlider"] = 0.5f;
    frame();
    EXPECT_FLOAT_EQ(view.cell, 6.f);
    EXPECT_EQ(status.last().text.rfind("Grid Size: ", 0), 0u);
    tap(OIS::KC_PGUP);
    EXPECT_EQ(view.plane, 0);
    EXPECT_EQ(status.last().text, "Switched to XY Plane...");
    tap(OIS::KC_PGDOWN);
    EXPECT_EQ(status.last().text, "Switched to ZX Plane...");
    tap(OIS::KC_SUBTRACT);
    EXPECT_FLOAT_EQ(view.offset, -6.f);
    viewGui.ticked["Root/GridCheckbox"] = false;
    frame();
    EXPECT_FALSE(view.grid);
    EXPECT_EQ(Kiln::ConfigurationFile::getString("View.Grid", ""), "False");
}

TEST_F(ViewFunctionsTest, TheGridIsTheRulerOfTheChosenUnit) {
    viewGui.windows.insert("Root/GridCheckbox");
    viewGui.windows.insert("Root/GridSizeSlider");
    manager->setFunctionArgument("SwitchGridFunction", "Root/GridCheckbox");
    manager->setFunctionArgument("SwitchGridFunction", "Root/GridSizeSlider");
    viewGui.values["Root/GridSizeSlider"] = 0.2f;
    frame();
    const auto* grid = dynamic_cast<const IGridUnit*>(manager->findFunction("SwitchGridFunction"));
    ASSERT_NE(grid, nullptr);
    const float centimetre = grid->getGridSpacing();
    EXPECT_FLOAT_EQ(view.cell, centimetre) << "the drawn cell is the ruler's";
    tap(OIS::KC_ADD);
    const struct {
        const char* word;
        float factor;
        const char* text;
    } units[] = {{"Millimetre", 0.1f, "mm"}, {"Meter", 100.f, "m"}, {"Centimeter", 1.f, "cm"}};
    for (const auto& [word, factor, text] : units) {
        manager->setFunctionArgument("SwitchUnitFunction", word);
        EXPECT_TRUE(manager->invokeFunction("SwitchUnitFunction"));
        EXPECT_FLOAT_EQ(grid->getGridSpacing(), centimetre * factor) << word;
        EXPECT_FLOAT_EQ(view.cell, grid->getGridSpacing()) << word;
        EXPECT_FLOAT_EQ(view.offset, grid->getGridSpacing()) << word << ": the plane stays one cell out";
        EXPECT_EQ(grid->getUnitText(), text);
    }
}

TEST_F(ViewFunctionsTest, UnitWordsPicturesPanelsAndCamera) {
    const std::pair<const char*, const char*> units[] = {
        {"Millimetre", "unit 1"}, {"Centimeter", "unit 2"}, {"Meter", "unit 3"}, {"Furlong", "unit 2"}};
    for (const auto& [word, caption] : units) {
        manager->setFunctionArgument("SwitchUnitFunction", word);
        EXPECT_TRUE(manager->invokeFunction("SwitchUnitFunction"));
        EXPECT_EQ(status.last().text, caption) << word;
    }
    EXPECT_TRUE(manager->invokeFunction("AboutFunction"));
    EXPECT_TRUE(manager->invokeFunction("QuickHelp"));
    EXPECT_EQ(pictureDialogs.pictures, (std::vector<std::string>{"morvel_about.png", "QuickHelp.png"}));
    EXPECT_FALSE(pictureDialogs.captions.back().empty());
    EXPECT_TRUE(manager->invokeFunction("AdjustMenu"));
    EXPECT_FALSE(viewGui.panels);
    EXPECT_TRUE(manager->invokeFunction("AdjustMenu"));
    EXPECT_TRUE(viewGui.panels);
    EXPECT_TRUE(manager->invokeFunction("ResetCamera"));
    EXPECT_EQ(view.resets, 1);
    EXPECT_TRUE(manager->invokeFunction("HelpFunction"));
}

TEST_F(ViewFunctionsTest, PictureOfTheViewGoesWhereTheDialogSays) {
    EXPECT_TRUE(manager->invokeFunction("PrintScreen")); // cancelled
    EXPECT_TRUE(view.shots.empty());
    EXPECT_NE(pictureDialogs.lastFilters.find("*.png"), std::string::npos);
    EXPECT_NE(pictureDialogs.lastProposed.find(".png"), std::string::npos);
    pictureDialogs.answer = "/tmp/view.png";
    EXPECT_TRUE(manager->invokeFunction("PrintScreen"));
    EXPECT_EQ(view.shots, (std::vector<std::string>{"/tmp/view.png"}));
    view.writable = false;
    manager->setFunctionArgument("PrintScreen", "/nowhere/view.png");
    EXPECT_TRUE(manager->invokeFunction("PrintScreen"));
    EXPECT_EQ(status.last().text, "Could not save the view to '/nowhere/view.png'.");
    EXPECT_EQ(status.last().type, 3);
}

} // namespace
