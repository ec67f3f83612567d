#include "haptics/HapticManager.h"

#include "config/ConfigReader.h"
#include "detail/HapticContacts.h"
#include "haptics/HapticsPresenter.h"
#include "hapticdevice/IHapticsDevice.h"
#include "haptics/RuspiniRenderer.h"
#include "log/DebugChannel.h"
#include "log/Exception.h"
#include "scene/ObjectGroup.h"

#include <algorithm>
#include <cmath>
#include <iostream>

namespace Kiln {
namespace {

const char* const kLostDevice = "The application has lost connection to the device.";
const char* const kRefusedDevice =
    "Another application failed to give control of the Touch Controller to this application.";

// The renderer starts with a tiny proxy until the configured radius is set.
constexpr double kInitialProxyRadius = 0.0025;
constexpr float kDefaultWorldScale = 0.005f;

DebugChannel& channel() {
    static DebugChannel managerChannel("HapticManager", std::cerr);
    return managerChannel;
}

template <typename T>
bool eraseSwapPop(std::vector<T>& list, const T& value) {
    const auto found = std::find(list.begin(), list.end(), value);
    if (found == list.end())
        return false;
    *found = list.back();
    list.pop_back();
    return true;
}

} // namespace

/// The grip's weight, cancelled in the device frame; always on.
class HapticManager::Gravity : public IHapticForceEffect {
public:
    explicit Gravity(const Ogre::Vector3& force_) : force(force_) {}
    Ogre::Vector3& computeForce(Ogre::Vector3& out, IHapticsDevice&) override {
        out = force;
        return out;
    }

private:
    const Ogre::Vector3 force;
};

HapticManager::HapticManager() : stylus(std::make_unique<HapticStylus>(nullptr)) {}

// The device goes first so that its thread no longer calls the renderer or
// the gravity effect; presenters still attached forget the manager so that
// they never call back into it.
HapticManager::~HapticManager() {
    channel() << "Kiln::HapticManager::~HapticManager(void)" << endl;
    device.reset();
    touched.clear();
    pending.clear();
    // Roots and the groups under them forget the manager too (they would
    // mark it dirty when they move); their objects follow them.
    const std::vector<ObjectHandle> roots = std::move(objects);
    objects.clear();
    for (const ObjectHandle& root : roots)
        if (ObjectGroup* node = root.get())
            if (HapticsPresenterBase* presenter = HapticsPresenterBase::of(*node))
                presenter->setManager(nullptr);
    while (!attached.empty()) {
        auto* presenter = const_cast<HapticsPresenter*>(*attached.begin());
        attached.erase(attached.begin());
        presenter->setManager(nullptr);
    }
}

void HapticManager::initialise(ConfigReader& configuration, std::unique_ptr<IHapticsDevice> newDevice,
                               IStylusView* view) {
    const char* const origin = "Kiln::HapticManager::initialise()";
    if (!newDevice)
        throw Exception(ErrorCode::InvalidValue, "No haptic device was given.", origin);
    worldScale = configuration.readFloat("Haptic.DeviceWorldScale", kDefaultWorldScale);
    // A scale the device cannot take would end the start over a typo.
    if (!(worldScale > 0.f) || !std::isfinite(worldScale)) {
        channel() << "Haptic.DeviceWorldScale " << worldScale << " is not a positive number; using "
                  << kDefaultWorldScale << endl;
        worldScale = kDefaultWorldScale;
    }
    const float radius = configuration.readFloat("Haptic.StylusRadius", 1.0f);
    if (!(radius > 0.f) || !std::isfinite(radius))
        throw Exception(ErrorCode::InvalidValue, "Haptic.StylusRadius must be a positive number.", origin);

    device = std::move(newDevice);
    renderer = std::make_unique<RuspiniRenderer>(kInitialProxyRadius);
    gravity = std::make_unique<Gravity>(Ogre::Vector3(0.f, 0.7f, 0.f));
    device->setWorldScale(worldScale);
    renderer->setProxyRadius(radius);
    device->addGlobalForceEffect(renderer.get());
    device->addForceEffect(gravity.get());
    const bool active = device->activate();

    state.numButtons = 4;
    state.proxyRadius = renderer->getProxyRadius();
    worldScale = device->getWorldScale();
    state.reset();

    stylus = std::make_unique<HapticStylus>(view);
    stylus->setRadius(radius);
    deviceDistance = configuration.readVector3("Haptic.DeviceDistance", "0.0 0.0 -50.0");
    setHapticsEnabled(hapticsEnabled);
    if (!active)
        loseDevice(kRefusedDevice);
}

void HapticManager::update(float frameMilliseconds) {
    const bool wasDirty = transformDirty;
    const ObjectGroup* active = activeObject.get();
    if (transformDirty && active && device) {
        device->setDeviceTransform(active->getPosition(), active->getOrientation(), deviceDistance);
        transformDirty = false;
        // Until now the device frame sat at the world origin, where the
        // proxy may have started inside an object.
        if (!devicePlaced && renderer)
            renderer->reseatProxy();
        devicePlaced = true;
    }
    if (!updateDevice())
        return;
    const HapticEvent event(&state, device.get());
    if (moved || wasDirty)
        dispatchMoved(event);
    if (pressed != 0)
        dispatchPressed(event, pressed);
    if (released != 0)
        dispatchReleased(event, released);
    const float seconds = std::min(1.f, std::max(0.f, frameMilliseconds * 0.001f));
    if (hapticsEnabled)
        updateContacts(seconds);
}

bool HapticManager::updateDevice() {
    if (!device || deviceLost)
        return false;
    if (!device->isConnected()) {
        loseDevice(kLostDevice);
        return false;
    }
    const HapticState previous = state;
    state.reset();
    state.position = device->getPosition();
    state.proxyPosition = renderer->getProxyPosition();
    state.devicePosition = device->getDevicePosition();
    state.buttons = static_cast<ButtonMask>(device->getButtons());
    state.orientation = device->getOrientation();
    state.proxyRadius = renderer->getProxyRadius();
    moved = state.devicePosition.squaredDistance(previous.devicePosition) > 1e-10f ||
            !(state.orientation == previous.orientation);
    pressed = state.buttons & ~previous.buttons;
    released = previous.buttons & ~state.buttons;
    return true;
}

// Listeners may add or remove listeners while an event runs: the walk goes
// over a copy and skips those removed meanwhile, which may already be gone.
template <typename Call>
static void dispatchTo(const std::vector<IHapticListener*>& listeners, HapticStylus& stylus,
                       Call&& call) {
    const std::vector<IHapticListener*> snapshot = listeners;
    for (IHapticListener* listener : snapshot) {
        if (std::find(listeners.begin(), listeners.end(), listener) == listeners.end())
            continue;
        if (!call(*listener))
            break;
    }
    call(stylus);
}

void HapticManager::dispatchMoved(const HapticEvent& event) {
    dispatchTo(listeners, *stylus, [&](IHapticListener& l) { return l.hapticMoved(event); });
}

void HapticManager::dispatchPressed(const HapticEvent& event, ButtonMask mask) {
    dispatchTo(listeners, *stylus,
               [&](IHapticListener& l) { return l.hapticButtonPressed(event, mask); });
}

void HapticManager::dispatchReleased(const HapticEvent& event, ButtonMask mask) {
    dispatchTo(listeners, *stylus,
               [&](IHapticListener& l) { return l.hapticButtonReleased(event, mask); });
}

// One copy of the contacts answers every question of the frame, so a shape
// is judged by the forces of the same tick that reported it.
void HapticManager::updateContacts(float seconds) {
    const std::vector<ContactRecord> contacts = renderer->getContacts();
    const Ogre::Vector3 deformation = deformationVectorOf(contacts);
    std::vector<HapticsPresenter*> nowTouched;
    for (const auto& shape : touchedShapesOf(contacts)) {
        HapticsPresenter* owner = shape->getOwner();
        const Ogre::Vector3 force = shapeForceOf(contacts, shape.get());
        if (force == Ogre::Vector3::ZERO || !owner || !attached.count(owner))
            continue;
        TouchInfo info;
        info.stylus = stylus.get();
        info.contactPoint = shapeContactPointOf(contacts, shape.get());
        info.force = force;
        info.proxyPosition = state.proxyPosition;
        info.deformation = deformation;
        info.proxyRadius = static_cast<float>(state.proxyRadius);
        info.seconds = seconds;
        info.manager = this;
        info.renderer = renderer.get();
        const bool wasTouched = std::find(touched.begin(), touched.end(), owner) != touched.end();
        const bool seenThisFrame =
            std::find(nowTouched.begin(), nowTouched.end(), owner) != nowTouched.end();
        if (wasTouched || seenThisFrame)
            owner->touchContinue(info);
        else
            owner->touchBegin(info);
        nowTouched.push_back(owner);
    }
    for (HapticsPresenter* presenter : touched)
        if (std::find(nowTouched.begin(), nowTouched.end(), presenter) == nowTouched.end() &&
            attached.count(presenter))
            presenter->touchEnd();
    touched = std::move(nowTouched);
}

void HapticManager::addListener(IHapticListener* listener) {
    if (listener && std::find(listeners.begin(), listeners.end(), listener) == listeners.end())
        listeners.push_back(listener);
}

void HapticManager::removeListener(IHapticListener* listener) {
    listeners.erase(std::remove(listeners.begin(), listeners.end(), listener), listeners.end());
}

void HapticManager::setHapticsEnabled(bool on) {
    if (deviceLost) {
        enabledAfterLoss = on;
        return;
    }
    if (on) {
        hapticsEnabled = true;
        std::vector<HapticsPresenter*> waiting;
        waiting.swap(pending);
        for (HapticsPresenter* presenter : waiting)
            presenter->onMeshChanged();
        if (renderer)
            renderer->enable();
        return;
    }
    if (!hapticsEnabled)
        return;
    if (renderer)
        renderer->disable();
    std::vector<HapticsPresenter*> wasTouched;
    wasTouched.swap(touched);
    for (HapticsPresenter* presenter : wasTouched)
        presenter->touchEnd();
    hapticsEnabled = false;
}

bool HapticManager::reactivate() {
    if (!device)
        return false;
    // activate first: it is what reopens a device that was unplugged and
    // plugged in again.
    if (!device->activate() || !device->isConnected()) {
        loseDevice(kRefusedDevice);
        return false;
    }
    if (deviceLost) {
        deviceLost = false;
        state.reset();
        setHapticsEnabled(enabledAfterLoss);
    }
    return true;
}

void HapticManager::loseDevice(const std::string& text) {
    channel() << text << endl;
    if (!deviceLost) {
        const bool wanted = hapticsEnabled;
        setHapticsEnabled(false);
        deviceLost = true;
        enabledAfterLoss = wanted;
    }
    moved = false;
    pressed = released = 0;
    post(text);
}

void HapticManager::post(const std::string& text) {
    if (notice)
        notice(text);
}

std::vector<ObjectHandle> HapticManager::getTouchedObjects() const {
    std::vector<ObjectHandle> handles;
    for (const HapticsPresenter* presenter : touched)
        if (ObjectGroup* node = presenter->getObject())
            handles.push_back(node->getHandle());
    return handles;
}

void HapticManager::removePresenter(HapticsPresenter* presenter) {
    if (!presenter)
        return;
    attached.erase(presenter);
    if (eraseSwapPop(touched, presenter))
        presenter->touchEnd();
    eraseSwapPop(pending, presenter);
}

void HapticManager::addPending(HapticsPresenter* presenter) {
    if (presenter && std::find(pending.begin(), pending.end(), presenter) == pending.end())
        pending.push_back(presenter);
}

void HapticManager::attachPresenter(HapticsPresenter* presenter) {
    if (presenter)
        attached.insert(presenter);
}

bool HapticManager::hasRoot(const ObjectGroup* node) const {
    return node && std::any_of(objects.begin(), objects.end(),
                               [&](const ObjectHandle& h) { return h.get() == node; });
}

void HapticManager::setHapticSideRecursive(ObjectGroup& group, int side) {
    sideSetting = side;
    for (const auto& child : group.getChildren()) {
        if (child->isObject()) {
            if (HapticsPresenter* presenter = HapticsPresenter::of(*child))
                presenter->setSide(side);
        } else {
            setHapticSideRecursive(*child, side);
        }
    }
}

void HapticManager::objectAdded(ObjectHandle root) {
    ObjectGroup* node = root.get();
    HapticsPresenterBase* presenter = node ? HapticsPresenterBase::of(*node) : nullptr;
    if (!presenter)
        return;
    objects.push_back(root);
    if (presenter->getManager() != this)
        presenter->setManager(this);
}

void HapticManager::objectRemoved(ObjectHandle root) {
    ObjectGroup* node = root.get();
    HapticsPresenterBase* presenter = node ? HapticsPresenterBase::of(*node) : nullptr;
    if (!presenter)
        return;
    const auto found = std::find(objects.begin(), objects.end(), root);
    if (found != objects.end())
        objects.erase(found);
    if (presenter->getManager())
        presenter->setManager(nullptr);
    removePresenter(dynamic_cast<HapticsPresenter*>(presenter));
}

void HapticManager::setActiveObject(ObjectHandle root) {
    ObjectGroup* node = root.get();
    ObjectGroup* old = activeObject.get();
    if (node == old)
        return;
    if (old)
        if (HapticsPresenterBase* presenter = HapticsPresenterBase::of(*old))
            presenter->setActive(false);
    if (node)
        if (HapticsPresenterBase* presenter = HapticsPresenterBase::of(*node))
            presenter->setActive(true);
    activeObject = root;
    transformDirty = true;
}

} // namespace Kiln
