#pragma once
// The view functions' seam over the camera navigation, the stylus and the
// render window.
#include "functions/FunctionSeams.h"

class AppContext;

namespace Kiln {

class MouseNavigation;

class ViewControl : public IViewControl {
public:
    /// `navigation` may be null (the camera then stays put).
    ViewControl(AppContext& context, MouseNavigation* navigation)
        : context(context), navigation(navigation) {}
    void resetCamera() override;
    std::string setUnit(int unit) override;
    void setTipRadius(float radius) override;
    float getTipRadius() const override;
    bool saveScreenshot(const std::string& path) override;

private:
    AppContext& context;
    MouseNavigation* navigation;
};

} // namespace Kiln
