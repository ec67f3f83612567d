#include "functions/colour/ColourFunction.h"

#include "config/ConfigurationFile.h"
#include "functions/FunctionManager.h"
#include "functions/FunctionRegistration.h"
#include "log/Exception.h"

MORVEL_REGISTER_FUNCTION(ColourFunction);

namespace {
// Beside the right edge of the reachable space, at the height of the
// objects, one world unit across (five grid units under the scene root).
const Ogre::Vector3 BOX_ORIGIN(2.0f, -0.5f, -0.5f);
constexpr float BOX_SIZE = 1.0f;
const char* const VISIBLE_SETTING = "View.ColorBox";
} // namespace

ColourFunction::ColourFunction(FunctionContext& context)
    : FunctionBase(context, "ColourFunction", FUNCTION_COMMAND | FUNCTION_UPDATE, "Background", FunctionText::id(38),
                   FunctionText::id(40)),
      colourBox(std::make_unique<ColourChooserBox>(BOX_ORIGIN, BOX_SIZE)) {}

void ColourFunction::init() {
    colourBox->setVisible(Kiln::ConfigurationFile::getBool(VISIBLE_SETTING, true));
}

void ColourFunction::onArgumentSet() {
    const std::string& window = arguments.front();
    if (!context.gui || !context.gui->hasWindow(window))
        throw Kiln::Exception(Kiln::ErrorCode::InvalidValue, "Invalid argument for ColourFunction...",
                              "ColourFunction::onArgumentSet()");
    checkbox = window;
    const bool shown = Kiln::ConfigurationFile::getBool(VISIBLE_SETTING, true);
    context.gui->setSelected(checkbox, shown);
    setBoxVisible(shown);
}

void ColourFunction::execute() {
    if (context.gui && !checkbox.empty())
        context.gui->setSelected(checkbox, !context.gui->isSelected(checkbox));
    else
        setBoxVisible(!colourBox->isVisible());
}

bool ColourFunction::update(const Ogre::FrameEvent& event) {
    (void)event;
    if (context.gui && !checkbox.empty() && context.gui->isSelected(checkbox) != colourBox->isVisible())
        setBoxVisible(!colourBox->isVisible());
    return true;
}

void ColourFunction::setBoxVisible(bool on) {
    colourBox->setVisible(on);
    if (!on) {
        colourBox->setHovered(false);
        colourBox->setActive(false);
        dragging = hovering = false;
    }
    Kiln::ConfigurationFile::setString(VISIBLE_SETTING, on ? "True" : "False");
}

bool ColourFunction::nothingTouched() const {
    return !context.haptics || context.haptics->getTouchedObjects().empty();
}

bool ColourFunction::claimsButtonPress(const FunctionButtonEvent& event) const {
    return event.button(0) && colourBox->isVisible() && nothingTouched() &&
           colourBox->contains(event.getState().proxyPosition);
}

void ColourFunction::buttonPressed(const FunctionButtonEvent& event) {
    if (!claimsButtonPress(event))
        return;
    const Ogre::Vector3& point = event.getState().proxyPosition;
    dragging = true;
    colourBox->setActive(true);
    colourBox->setColourFromPoint(point);
}

void ColourFunction::hapticMoved(const Kiln::HapticEvent& event) {
    if (!colourBox->isVisible())
        return;
    const Ogre::Vector3& point = event.getState().proxyPosition;
    const bool inside = colourBox->contains(point);
    if (inside != hovering) {
        hovering = inside;
        colourBox->setHovered(inside);
    }
    if (inside && dragging)
        colourBox->setColourFromPoint(point);
}

void ColourFunction::buttonReleased(const FunctionButtonEvent& event) {
    if (!event.button(0) || !dragging)
        return;
    dragging = false;
    colourBox->setActive(false);
    const Ogre::Vector3& point = event.getState().proxyPosition;
    if (colourBox->contains(point))
        colourBox->setColourFromPoint(point);
}

IColourSource::BoxShape ColourFunction::getBoxShape() const {
    BoxShape shape;
    shape.visible = colourBox->isVisible();
    shape.origin = colourBox->getOrigin();
    shape.size = colourBox->getSizeFactor();
    shape.highlighted = colourBox->isHovered() || colourBox->isActive();
    return shape;
}

ColourChooserBox* ColourFunction::findColourBox(const FunctionManager* functions) {
    auto* colour = functions ? dynamic_cast<ColourFunction*>(functions->findFunction("ColourFunction")) : nullptr;
    return colour ? &colour->getColourBox() : nullptr;
}

Ogre::ColourValue ColourFunction::currentColour(const FunctionManager* functions) {
    const ColourChooserBox* box = findColourBox(functions);
    return box ? box->getColour() : Ogre::ColourValue::White;
}
