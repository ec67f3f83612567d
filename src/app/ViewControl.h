#pragma once
// The view functions' seam over the camera navigation, the stylus and the
// render window.
#include "functions/FunctionSeams.h"

#include <functional>

class AppContext;

namespace Ogre {
class ManualObject;
class SceneNode;
} // namespace Ogre

namespace Kiln {

class MouseNavigation;

class ViewControl : public IViewControl {
public:
    /// `navigation` may be null (the camera then stays put).
    /// Where the grid's unit caption goes (a label over the view).
    using ShowCaption = std::function<void(const std::string& caption)>;

    /// Shows the starting caption, "One Grid is 1 Centimetre".
    ViewControl(AppContext& context, MouseNavigation* navigation, ShowCaption showCaption);
    void resetCamera() override;
    std::string setUnit(int unit) override;
    void setTipRadius(float radius) override;
    float getTipRadius() const override;
    bool saveScreenshot(const std::string& path) override;
    void setFloorVisible(bool visible, const Ogre::ColourValue& ambient,
                         const Ogre::ColourValue& diffuse) override;
    void setShadowsEnabled(bool on) override;
    void setGrid(bool visible, int plane, float cell, float offset) override;
    void setRotationCentre(const Ogre::Vector3& world) override;

    /// World height of the floor: below the objects of a fresh scene.
    static constexpr float floorHeight = -3.f;
    /// Grid lines each side of the centre.
    static constexpr int gridHalfLines = 10;

private:
    AppContext& context;
    MouseNavigation* navigation;
    ShowCaption showCaption;
    Ogre::SceneNode* floorNode = nullptr;
    Ogre::SceneNode* gridNode = nullptr;
    Ogre::ManualObject* grid = nullptr;
    int shadowTechnique = -1; ///< the configured one, kept while shadows are off
};

} // namespace Kiln
