#pragma once
// The application's side of the seams the functions work through: the
// status line, message boxes before the GUI exists, the haptic manager as
// the tools see it, the frame counters, and the factory that gives new
// scene nodes their graphics and haptics presenters.
#include "app/AppContext.h"
#include "app/StatusLine.h"
#include "functions/FunctionSeams.h"
#include "graphics/RayQuery.h"
#include "scene/IObjectFactory.h"

#include <functional>
#include <memory>

#include <string>

namespace Ogre {
class Camera;
class RenderWindow;
class SceneManager;
} // namespace Ogre

namespace Kiln {

class HapticManager;
class TextRenderer;

class StatusSink : public IStatusSink {
public:
    explicit StatusSink(StatusLine& line) : line(line) {}
    void post(const std::string& text, float seconds, int type) override {
        line.post(text, seconds, type);
    }
    void setFunctionBar(const std::string& title) override { line.setFunction(title); }
    void setHelpText(const std::string& text) override { line.setHelp(text); }
    void beginBusy(const std::string& text) override {
        line.setStatus(text);
        line.setPaused(true);
    }
    void endBusy() override {
        line.setPaused(false);
        line.setStatus("");
    }

private:
    StatusLine& line;
};

/// Until the GUI draws message boxes, a box's text goes to the alert bar
/// and to standard error, so that nothing a user should read is lost.
class HeadlessDialogs : public IDialogs {
public:
    explicit HeadlessDialogs(StatusLine& line) : line(line) {}
    void showMessage(const std::string& title, const std::string& text) override;
    /// The text of the last box, for the session script's error report.
    const std::string& getLastMessage() const { return lastMessage; }
    void clearLastMessage() { lastMessage.clear(); }

private:
    StatusLine& line;
    std::string lastMessage;
};

class ToolHaptics : public IToolHaptics {
public:
    explicit ToolHaptics(HapticManager& manager) : manager(manager) {}
    std::vector<ObjectHandle> getTouchedObjects() const override;
    int getSideSetting() const override;
    void setHapticSideRecursive(ObjectGroup& group, int side) override;
    void setStylusColour(const Ogre::ColourValue& colour) override;
    void setStylusVisible(bool visible) override;
    void setStylusDirection(const Ogre::Matrix3& direction) override;
    VertexListWorker* getLiveDent(ObjectGroup& object) override;
    void setHapticsWanted(bool on) override;
    /// Where the wish goes instead of the manager (the haptic mouse
    /// control, which holds haptics off while the stylus is over the GUI).
    void setWantedSink(std::function<void(bool)> sink) { wantedSink = std::move(sink); }

private:
    HapticManager& manager;
    std::function<void(bool)> wantedSink;
};

class OverlayTexts : public IOverlayTexts {
public:
    explicit OverlayTexts(TextRenderer& text) : text(text) {}
    void addText(const std::string& id, float x, float y, float width, float height) override;
    void setText(const std::string& id, const std::string& value) override;
    void removeText(const std::string& id) override;

private:
    TextRenderer& text;
};

class WindowFrameStatistics : public IFrameStatistics {
public:
    explicit WindowFrameStatistics(Ogre::RenderWindow& window) : window(window) {}
    Rates getFrameRates() const override;

private:
    Ogre::RenderWindow& window;
};

/// Groups get a graphics presenter and a haptics presenter base; objects a
/// graphics presenter and a full haptics presenter.
class PresentedObjectFactory : public IObjectFactory {
public:
    explicit PresentedObjectFactory(Ogre::SceneManager& sceneManager) : sceneManager(sceneManager) {}

protected:
    std::unique_ptr<ObjectGroup> makeObjectGroup() override;
    std::unique_ptr<Object> makeObject() override;

private:
    Ogre::SceneManager& sceneManager;
};

/// The objects along the camera's line of sight through a world point.
class ViewPicker : public IViewPicker {
public:
    ViewPicker(const Ogre::Camera& camera, ObjectGroup& root, RayCaster& caster)
        : camera(camera), root(root), caster(caster) {}
    std::vector<ObjectHandle> objectsUnder(const Ogre::Vector3& world) const override;

private:
    const Ogre::Camera& camera;
    ObjectGroup& root;
    RayCaster& caster;
};

/// Installs the haptics presenters that `root` and its descendants lack
/// (nodes made by a reader without a presenting factory).
void installHapticsPresenters(ObjectGroup& root);

} // namespace Kiln

/// The document state the file tools read and change: the AppContext's
/// flags and current file name, the end request and the user's settings.
class AppDocumentHost : public IDocumentHost {
public:
    explicit AppDocumentHost(AppContext& context) : context(context) {}
    bool hasUnsavedChanges() const override { return (context.flags & APP_FLAG_MODIFIED) != 0; }
    std::string getCurrentFile() const override { return context.currentFileName; }
    void setCurrentFile(const std::string& path) override {
        context.currentFileName = path;
        context.flags = std::uint8_t((context.flags & APP_FLAG_END_REQUESTED) | APP_FLAG_SAVED);
    }
    void endProgram() override { context.flags |= APP_FLAG_END_REQUESTED; }
    /// The Documents folder, created when missing; empty when there is no
    /// such folder to be had.
    std::string getAutosaveFolder() const override;
    /// The function configuration (saved when the program ends).
    std::string readSetting(const std::string& key, const std::string& fallback) const override;
    void writeSetting(const std::string& key, const std::string& value) override;

private:
    AppContext& context;
};

/// The adapters between the functions' seams and the program's managers.
struct InteractionSeams {
    InteractionSeams(Kiln::StatusLine& line, AppContext& context)
        : status(line), dialogs(line), document(context.flags, APP_FLAG_MODIFIED, APP_FLAG_SAVED),
          documentHost(context) {}
    Kiln::StatusSink status;
    Kiln::HeadlessDialogs dialogs;
    FlagsSceneDocument document;
    AppDocumentHost documentHost;
    TaskQueue tasks;
    /// One for every ray the program casts into the scene (the mouse
    /// stylus, the selection sweep), so they share the meshes' trees.
    Kiln::RayCaster rayCaster;
    std::unique_ptr<Kiln::ToolHaptics> haptics;
    std::unique_ptr<Kiln::OverlayTexts> overlay;
    std::unique_ptr<Kiln::WindowFrameStatistics> frameStatistics;
    std::unique_ptr<Kiln::PresentedObjectFactory> factory;
    std::unique_ptr<Kiln::ViewPicker> picker;
};

