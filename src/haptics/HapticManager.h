#pragma once
// The haptic side of the program on the main thread: owns the device, the
// proxy renderer, gravity compensation and the stylus; once per graphics
// frame turns the device's change of state into events for its listeners
// and tells each object's haptics presenter when the proxy starts, keeps
// and stops touching it. It is the scene's "haptics" presenter.
#include "haptics/HapticEvent.h"
#include "hapticdevice/HapticForceEffect.h"
#include "haptics/HapticStylus.h"
#include "scene/ObjectHandle.h"
#include "scene/Scene.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace Kiln {

class ConfigReader;
class HapticsPresenter;
class IHapticsDevice;
class ObjectGroup;
class RuspiniRenderer;

class HapticManager : public IScenePresenter {
public:
    /// Receives the user-facing texts of device trouble (lost or refused
    /// device); the program runs on without haptics after each.
    using NoticeSink = std::function<void(const std::string& text)>;

    HapticManager();
    /// Stops the device's thread before anything it calls goes away.
    ~HapticManager() override;
    HapticManager(const HapticManager&) = delete;
    HapticManager& operator=(const HapticManager&) = delete;

    /// Reads the "Haptic.*" keys, takes the device, creates the renderer,
    /// gravity compensation and the stylus (drawn through `view`, which may
    /// be null and must outlive the manager) and activates the device. A
    /// device that refuses to activate gives a notice and leaves haptics
    /// off; nothing here ends the program. Throws Kiln::Exception (code 3)
    /// for a stylus radius that is not a positive finite number.
    void initialise(ConfigReader& configuration, std::unique_ptr<IHapticsDevice> device,
                    IStylusView* view);
    void setNoticeSink(NoticeSink sink) { notice = std::move(sink); }

    /// Once per graphics frame, main thread. frameMilliseconds >= 0.
    void update(float frameMilliseconds);

    void addListener(IHapticListener* listener);
    void removeListener(IHapticListener* listener);

    void setHapticsEnabled(bool on);
    bool isHapticsEnabled() const { return hapticsEnabled; }
    /// Asks the device to activate again (after a lost device or focus
    /// loss); false and a notice when it refuses.
    bool reactivate();

    /// Objects whose presenters the proxy touched in the last update, in
    /// touch order; presenters without an object are skipped.
    std::vector<ObjectHandle> getTouchedObjects() const;
    const std::vector<HapticsPresenter*>& getTouchedPresenters() const { return touched; }
    void removePresenter(HapticsPresenter* presenter);
    /// Presenters waiting for haptics to come back before rebuilding.
    void addPending(HapticsPresenter* presenter);
    /// A presenter that joined this manager (its shape may now be
    /// touched); removePresenter forgets it again. Contacts of shapes whose
    /// owner is not attached are ignored, so a presenter that is gone is
    /// never called through a shape the haptic thread still held.
    void attachPresenter(HapticsPresenter* presenter);
    /// The active root moved: the device frame follows it at the next update.
    void setTransformDirty() { transformDirty = true; }
    /// Whether `node` is one of the roots the scene reported.
    bool hasRoot(const ObjectGroup* node) const;
    /// True from a lost or refused device until reactivate succeeds.
    bool isDeviceLost() const { return deviceLost; }

    /// Sets the side of every object under `group` (recursively) and applies
    /// it. side: 0 none, 1 outer, 2 inner, 3 both.
    void setHapticSideRecursive(ObjectGroup& group, int side);
    /// The side last given to setHapticSideRecursive (1 at start).
    int getSideSetting() const { return sideSetting; }

    IHapticsDevice* getDevice() const { return device.get(); }
    RuspiniRenderer* getRenderer() const { return renderer.get(); }
    HapticStylus& getStylus() { return *stylus; }
    const HapticState& getState() const { return state; }
    float getWorldScale() const { return worldScale; }

    // IScenePresenter
    void objectAdded(ObjectHandle root) override;
    void objectRemoved(ObjectHandle root) override;
    void setActiveObject(ObjectHandle root) override;

private:
    class Gravity;
    // Implementation-private helpers are the implementer's choice.
    bool updateDevice();
    void dispatchMoved(const HapticEvent& event);
    void dispatchPressed(const HapticEvent& event, ButtonMask mask);
    void dispatchReleased(const HapticEvent& event, ButtonMask mask);
    void updateContacts(float seconds);
    void post(const std::string& text);
    /// Haptics off, a notice, and no device reads until reactivate.
    void loseDevice(const std::string& text);

    std::vector<IHapticListener*> listeners;
    std::vector<ObjectHandle> objects;
    std::vector<HapticsPresenter*> touched;
    std::vector<HapticsPresenter*> pending;
    std::unique_ptr<HapticStylus> stylus;
    bool transformDirty = false;
    bool devicePlaced = false; ///< the device transform was set once
    ObjectHandle activeObject; ///< weak: a deleted root is no longer active
    bool hapticsEnabled = true;
    bool deviceLost = false;
    /// What setHapticsEnabled last asked for while the device was lost.
    bool enabledAfterLoss = true;
    std::unordered_set<const HapticsPresenter*> attached;
    float worldScale = 0.005f;
    Ogre::Vector3 deviceDistance{0.f, 0.f, -50.f};
    int sideSetting = 1;
    HapticState state;
    bool moved = false;
    ButtonMask pressed = 0;
    ButtonMask released = 0;
    NoticeSink notice;
    // Destroyed in reverse: the device (and its thread) first.
    std::unique_ptr<RuspiniRenderer> renderer;
    std::unique_ptr<Gravity> gravity;
    std::unique_ptr<IHapticsDevice> device;
};

} // namespace Kiln
