#pragma once
// The program object: builds the AppContext, runs the render loop, and
// builds the rest of the system once the loop starts.
#include "app/AppContext.h"
#include "app/CommandLine.h"
#include "graphics/GraphicsListener.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

/// Input sources polled every frame.
enum InputFlags : std::uint16_t {
    INPUT_KEYBOARD = 1,
    INPUT_MOUSE = 2,
    INPUT_JOYSTICKS = 4,
    INPUT_HAPTIC = 8
};

class Application : public Kiln::GraphicsListener {
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

    /// Runs the render loop until the program is asked to end.
    void run();
    /// The loop inside the crash guard: returns 0 after a normal run and
    /// -1 after a failure, which it reports to the user.
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
};

/// The lines of the crash and failure messages, one per text line.
namespace CrashTexts {
std::string unableToStart(const std::string& details);
std::string wobbler(bool saved, const std::string& details);
std::string encounteredError(bool saved, const std::string& details);
std::string sumsWrong(bool saved);
std::string mysterious(bool saved);
} // namespace CrashTexts
