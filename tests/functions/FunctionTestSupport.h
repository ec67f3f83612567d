#pragma once
// Recording stand-ins for the seams functions work through, and a probe
// function that logs every call it receives.
#include "functions/FunctionBase.h"
#include "functions/FunctionContext.h"
#include "functions/FunctionManager.h"
#include "log/Exception.h"
#include "mesh/MeshWorkers.h"
#include "scene/ObjectGroup.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

struct PostedMessage {
    std::string text;
    float seconds;
    int type;
};

class RecordingStatus : public IStatusSink {
public:
    void post(const std::string& text, float seconds, int type) override {
        messages.push_back({text, seconds, type});
    }
    void setFunctionBar(const std::string& title) override { functionBar.push_back(title); }
    void setHelpText(const std::string& text) override { helpTexts.push_back(text); }
    void beginBusy(const std::string& text) override { busy = text; }
    void endBusy() override { busy.clear(); }
    const PostedMessage& last() const { return messages.back(); }

    std::string busy; ///< the status bar's notice while long work runs

    std::vector<PostedMessage> messages;
    std::vector<std::string> functionBar;
    std::vector<std::string> helpTexts;
};

class RecordingDialogs : public IDialogs {
public:
    void showMessage(const std::string& title, const std::string& text) override {
        boxes.push_back({title, text});
    }
    std::vector<std::pair<std::string, std::string>> boxes;
};

class FakeGui : public IFunctionGui {
public:
    bool hasWindow(const std::string& window) const override { return windows.count(window) != 0; }
    void setEnabled(const std::string& window, bool on) override { enabled[window] = on; }
    void selectRadioButton(const std::string& window) override { selected.push_back(window); }
    void subscribeClick(const std::string& window, std::function<void()> onClick) override {
        clicks[window] = std::move(onClick);
    }
    std::vector<std::pair<std::string, std::string>> windowsNamingFunctions() const override {
        return naming;
    }
    void setWindowText(const std::string& window, const std::string& text, const std::string& font) override {
        texts[window] = {text, font};
    }
    void setHitTesting(bool on) override { hitTesting = on; }
    void click(const std::string& window) { clicks.at(window)(); }

    std::set<std::string> windows;
    std::map<std::string, bool> enabled;
    std::vector<std::string> selected;
    std::map<std::string, std::function<void()>> clicks;
    std::vector<std::pair<std::string, std::string>> naming;
    std::map<std::string, std::pair<std::string, std::string>> texts;
    bool hitTesting = true;
};

class FakeHaptics : public IToolHaptics {
public:
    std::vector<Kiln::ObjectHandle> getTouchedObjects() const override { return touched; }
    int getSideSetting() const override { return side; }
    void setHapticSideRecursive(Kiln::ObjectGroup& group, int newSide) override {
        sideRoots.push_back(&group);
        side = newSide;
    }
    void setStylusColour(const Ogre::ColourValue& c) override { colour = c; }
    void setStylusVisible(bool visible) override { stylusVisible = visible; }
    void setStylusDirection(const Ogre::Matrix3& m) override { direction = m; }
    Kiln::VertexListWorker* getLiveDent(Kiln::ObjectGroup& object) override {
        const auto found = dents.find(&object);
        return found == dents.end() ? nullptr : found->second;
    }
    void setHapticsWanted(bool on) override { wanted.push_back(on); }
    bool isWanted() const { return wanted.empty() || wanted.back(); }

    std::vector<Kiln::ObjectHandle> touched;
    int side = 1;
    std::vector<Kiln::ObjectGroup*> sideRoots;
    Ogre::ColourValue colour = Ogre::ColourValue::White;
    bool stylusVisible = true;
    Ogre::Matrix3 direction = Ogre::Matrix3::IDENTITY;
    std::map<Kiln::ObjectGroup*, Kiln::VertexListWorker*> dents;
    std::vector<bool> wanted;
};

/// The calls functions and states received, in order, as "name:call".
using CallLog = std::vector<std::string>;

/// A function of any kind that records every call; keys can be consumed,
/// execute can throw and update can refuse.
class ProbeFunction : public FunctionBase {
public:
    ProbeFunction(FunctionContext& context, const std::string& name, std::uint32_t kind, CallLog& log)
        : FunctionBase(context, name, kind, "Test", FunctionText::literal(name + " title"),
                       FunctionText::literal(name + " help")),
          log(log) {}

    void onArgumentSet() override { record("argument"); }
    void init() override { record("init"); }
    bool update(const Ogre::FrameEvent&) override {
        record("update");
        return updateResult;
    }
    void execute() override {
        record("execute");
        if (throwOnExecute)
            throw Kiln::Exception(4, "probe failed", "ProbeFunction::execute()");
    }
    void activate() override { record("activate"); }
    void deactivate() override { record("deactivate"); }
    void keyPressed(const OIS::KeyEvent& event) override {
        record("keyPressed");
        if (consumeKeys && context.functions)
            context.functions->consumeKey(event.key);
    }
    void keyReleased(const OIS::KeyEvent&) override { record("keyReleased"); }
    void hapticMoved(const Kiln::HapticEvent&) override { record("moved"); }
    void buttonPressed(const FunctionButtonEvent& event) override {
        record("pressed");
        lastMask = event.getMask();
    }
    void buttonReleased(const FunctionButtonEvent&) override { record("released"); }

    using FunctionBase::beginOperation;
    using FunctionBase::commitOperation;
    using FunctionBase::endOperation;

    bool consumeKeys = false;
    bool throwOnExecute = false;
    bool updateResult = true;
    Kiln::ButtonMask lastMask = 0;

private:
    void record(const std::string& call) { log.push_back(getName() + ":" + call); }
    CallLog& log;
};

/// A history entry that logs undo, redo and its own deletion.
class ProbeState : public FunctionState {
public:
    ProbeState(const FunctionBase* function, std::string id, CallLog& log)
        : FunctionState(function), id(std::move(id)), log(log) {}
    ~ProbeState() override { log.push_back(id + ":deleted"); }
    void undo() override {
        log.push_back(id + ":undo");
        if (throwOnUndo)
            throw Kiln::Exception(5, "undo failed", "ProbeState::undo()");
    }
    void redo() override { log.push_back(id + ":redo"); }

    bool throwOnUndo = false;

private:
    std::string id;
    CallLog& log;
};

/// The seams wired to recording fakes, with a manager on top.
struct FunctionFixture {
    FunctionFixture() : document(flags, 1, 2) {
        context.sceneRoot = &root;
        context.status = &status;
        context.dialogs = &dialogs;
        context.gui = &gui;
        context.haptics = &haptics;
        context.document = &document;
        context.tasks = &tasks;
        manager = std::make_unique<FunctionManager>(context);
    }

    ProbeFunction* add(const std::string& name, std::uint32_t kind) {
        auto function = std::make_unique<ProbeFunction>(context, name, kind, log);
        ProbeFunction* raw = function.get();
        return manager->registerFunction(std::move(function)) ? raw : nullptr;
    }

    static OIS::KeyEvent key(OIS::KeyCode code) { return OIS::KeyEvent(nullptr, code, 0); }
    void tap(OIS::KeyCode code) {
        manager->keyPressed(key(code));
        manager->keyReleased(key(code));
    }

    std::uint8_t flags = 2;
    Kiln::ObjectGroup root;
    RecordingStatus status;
    RecordingDialogs dialogs;
    FakeGui gui;
    FakeHaptics haptics;
    FlagsSceneDocument document;
    TaskQueue tasks;
    FunctionContext context;
    CallLog log;
    std::unique_ptr<FunctionManager> manager;
};
