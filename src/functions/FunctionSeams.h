#pragma once
// The narrow views of the rest of the program that functions work through.
// Each is small so that a tool can be driven in a test without a window,
// a device or a GUI; the application supplies the real ones.
#include "scene/ObjectHandle.h"

#include <OgreColourValue.h>
#include <OgreMatrix3.h>
#include <OgreVector3.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace Kiln {
class ObjectGroup;
class VertexListWorker;
} // namespace Kiln

/// Timed messages (the alert bar), the function bar and the quick-help field.
/// Main thread only.
class IStatusSink {
public:
    virtual ~IStatusSink() = default;
    /// Queues `text` for `seconds` (> 0). type 1, 2 or 3: information,
    /// warning, error.
    virtual void post(const std::string& text, float seconds, int type) = 0;
    /// The active tool's title.
    virtual void setFunctionBar(const std::string& title) = 0;
    /// The active tool's instructions.
    virtual void setHelpText(const std::string& text) = 0;
    /// Puts `text` in the status bar and holds the timed messages (their
    /// countdown stops) until endBusy: long work, such as a save, says what
    /// it is doing for as long as it takes.
    virtual void beginBusy(const std::string& text) { (void)text; }
    virtual void endBusy() {}

    /// The time a message of this length needs to be read: 0.0625 s per
    /// character plus 0.5 s.
    static float defaultSeconds(const std::string& text) {
        return static_cast<float>(text.size()) * 0.0625f + 0.5f;
    }
    void postDefault(const std::string& text, int type) { post(text, defaultSeconds(text), type); }
};

/// Modal boxes. Main thread only.
class IDialogs {
public:
    virtual ~IDialogs() = default;
    /// A box with one "OK" button.
    virtual void showMessage(const std::string& title, const std::string& text) = 0;
    /// Shows a picture file (an engine resource) with `caption` written over
    /// it, until it is clicked; the headless program has nowhere to show it.
    virtual void showPicture(const std::string& imageFile, const std::string& caption) {
        (void)imageFile; (void)caption;
    }
    /// Asks for a file to write; `done` gets the full path, or nothing when
    /// the user cancels. Without a GUI the answer is "cancelled".
    virtual void askSaveFile(const std::string& title, const std::string& filters,
                             const std::string& proposedName,
                             std::function<void(const std::string* path)> done) {
        (void)title; (void)filters; (void)proposedName;
        if (done)
            done(nullptr);
    }
    /// A question box. `buttons`: 1 OK, 3 Yes/No, 4 Yes/No/Cancel; `done`
    /// gets 1 OK, 2 Cancel, 3 Yes or 4 No. Closing the box answers the set's
    /// negative answer (Cancel, else No, else OK). Without a GUI the text
    /// is shown and the negative answer given at once.
    virtual void ask(const std::string& title, const std::string& text, int buttons,
                     std::function<void(int result)> done) {
        showMessage(title, text);
        if (done)
            done(buttons == 4 ? 2 : buttons == 3 ? 4 : 1);
    }
    /// Asks for an existing file; `done` gets the full path, or nothing when
    /// the user cancels. `filters`: "description|pattern|" pairs.
    virtual void askOpenFile(const std::string& title, const std::string& filters,
                             std::function<void(const std::string* path)> done) {
        (void)title; (void)filters;
        if (done)
            done(nullptr);
    }
};

/// The document as the file tools see it: what is unsaved, which file it
/// came from, and the end of the program. Main thread only.
class IDocumentHost {
public:
    virtual ~IDocumentHost() = default;
    virtual bool hasUnsavedChanges() const = 0;
    /// Empty while the scene has never been saved or opened.
    virtual std::string getCurrentFile() const = 0;
    /// The scene now matches `path` (saved there or opened from it); empty
    /// `path` for a new scene.
    virtual void setCurrentFile(const std::string& path) = 0;
    /// Ends the program after the current frame.
    virtual void endProgram() = 0;
    /// The folder autosaves go to; empty when there is none (then nothing
    /// is written, rather than guessing a folder such as the root).
    virtual std::string getAutosaveFolder() const = 0;
    /// User settings that outlive the run (recent files, autosave).
    virtual std::string readSetting(const std::string& key, const std::string& fallback) const {
        (void)key;
        return fallback;
    }
    virtual void writeSetting(const std::string& key, const std::string& value) { (void)key; (void)value; }
};

/// The GUI windows functions touch, by window name. Unknown names are
/// ignored by the setters. Main thread only.
class IFunctionGui {
public:
    virtual ~IFunctionGui() = default;
    virtual bool hasWindow(const std::string& window) const = 0;
    virtual void setEnabled(const std::string& window, bool enabled) = 0;
    virtual void selectRadioButton(const std::string& window) = 0;
    /// Calls `onClick` whenever the left button is pressed and then released
    /// over `window`.
    virtual void subscribeClick(const std::string& window, std::function<void()> onClick) = 0;
    /// (window name, value) of every window carrying a "FunctionName" property.
    virtual std::vector<std::pair<std::string, std::string>> windowsNamingFunctions() const = 0;
    /// Sets the caption and, when `font` is not empty, the font.
    virtual void setWindowText(const std::string& window, const std::string& text,
                               const std::string& font) = 0;
    /// Off while a tool drags, so that the stylus crossing a panel is not
    /// taken for GUI use.
    virtual void setHitTesting(bool enabled) = 0;

