// The floor check box: a floor plane under the scene in the floor colours.
#include "functions/FunctionRegistration.h"
#include "functions/view/CheckboxFunction.h"

namespace {

class FloorFunction : public view::CheckboxFunction {
public:
    explicit FloorFunction(FunctionContext& context)
        : CheckboxFunction(context, "FloorFunction", "Background", FunctionText::literal("Floor"),
                           FunctionText::literal(""), "View.Floor", false,
                           "Could not find the Checkbox for Floor function...") {}

protected:
    void apply(bool state) override {
        if (!context.view)
            return;
        context.view->setFloorVisible(
            state, Kiln::ConfigurationFile::getColour("Floor.Colour.Ambient", Ogre::ColourValue(0.4f, 0.4f, 0.4f)),
            Kiln::ConfigurationFile::getColour("Floor.Colour.Diffuse", Ogre::ColourValue(0.4f, 0.4f, 0.6f)));
    }
};

} // namespace

MORVEL_REGISTER_FUNCTION(FloorFunction);
