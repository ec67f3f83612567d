// The settings file against real toolkit windows (the toolkit's null
// renderer, its packaged WindowsLook widgets): every element, every binding
// kind, missing windows skipped, and clicks fired by name.
#include "gui/GuiManager.h"
#include "gui/InterfaceManager.h"
#include "gui/StatusMessage.h"
#include "log/Exception.h"

#include <CEGUI/CEGUI.h>
#include <CEGUI/RendererModules/Null/Renderer.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <unistd.h>
#include <stdexcept>

using namespace Kiln;

namespace {

const char* const kCeguiData = "/usr/share/cegui-0.8.7";

/// Records what the GUI asks of the functions.
struct FakeFunctions : IGuiFunctions {
    std::vector<std::string> calls;
    bool hasFunction(const std::string& name) const override { return name != "Missing"; }
    void setFunctionArgument(const std::string& name, const std::string& argument) override {
        if (name == "Throws")
            throw std::runtime_error("no such window");
        calls.push_back("arg " + name + " " + argument);
    }
    bool invokeFunction(const std::string& name) override {
        calls.push_back("run " + name);
        return true;
    }
};

class GuiManagerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        renderer = &CEGUI::NullRenderer::create();
        auto provider = std::make_unique<CEGUI::DefaultResourceProvider>();
        for (const char* group : {"schemes", "imagesets", "fonts", "looknfeel"})
            provider->setResourceGroupDirectory(group, std::string(kCeguiData) + "/" + group);
        gui = new InterfaceManager;
        const std::string log =
            (std::filesystem::temp_directory_path() / ("morvel-gui-test-" + std::to_string(::getpid()) + ".log"))
                .string();
        gui->initializeWith(*renderer, std::move(provider), nullptr, "", "", log);
        logFile = log;
        CEGUI::Scheme::setDefaultResourceGroup("schemes");
        CEGUI::ImageManager::setImagesetDefaultResourceGroup("imagesets");
        CEGUI::Font::setDefaultResourceGroup("fonts");
        CEGUI::WidgetLookManager::setDefaultResourceGroup("looknfeel");
        CEGUI::SchemeManager::getSingleton().createFromFile("WindowsLook.scheme");
    }
    static void TearDownTestSuite() {
        delete gui;
        gui = nullptr;
        CEGUI::NullRenderer::destroy(*renderer);
        std::filesystem::remove(logFile);
    }
    void SetUp() override {
        CEGUI::Window* root = gui->getRootWindow();
        while (root->getChildCount() > 0)
            CEGUI::WindowManager::getSingleton().destroyWindow(root->getChildAtIdx(0));
        CEGUI::WindowManager::getSingleton().cleanDeadPool();
        add("WindowsLook/Button", "Go", "Root/Go");
        add("WindowsLook/RadioButton", "Tool", "ToolButton");
        add("WindowsLook/Checkbox", "Box", "Root/Box");
        add("WindowsLook/Slider", "Size", "Root/Size");
        add("WindowsLook/StaticText", "Alert", "Root/AlertBar");
        add("WindowsLook/StaticText", "Status", "Root/StatusBar");
        add("DefaultWindow", "Panel", "Root/Panel");
    }
    CEGUI::Window* add(const char* type, const char* name, const char* id) {
        CEGUI::Window* window = CEGUI::WindowManager::getSingleton().createWindow(type, name);
        window->setUserString("Id", id);
        gui->getRootWindow()->addChild(window);
        return window;
    }

    static CEGUI::NullRenderer* renderer;
    static InterfaceManager* gui;
    static inline std::string logFile;
    FakeFunctions functions;
    std::vector<std::string> errors;
};

CEGUI::NullRenderer* GuiManagerTest::renderer = nullptr;
InterfaceManager* GuiManagerTest::gui = nullptr;

