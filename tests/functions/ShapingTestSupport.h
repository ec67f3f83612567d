#pragma once
// A scene with a selection, the colour box and grip events for the shaping
// and painting tools' tests.
#include "FunctionTestSupport.h"
#include "../geometry/MeshFixtures.h"

#include "functions/colour/ColourFunction.h"
#include "geometry/FastBooleanBuilder.h"
#include "mesh/MeshMeasures.h"
#include "scene/IObjectFactory.h"
#include "scene/Object.h"
#include "scene/SelectionManager.h"

#include <map>
#include <memory>
#include <utility>

struct ShapingFixture : FunctionFixture {
    ShapingFixture() : selection(&root) {
        context.selection = &selection;
        context.objectFactory = &factory;
        colour = install<ColourFunction>();
        colour->setBoxVisible(true);  // the setting is process-wide: earlier tests may have hidden it
    }

    /// Registers one function of type T and runs its init.
    template <typename T>
    T* install() {
        auto function = std::make_unique<T>(context);
        T* raw = function.get();
        manager->registerFunction(std::move(function));
        raw->init();
        return raw;
    }

    Kiln::Object* addObject(const Kiln::MeshArrays& arrays, const Ogre::Vector3& position = Ogre::Vector3::ZERO) {
        auto object = std::make_unique<Kiln::Object>();
        object->setMesh(Kiln::toDynamicMesh(arrays));
        object->setPosition(position);
        return root.adoptChild(std::move(object));
    }
    void select(Kiln::ObjectGroup* node) { selection.addObjectToSelected(node->getHandle()); }
    void touch(Kiln::ObjectGroup* node) { haptics.touched = {node->getHandle()}; }

    /// Grip events at `at` (world) with `buttons` held.
    void move(const Ogre::Vector3& at, Kiln::ButtonMask buttons = 0, float proxyRadius = 0.f) {
        state.proxyPosition = state.position = at;
        state.buttons = buttons;
        state.proxyRadius = proxyRadius;
        Kiln::HapticEvent event(&state, nullptr);
        manager->hapticMoved(event);
    }
    void press(const Ogre::Vector3& at) {
        state.proxyPosition = state.position = at;
        state.buttons = 1;
        Kiln::HapticEvent event(&state, nullptr);
        manager->hapticButtonPressed(event, 1u);
    }
    void release(const Ogre::Vector3& at) {
        state.proxyPosition = state.position = at;
        state.buttons = 0;
        Kiln::HapticEvent event(&state, nullptr);
        manager->hapticButtonReleased(event, 1u);
    }

    std::vector<Kiln::Object*> sceneObjects() const {
        std::vector<Kiln::Object*> out;
        for (const auto& child : root.getChildren())
            if (child->isObject())
                out.push_back(static_cast<Kiln::Object*>(child.get()));
        return out;
    }
    static double volumeOf(const Kiln::Object& object) {
        return Kiln::signedVolume(*object.getMesh(), object.getWorldMatrix());
    }
    bool hasMessage(const std::string& text) const {
        for (const PostedMessage& m : status.messages)
            if (m.text == text)
                return true;
        return false;
    }

    Kiln::SelectionManager selection;
    Kiln::PlainObjectFactory factory;
    ColourFunction* colour = nullptr;
    Kiln::HapticState state;
};

/// Every directed edge once and its reverse present: closed and manifold
/// (welded by index, not by position).
inline bool isClosedManifold(const Kiln::DynamicMesh& mesh) {
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> directed;
    for (const Kiln::Face& f : mesh.getFaces())
        for (int k = 0; k < 3; ++k)
            if (++directed[{f[k], f[(k + 1) % 3]}] > 1)
                return false;
    for (const auto& entry : directed)
        if (!directed.count({entry.first.second, entry.first.first}))
            return false;
    return true;
}
