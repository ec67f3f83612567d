#pragma once
// IToolHaptics over the program's haptic manager, its stylus and the
// objects' haptics presenters.
#include "functions/FunctionSeams.h"

#include <functional>

namespace Kiln {
class HapticManager;
}

class HapticManagerToolHaptics : public IToolHaptics {
public:
    /// `manager` must outlive this object.
    explicit HapticManagerToolHaptics(Kiln::HapticManager& manager) : manager(manager) {}

    /// Called with the wanted state before it is applied; returns true when
    /// it keeps the state to restore later instead (the stylus drives the
    /// GUI pointer and holds haptics off meanwhile).
    using GuiModeHook = std::function<bool(bool wanted)>;
    void setGuiModeHook(GuiModeHook hook) { guiMode = std::move(hook); }

    std::vector<Kiln::ObjectHandle> getTouchedObjects() const override;
    int getSideSetting() const override;
    void setHapticSideRecursive(Kiln::ObjectGroup& group, int side) override;
    void setStylusColour(const Ogre::ColourValue& colour) override;
    void setStylusDirection(const Ogre::Matrix3& direction) override;
    Kiln::VertexListWorker* getLiveDent(Kiln::ObjectGroup& object) override;
    void setHapticsWanted(bool on) override;

private:
    Kiln::HapticManager& manager;
    GuiModeHook guiMode;
};