    // Check boxes, sliders and edit boxes. Windows of another kind, or none,
    // answer false / 0 / "" and ignore the setters.
    virtual bool isSelected(const std::string& window) const { (void)window; return false; }
    /// Sets a check box without running what its click runs.
    virtual void setSelected(const std::string& window, bool selected) { (void)window; (void)selected; }
    virtual std::string getWindowText(const std::string& window) const { (void)window; return ""; }
    /// A slider's value (0 when the window is no slider).
    virtual float getValue(const std::string& window) const { (void)window; return 0.f; }
    /// Moves a slider to show a value (clamped to its range) without
    /// running what a user's change runs.
    virtual void setValue(const std::string& window, float value) { (void)window; (void)value; }
    /// Whether the user is dragging the slider's thumb right now; a click
    /// beside the thumb is a change without a drag.
    virtual bool isValueTracking(const std::string& window) const { (void)window; return false; }
    /// Shows or hides one window (a menu entry with nothing to offer).
    virtual void setVisible(const std::string& window, bool visible) { (void)window; (void)visible; }
    /// Shows or hides the menus and panels at the window's edges.
    virtual void setPanelsShown(bool shown) { (void)shown; }
    virtual bool arePanelsShown() const { return true; }
};

/// The 3D view as the view functions change it. Main thread only.
class IViewControl {
public:
    virtual ~IViewControl() = default;
    /// Camera back to where the program started it.
    virtual void resetCamera() = 0;
    /// Grid unit: 1 millimetre, 2 centimetre, 3 metre; returns the caption
    /// ("One Grid is 1 mm").
    virtual std::string setUnit(int unit) = 0;
    /// Stylus tip radius in scene units (> 0).
    virtual void setTipRadius(float radius) = 0;
    virtual float getTipRadius() const = 0;
    /// Writes the view as a picture; false when it cannot be written.
    virtual bool saveScreenshot(const std::string& path) = 0;
    /// The floor under the scene, in the given ambient and diffuse colours.
    virtual void setFloorVisible(bool visible, const Ogre::ColourValue& ambient,
                                 const Ogre::ColourValue& diffuse) { (void)visible; (void)ambient; (void)diffuse; }
    virtual void setShadowsEnabled(bool on) { (void)on; }
    /// The grid: plane 0 XY, 1 YZ, 2 ZX; `cell` in scene units (> 0);
    /// `offset` moves the plane along its normal.
    virtual void setGrid(bool visible, int plane, float cell, float offset) {
        (void)visible; (void)plane; (void)cell; (void)offset;
    }
    /// Pans the view so that the camera orbits about `world` from now on.
    virtual void setRotationCentre(const Ogre::Vector3& world) { (void)world; }
};

/// What tools need of the haptic side. Main thread only.
class IToolHaptics {
public:
    virtual ~IToolHaptics() = default;
    /// The objects the proxy touched in the last frame, in touch order.
    virtual std::vector<Kiln::ObjectHandle> getTouchedObjects() const = 0;
    /// Side values: 0 none, 1 outer, 2 inner, 3 both.
    virtual int getSideSetting() const = 0;
    virtual void setHapticSideRecursive(Kiln::ObjectGroup& group, int side) = 0;
    virtual void setStylusColour(const Ogre::ColourValue& colour) = 0;
    /// Hides the stylus while a tool shows its own handle (the scale drag).
    virtual void setStylusVisible(bool visible) { (void)visible; }
    /// Applied to every dent vector; identity leaves dents free.
    virtual void setStylusDirection(const Ogre::Matrix3& direction) = 0;
    /// The live dent the proxy makes in `object` right now, or null. The
    /// worker moves mesh-local vertex positions; it stays valid until the
    /// next frame.
    virtual Kiln::VertexListWorker* getLiveDent(Kiln::ObjectGroup& object) = 0;
    /// Whether haptic rendering is wanted. The implementation may hold it
    /// off for a while (the stylus over the GUI) and apply it afterwards.
    virtual void setHapticsWanted(bool on) = 0;
};

/// The document's unsaved-changes state.
class ISceneDocument {
public:
    virtual ~ISceneDocument() = default;
    virtual void markModified() = 0;
};

/// A flags byte with a "modified" bit and a "saved" bit (other bits, such as
/// an end request, are left alone).
class FlagsSceneDocument : public ISceneDocument {
public:
    FlagsSceneDocument(std::uint8_t& flags, std::uint8_t modifiedBit, std::uint8_t savedBit)
        : flags(flags), modifiedBit(modifiedBit), savedBit(savedBit) {}
    void markModified() override {
        flags = static_cast<std::uint8_t>((flags & ~savedBit) | modifiedBit);
    }

private:
    std::uint8_t& flags;
    std::uint8_t modifiedBit;
    std::uint8_t savedBit;
};

