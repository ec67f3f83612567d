// The settings file against real toolkit windows (the toolkit's null
// renderer, its packaged WindowsLook widgets): every element, every binding
// kind, missing windows skipped, and clicks fired by name.
#include "gui/GuiManager.h"
#include "gui/HapticMouseControl.h"
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
        gui->resized(800, 600);
        // The null renderer starts without a display: keep the pointer in
        // the window the test pretends to have.
        const CEGUI::Rectf area(0.f, 0.f, 800.f, 600.f);
        gui->getContext().getMouseCursor().setConstraintArea(&area);
        gui->getContext().getMouseCursor().setPosition(CEGUI::Vector2f(0.f, 0.f));
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

namespace {

/// A grip whose projected position the test sets directly.
struct GripHarness {
    float x = 0.f, y = 0.f;
    std::vector<std::string> log;
    HapticState state;
    HapticMouseControl::Hooks hooks() {
        HapticMouseControl::Hooks h;
        h.project = [this](const HapticState&, float& px, float& py) {
            px = x;
            py = y;
            return true;
        };
        h.setHapticsEnabled = [this](bool on) { log.push_back(on ? "haptics on" : "haptics off"); };
        h.setStylusVisible = [this](bool on) { log.push_back(on ? "stylus shown" : "stylus hidden"); };
        return h;
    }
    HapticEvent event() const { return HapticEvent(&state, nullptr); }
};

} // namespace

TEST_F(GuiManagerTest, GripOverAPanelClicksAndGivesBackTheViewWhenItLeaves) {
    // One button in an otherwise empty window.
    CEGUI::Window* root = gui->getRootWindow();
    for (size_t i = 0; i < root->getChildCount(); ++i)
        root->getChildAtIdx(i)->hide();
    CEGUI::Window* go = gui->getWindow("Root/Go");
    go->show();
    go->setArea(CEGUI::URect(CEGUI::UDim(0, 10), CEGUI::UDim(0, 10), CEGUI::UDim(0, 110), CEGUI::UDim(0, 40)));
    int clicks = 0;
    go->subscribeEvent(CEGUI::PushButton::EventClicked, [&clicks](const CEGUI::EventArgs&) {
        ++clicks;
        return true;
    });
    // The clicks below come faster than a person clicks: keep each one a
    // single click rather than a double click.
    gui->getContext().setMouseButtonMultiClickTimeout(1e-6f);
    GripHarness grip;
    HapticMouseControl control(*gui, grip.hooks());
    grip.x = 400.f, grip.y = 300.f; // over the view: nothing changes, all passes on
    EXPECT_TRUE(control.hapticMoved(grip.event()));
    EXPECT_TRUE(control.hapticButtonPressed(grip.event(), 1u));
    EXPECT_TRUE(grip.log.empty());
    EXPECT_FALSE(control.isInGuiMode());

    // The press began over the view: its release still reaches the tools
    // after the stylus has crossed onto the panel.
    grip.x = 50.f, grip.y = 25.f;
    control.hapticMoved(grip.event());
    EXPECT_TRUE(control.isInGuiMode());
    EXPECT_EQ(grip.log, (std::vector<std::string>{"haptics off", "stylus hidden"}));
    EXPECT_TRUE(control.hapticButtonReleased(grip.event(), 1u));
    EXPECT_EQ(clicks, 0);

    // A press and release over the button is a click the tools never see.
    EXPECT_FALSE(control.hapticButtonPressed(grip.event(), 1u));
    EXPECT_FALSE(control.hapticButtonReleased(grip.event(), 1u));
    EXPECT_EQ(clicks, 1);

    // Leaving with a button held lets it go before haptics come back, and
    // haptics come back only as the tools want them.
    control.setHapticsToRestore(false);
    EXPECT_FALSE(control.hapticButtonPressed(grip.event(), 1u));
    EXPECT_TRUE(static_cast<CEGUI::PushButton*>(go)->isPushed());
    grip.log.clear();
    grip.x = 400.f, grip.y = 300.f;
    control.hapticMoved(grip.event());
    EXPECT_FALSE(control.isInGuiMode());
    EXPECT_EQ(grip.log, (std::vector<std::string>{"haptics off", "stylus shown"}));
    EXPECT_FALSE(static_cast<CEGUI::PushButton*>(go)->isPushed());
    gui->getContext().setMouseButtonMultiClickTimeout(CEGUI::GUIContext::DefaultMouseButtonMultiClickTimeout);
}

TEST_F(GuiManagerTest, UnderADialogTheGripDrivesThePointerEverywhere) {
    GripHarness grip;
    HapticMouseControl control(*gui, grip.hooks());
    control.setEnabled(false);
    grip.x = 400.f, grip.y = 300.f;
    control.hapticMoved(grip.event());
    EXPECT_FALSE(control.isInGuiMode());
    gui->setModal(true);
    control.hapticMoved(grip.event());
    EXPECT_TRUE(control.isInGuiMode());
    gui->setModal(false);
    EXPECT_EQ(HapticMouseControl::guiButtonOf(0), 0);
    EXPECT_EQ(HapticMouseControl::guiButtonOf(1), 1);
    EXPECT_EQ(HapticMouseControl::guiButtonOf(2), 2);
    EXPECT_EQ(HapticMouseControl::guiButtonOf(3), 1);
}
