#pragma once
// The program object: builds the AppContext, runs the render loop, and
// builds the rest of the system once the loop starts.
#include "app/AppContext.h"
#include "app/CommandLine.h"
#include "app/FrameTimes.h"
#include "app/SessionScript.h"
#include "app/StatusLine.h"
#include "graphics/GraphicsListener.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

/// Input sources polled every frame.
enum InputFlags : std::uint16_t {
    INPUT_KEYBOARD = 1,
    INPUT_MOUSE = 2,
    INPUT_JOYSTICKS = 4,
    INPUT_HAPTIC = 8
};

namespace Kiln {
class ConfigReader;
class HeadlessDialogs;
class IHapticsDevice;
class MouseStylus;
class HapticsDeviceDriven;
class GuiLayer;
class HapticMouseControl;
class MouseNavigation;
class GripNavigation;
class ViewControl;
struct StateView;
} // namespace Kiln
struct FunctionContext;
struct InteractionSeams;

/// The haptic device asked for cannot be used (none connected, no driver):
/// the program says why and ends with status 1 instead of a crash box.
class DeviceRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Application : public Kiln::GraphicsListener, public Kiln::IScriptHost {
public:
    /// Loads the settings and opens the window. Throws Kiln::Exception when
    /// a settings file cannot be loaded or the engine cannot start.
    Application(const std::string& settingsFile, const std::string& hapticSettingsFile);
    ~Application() override;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    /// Splits and interprets the raw command line; empty text changes nothing.
    void setCommandLine(const std::string& text);
    void setInputFlags(std::uint16_t flags) { inputFlags = flags; }

    /// Runs the render loop until the program is asked to end. A session
    /// script is checked first; a bad one ends the run before the first
    /// frame (status 1, reason on standard error).
    void run();
    /// The loop inside the crash guard: returns the run's exit status (0, or
    /// 1 after a failed session script) and -1 after a failure, which it
    /// reports to the user.
    int runProtected();
    /// Saves the user's objects to "ForcedSave.cr8" in the Documents folder;
    /// true if saved.
    bool forcedSave();

    void onStartScene() override;
    void onUpdate(const float& dt) override;
    void onPreRender() override;
    bool onWindowClosing() override;
    void onWindowFocusChange(bool focused) override;

    AppContext& getContext() { return *context; }
    const Kiln::CommandLineOptions& getOptions() const { return options; }
    const std::vector<std::string>& getArguments() const { return arguments; }
    bool isStarted() const { return started; }
    int getExitStatus() const { return exitStatus; }
    /// The status bars' texts (until the GUI draws them).
    const Kiln::StatusLine& getStatusLine() const { return statusLine; }
    /// The program's state as the session dump writes it.
    std::string buildDump() const;
    bool getHasFocus() const { return hasFocus; }
    std::uint64_t getFrameCount() const { return frameCount; }

private:
    int guardedRun();
    /// Both roots with their graphics presenters, and the scene with the
    /// graphics manager as its "graphics" presenter.
    void createSceneRoots();
    /// Adds the roots to the scene and makes the view root active.
    void addRootsToScene();
    void showFrameCounters();

    // The interaction layer (Interaction.cpp).
    /// Device, haptic manager, input, selection, functions, mouse stylus and
    /// script, in that order, once the window exists.
    void startInteraction();
    std::unique_ptr<Kiln::IHapticsDevice> chooseDevice(Kiln::ConfigReader& hapticSettings);
    void startInput(bool withMouse);
    void startFunctions();
    void startMouseStylus();
    /// The GUI over the window; without it (it failed to start) the
    /// program runs on with the headless status line and boxes.
    void startGui();
    void startNavigation();
    void startHapticMouse();
    /// The stylus shown and the grip working the GUI, no GUI cursor (the
    /// system mouse has its own pointer).
    void startInteractionModes();
    /// A notice for the user: the alert bar, or the status line headless.
    void postNotice(const std::string& text, int type = 1);
    void openStartFile();
    /// Per frame: script, input, mouse stylus, haptic events, functions, status.
    void updateInteraction(float seconds);
    void runScriptStep(float seconds);
    void failScript(int line, const std::string& reason);
    /// Writes the run's screenshot and ends the program after this frame.
    void endRun(int status);

    // IScriptHost
    void moveStylus(const Ogre::Vector3& rootPoint, std::uint32_t buttons, double seconds) override;
    bool isStylusSettled() override;
    void invoke(const std::string& name, const std::string* argument) override;
    void key(const std::string& keyName, bool down) override;
    void dump(const std::string& path) override;
    void screenshot(const std::string& path) override;
    void quit() override;
    void exitNow() override;
    void click(const std::string& window) override;
    void answer(const std::string& button) override;
    void choose(const std::string& path) override;
    void type(const std::string& text) override;
    void focus(const std::string& window) override;
    /// Draws the colour tools' chooser as the colour function describes it.
    void showColourBox();
    /// Draws the plane the active tool places, if any.
    void showToolPlane();
    /// Draws the lines and captions of the active tool.
    void showToolMarks();

    std::string hapticSettingsFile;
    bool hasFocus = true;
    std::string layoutFile;
    std::string guiConfigFile;
    std::string guiResourceGroup;
    std::string commandLine;
    std::vector<std::string> arguments;
    bool started = false;
    std::uint16_t inputFlags = INPUT_KEYBOARD | INPUT_HAPTIC;
    std::unique_ptr<AppContext> context;
    Kiln::CommandLineOptions options;
    std::uint64_t frameCount = 0;

    int exitStatus = 0;
    Kiln::FrameTimes frameTimes;
    double interactionMs = 0.0; ///< of the frame being rendered
    Kiln::StatusLine statusLine;
    std::unique_ptr<InteractionSeams> seams;
    std::unique_ptr<FunctionContext> functionContext;
    std::unique_ptr<Kiln::MouseStylus> mouseStylus;
    std::unique_ptr<Kiln::GuiLayer> guiLayer;
    /// The grip as the GUI pointer; only with a device the mouse does not drive.
    std::unique_ptr<Kiln::HapticMouseControl> hapticMouse;
    std::unique_ptr<Kiln::MouseNavigation> navigation;
    std::unique_ptr<Kiln::GripNavigation> gripNavigation;
    std::unique_ptr<Kiln::ViewControl> viewControl;
    std::unique_ptr<Kiln::ScriptRunner> scriptRunner;
    std::vector<Kiln::ScriptCommand> scriptCommands;
    /// The device the script drives; null without a script.
    Kiln::HapticsDeviceDriven* drivenDevice = nullptr;
    std::string deviceName;
    bool scriptEnded = false;
};

/// The lines of the crash and failure messages, one per text line.
namespace CrashTexts {
std::string unableToStart(const std::string& details);
std::string wobbler(bool saved, const std::string& details);
std::string encounteredError(bool saved, const std::string& details);
std::string sumsWrong(bool saved);
std::string mysterious(bool saved);
} // namespace CrashTexts