/// Work that must run at the start of the next frame, outside the event
/// that asked for it (a save after a question box closed, for instance).
class ITaskQueue {
public:
    virtual ~ITaskQueue() = default;
    virtual void queue(std::function<void()> task) = 0;
    /// Runs the tasks queued so far in queue order; tasks queued while
    /// running wait for the next call.
    virtual void runQueued() = 0;
    /// Runs `task` at the start of the next frame with the rest of the
    /// queue paused: tasks queued before or during it wait for the frame
    /// after, so nothing else touches the scene while it works (a save).
    virtual void queueAlone(std::function<void()> task) { queue(std::move(task)); }
};

class TaskQueue : public ITaskQueue {
public:
    void queue(std::function<void()> task) override { tasks.push_back(std::move(task)); }
    void queueAlone(std::function<void()> task) override { alone.push_back(std::move(task)); }
    void runQueued() override {
        if (!alone.empty()) {
            std::deque<std::function<void()>> now;
            now.swap(alone);
            for (auto& task : now)
                task();
            return;
        }
        std::deque<std::function<void()>> now;
        now.swap(tasks);
        for (auto& task : now)
            task();
    }
    std::size_t size() const { return tasks.size() + alone.size(); }

private:
    std::deque<std::function<void()>> tasks;
    std::deque<std::function<void()>> alone;
};

/// Screen-space text boxes on the program's overlay. Positions and sizes
/// are fractions of the window.
class IOverlayTexts {
public:
    virtual ~IOverlayTexts() = default;
    virtual void addText(const std::string& id, float x, float y, float width, float height) = 0;
    virtual void setText(const std::string& id, const std::string& text) = 0;
    virtual void removeText(const std::string& id) = 0;
};

/// The render window's frame rates, frames per second.
class IFrameStatistics {
public:
    struct Rates {
        float average = 0.f;
        float best = 0.f;
        float worst = 0.f;
    };
    virtual ~IFrameStatistics() = default;
    virtual Rates getFrameRates() const = 0;
};

/// What the view shows under a point. Main thread only.
class IViewPicker {
public:
    virtual ~IViewPicker() = default;
    /// The objects the camera ray through the screen image of `world` (a
    /// world point) meets, nearest first; empty when the point lies behind
    /// the camera.
    virtual std::vector<Kiln::ObjectHandle> objectsUnder(const Ogre::Vector3& world) const = 0;
};

/// The current colour of the colour tools, for those outside them (the
/// creation tool, the state dump). "ColourFunction" implements it.
class IColourSource {
public:
    /// Where the colour chooser stands, world frame, for drawing it.
    struct BoxShape {
        bool visible = false;
        Ogre::Vector3 origin = Ogre::Vector3::ZERO; ///< the black corner
        float size = 1.f;                           ///< edge length
        bool highlighted = false;                   ///< the stylus is inside
    };
    virtual ~IColourSource() = default;
    virtual Ogre::ColourValue getCurrentColour() const = 0;
    virtual BoxShape getBoxShape() const = 0;
};

/// The grid as a ruler: one cell stands for one unit of length. The grid
/// function ("SwitchGridFunction") implements it; snapping and measuring
/// read it.
class IGridUnit {
public:
    virtual ~IGridUnit() = default;
    /// Scene-root units per grid cell; users refuse values that are not
    /// finite and positive.
    virtual float getGridSpacing() const = 0;
    /// "mm", "cm" or "m".
    virtual std::string getUnitText() const = 0;
    /// 1 millimetre, 2 centimetre (also any other value), 3 metre: a cell
    /// is the grid size times 0.1, 1 or 100.
    virtual void setUnit(int unit) { (void)unit; }
};

/// Lines and captions a tool shows in the scene while it works (the
/// rotation's reference line, the scale markers and size read-out, the
/// measuring line), for drawing them and for the state dump. World frame;
/// each mark names the scene node that carries it.
class IToolMarks {
public:
    struct Line {
        std::string node;
        Ogre::Vector3 from = Ogre::Vector3::ZERO;
        Ogre::Vector3 to = Ogre::Vector3::ZERO;
        Ogre::ColourValue colour = Ogre::ColourValue::White;
    };
    struct Caption {
        std::string node;
        Ogre::Vector3 at = Ogre::Vector3::ZERO;
        std::string text;
    };
    struct Marks {
        std::vector<Line> lines;
        std::vector<Caption> captions;
    };
    virtual ~IToolMarks() = default;
    /// What the tool shows now; empty while it shows nothing.
    virtual Marks getToolMarks() const = 0;
};

/// A plane a tool places with the grip (slice, mirror), for drawing it.
class IToolPlane {
public:
    struct Plane {
        bool shown = false;
        Ogre::Vector3 point = Ogre::Vector3::ZERO;  ///< world
        Ogre::Vector3 normal = Ogre::Vector3::UNIT_Z; ///< world, unit length
    };
    virtual ~IToolPlane() = default;
    virtual Plane getToolPlane() const = 0;
};
