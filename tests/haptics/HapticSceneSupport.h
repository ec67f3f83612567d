#pragma once
// Fixtures for the manager and presenter tests: a device the test moves by
// hand, a stylus view and a graphics presenter that record what they are
// told, and a small scene of one root group holding one cube object.
#include "config/ConfigReader.h"
#include "haptics/HapticManager.h"
#include "haptics/HapticsPresenter.h"
#include "hapticdevice/IHapticsDevice.h"
#include "haptics/IndexedShape.h"
#include "haptics/RuspiniRenderer.h"
#include "mesh/MeshEditor.h"
#include "scene/Object.h"

#include <memory>
#include <string>
#include <vector>

namespace HapticTest {

/// A device whose state the test sets; the renderer is ticked by the test.
class FakeDevice : public Kiln::IHapticsDevice {
public:
    struct Controls {
        Ogre::Vector3 devicePosition = Ogre::Vector3::ZERO;
        Ogre::Vector3 position = Ogre::Vector3::ZERO;
        Ogre::Quaternion orientation = Ogre::Quaternion::IDENTITY;
        int buttons = 0;
        bool connected = true;
        bool activates = true;
        int activations = 0;
        int transforms = 0;
        Ogre::Vector3 transformPosition = Ogre::Vector3::ZERO;
        Ogre::Vector3 transformOffset = Ogre::Vector3::ZERO;
        std::vector<Kiln::IGlobalForceEffect*> globalEffects;
        std::vector<Kiln::IHapticForceEffect*> effects;
    };

    explicit FakeDevice(Controls& controls) : c(controls) {}

    Ogre::Vector3 getDevicePosition() override { return c.devicePosition; }
    Ogre::Vector3 getDeviceVelocity() override { return Ogre::Vector3::ZERO; }
    Ogre::Vector3 getPosition() override { return c.position; }
    Ogre::Vector3 getVelocity() override { return Ogre::Vector3::ZERO; }
    Ogre::Quaternion getOrientation() override { return c.orientation; }
    int getButtons() override { return c.buttons; }
    void setDeviceTransform(const Ogre::Vector3& position, const Ogre::Quaternion&,
                            const Ogre::Vector3& offset) override {
        ++c.transforms;
        c.transformPosition = position;
        c.transformOffset = offset;
    }
    void setWorldScale(float value) override { scale = value; }
    float getWorldScale() override { return scale; }
    void addForceEffect(Kiln::IHapticForceEffect* e) override { c.effects.push_back(e); }
    void addGlobalForceEffect(Kiln::IGlobalForceEffect* e) override { c.globalEffects.push_back(e); }
    void removeForceEffect(Kiln::IHapticForceEffect*) override {}
    void removeGlobalForceEffect(Kiln::IGlobalForceEffect*) override {}
    bool isConnected() override { return c.connected; }
    bool activate() override {
        ++c.activations;
        return c.activates;
    }
    void deactivate() override {}
    Kiln::DeviceSample getWorldSample() override {
        Kiln::DeviceSample sample;
        sample.position = {c.position.x, c.position.y, c.position.z};
        return sample;
    }
    double getForceGain() override { return 1.0; }

private:
    Controls& c;
    float scale = 1.f;
};

struct ViewLog {
    std::vector<Ogre::Vector3> positions;
    Ogre::ColourValue colour = Ogre::ColourValue::Black;
    float radius = 0.f;
};

class RecordingView : public Kiln::IStylusView {
public:
    explicit RecordingView(ViewLog& log_) : log(log_) {}
    void setPosition(const Ogre::Vector3& world) override { log.positions.push_back(world); }
    void setOrientation(const Ogre::Quaternion&) override {}
    void setRadius(float r) override { log.radius = r; }
    void setColour(const Ogre::ColourValue& colour) override { log.colour = colour; }
    void setVisible(bool) override {}

private:
    ViewLog& log;
};

/// Counts redraws, the way the graphics presenter would be asked for them.
class RedrawCounter : public Kiln::IObjectPresenter {
public:
    explicit RedrawCounter(int& count_) : count(count_) {}
    std::unique_ptr<Kiln::IObjectPresenter> clone() const override {
        return std::make_unique<RedrawCounter>(count);
    }
    void setObject(Kiln::ObjectGroup*) override {}
    void onTransformChanged() override {}
    void onMeshChanged() override { ++count; }
    void onParentChanged() override {}
    void setVisible(bool) override {}
    bool isVisible() const override { return true; }

private:
    int& count;
};

/// q = scale * (p + shift): a dent transform for tests.
inline Ogre::Matrix4 scaledShift(float scale, const Ogre::Vector3& shift) {
    Ogre::Matrix4 scaling = Ogre::Matrix4::IDENTITY;
    scaling.setScale({scale, scale, scale});
    Ogre::Matrix4 shifting = Ogre::Matrix4::IDENTITY;
    shifting.setTrans(shift);
    return scaling * shifting;
}

inline Kiln::ConfigReader settings(const std::string& xml = "<Haptic/>") {
    return Kiln::ConfigReader(std::make_unique<Kiln::SimpleXMLKeyValueStore>(
        Kiln::SimpleXMLKeyValueStore::fromText(xml)));
}

/// A manager on a FakeDevice, a root group with a cube (half size 3) at the
/// origin, reported to the manager as the scene would.
struct CubeScene {
    FakeDevice::Controls device;
    ViewLog view;
    RecordingView recordingView{view};
    Kiln::HapticManager manager;
    std::unique_ptr<Kiln::ObjectGroup> root = std::make_unique<Kiln::ObjectGroup>();
    Kiln::Object* cube = nullptr;
    int redraws = 0;

    explicit CubeScene(const std::string& xml = "<Haptic StylusRadius=\"0.5\"/>") {
        Kiln::ConfigReader reader = settings(xml);
        manager.initialise(reader, std::make_unique<FakeDevice>(device), &recordingView);
        root->setPresenter("haptics", std::make_unique<Kiln::HapticsPresenterBase>());
        auto object = std::make_unique<Kiln::Object>();
        object->setMesh(Kiln::MeshEditor::createNewDynamicMesh(1, Ogre::ColourValue::White));
        object->setPresenter("graphics", std::make_unique<RedrawCounter>(redraws));
        object->setPresenter("haptics", std::make_unique<Kiln::HapticsPresenter>());
        cube = root->adoptChild(std::move(object));
        manager.objectAdded(root->getHandle());
    }

    Kiln::HapticsPresenter& presenter() { return *Kiln::HapticsPresenter::of(*cube); }

    /// Puts the device point at `world` and runs renderer ticks there.
    void holdAt(const Ogre::Vector3& world, int ticks = 200) {
        device.position = world;
        device.devicePosition = world;
        for (int i = 0; i < ticks; ++i)
            manager.getRenderer()->tick(getSample(), 1.0);
    }

    Kiln::DeviceSample getSample() const {
        Kiln::DeviceSample sample;
        sample.position = {device.position.x, device.position.y, device.position.z};
        return sample;
    }
};

} // namespace HapticTest
