#include "app/ViewControl.h"

#include "app/AppContext.h"
#include "app/MouseNavigation.h"
#include "graphics/GraphicsManager.h"
#include "haptics/HapticManager.h"
#include "haptics/HapticStylus.h"

namespace Kiln {

void ViewControl::resetCamera() {
    if (navigation)
        navigation->reset();
}

std::string ViewControl::setUnit(int unit) {
    const char* text = unit == 1 ? "mm" : unit == 3 ? "m" : "cm";
    return std::string("One Grid is 1 ") + text;
}

void ViewControl::setTipRadius(float radius) {
    if (context.hapticManager && radius > 0.f)
        context.hapticManager->getStylus().setRadius(radius);
}

float ViewControl::getTipRadius() const {
    return context.hapticManager ? context.hapticManager->getStylus().getRadius() : 0.f;
}

bool ViewControl::saveScreenshot(const std::string& path) {
    try {
        context.graphicsManager->saveScreenshot(path);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace Kiln