const char* const kSettings = R"(<Settings>
  <StatusBar Name="Root/StatusBar"/>
  <AlertBar Name="Root/AlertBar"/>
  <RootWindow Name="Root"/>
  <Panel Name="Root/Panel"/>
  <Panel Name="Root/NoPanel"/>
  <QuickHelp FunctionName="Help" FunctionArgument="QuickHelp.png"/>
  <Window Name="Root/Go" Event="MouseClick" InvokeFunction="Save" FunctionArgument="now"/>
  <Window Name="ToolButton" Event="MouseClick" InvokeFunction="Move"/>
  <Window Name="Root/Box" Event="Argument" InvokeFunction="Floor"/>
  <Window Name="Root/Box" Event="MouseClick" InvokeFunction="Floor"/>
  <Window Name="Root/Size" Event="ValueChanged" InvokeFunction="Stiffness" FunctionArgument="value"/>
  <Window Name="Root/Go" Event="MouseEntersArea" InvokeFunction="Hover"/>
  <Window Name="Root/Gone" Event="MouseClick" InvokeFunction="Lost"/>
  <Window Name="Root/Panel" Event="Argument" InvokeFunction="Throws"/>
  <Window Name="Root/Go" InvokeFunction="NoEvent"/>
</Settings>)";

} // namespace

TEST_F(GuiManagerTest, EveryElementAndBindingKind) {
    StatusMessage status(nullptr, gui);
    GuiManager manager(*gui, &status, functions, [this](const std::string& text) { errors.push_back(text); });
    manager.loadSettingsText(kSettings);

    // Argument bindings run at once; a failing one is reported, not thrown.
    EXPECT_EQ(functions.calls, (std::vector<std::string>{"arg Floor Root/Box"}));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("no such window"), std::string::npos);
    // Missing windows and records without an event are skipped.
    EXPECT_EQ(manager.getBindings().size(), 7u);
    EXPECT_EQ(manager.getRootWindowName(), "Root");
    ASSERT_EQ(gui->getPanels().size(), 1u);
    EXPECT_EQ(manager.argumentWindowOf("Floor"), "Root/Box");

    functions.calls.clear();
    EXPECT_EQ(gui->click("Root/Go"), "");
    EXPECT_EQ(gui->click("ToolButton"), "");
    EXPECT_EQ(gui->click("Root/Box"), "");
    static_cast<CEGUI::Slider*>(gui->getWindow("Root/Size"))->setCurrentValue(0.5f);
    CEGUI::WindowEventArgs enter(gui->getWindow("Root/Go"));
    gui->getWindow("Root/Go")->fireEvent("MouseEntersArea", enter);
    EXPECT_EQ(functions.calls,
              (std::vector<std::string>{"arg Save now", "run Save", "run Move", "run Floor",
                                        "arg Stiffness value 0.5", "run Stiffness", "run Hover"}));

    // Quick help waits for the functions to exist.
    functions.calls.clear();
    manager.resolveQuickHelp();
    EXPECT_EQ(functions.calls, (std::vector<std::string>{"arg Help QuickHelp.png"}));

    // The special windows show the texts.
    status.showMessage("Saved.", 1);
    status.setStatusText("Ready");
    EXPECT_EQ(fromGuiString(gui->getWindow("Root/AlertBar")->getText()), "Saved.");
    EXPECT_EQ(fromGuiString(gui->getWindow("Root/StatusBar")->getText()), "Ready");
}

TEST_F(GuiManagerTest, ClicksOnlyReachVisibleEnabledWindows) {
    GuiManager manager(*gui, nullptr, functions, nullptr);
    manager.loadSettingsText(kSettings);
    functions.calls.clear();
    gui->getWindow("Root/Go")->setEnabled(false);
    EXPECT_NE(gui->click("Root/Go").find("disabled"), std::string::npos);
    gui->getWindow("ToolButton")->hide();
    EXPECT_NE(gui->click("ToolButton").find("hidden"), std::string::npos);
    EXPECT_NE(gui->click("Root/Nothing").find("no window"), std::string::npos);
    EXPECT_NE(gui->click("Root/Panel").find("cannot be clicked"), std::string::npos);
    EXPECT_TRUE(functions.calls.empty());
}

TEST_F(GuiManagerTest, UnreadableSettingsFailTheLoad) {
    GuiManager manager(*gui, nullptr, functions, nullptr);
    EXPECT_THROW(manager.loadSettingsText("<Settings><Window"), Exception);
    EXPECT_THROW(manager.loadSettings("/no/such/GuiSettingsV2.xml"), Exception);
}
