#include "functions/view/FrameRateFunction.h"

#include "config/ConfigurationFile.h"
#include "functions/FunctionRegistration.h"

#include <OgreStringConverter.h>

MORVEL_REGISTER_FUNCTION(FrameRateFunction);

FrameRateFunction::FrameRateFunction(FunctionContext& context)
    : FunctionBase(context, "FrameRateFunction", FUNCTION_COMMAND | FUNCTION_UPDATE,
                   "UpdateFunctions", FunctionText::literal("Frame-rate function"),
                   FunctionText::literal("No help!")) {}

FrameRateFunction::~FrameRateFunction() {
    if (!textsMade || !context.overlay)
        return;
    for (const char* id : {AVERAGE_TEXT, BEST_TEXT, WORST_TEXT})
        context.overlay->removeText(id);
}

bool FrameRateFunction::shown() const {
    return context.showFrameCount && context.overlay && context.frameStatistics;
}

void FrameRateFunction::init() {
    if (!shown() || textsMade)
        return;
    const Ogre::Vector2 size =
        Kiln::ConfigurationFile::getVector2("FrameRate.Size.Relative", Ogre::Vector2(0.f, 0.06f));
    const Ogre::Vector2 position = Kiln::ConfigurationFile::getVector2(
        "FrameRate.Position.Relative", Ogre::Vector2(0.125f, 0.125f));
    // One line each, stacked downwards from the configured corner.
    float y = position.y;
    for (const char* id : {AVERAGE_TEXT, BEST_TEXT, WORST_TEXT}) {
        context.overlay->addText(id, position.x, y, size.x, size.y);
        y += size.y;
    }
    textsMade = true;
}

bool FrameRateFunction::update(const Ogre::FrameEvent& event) {
    (void)event;
    if (!shown() || !textsMade)
        return true;
    const IFrameStatistics::Rates rates = context.frameStatistics->getFrameRates();
    context.overlay->setText(AVERAGE_TEXT, "Avg.FPS: " + Ogre::StringConverter::toString(rates.average));
    context.overlay->setText(BEST_TEXT, "Best FPS: " + Ogre::StringConverter::toString(rates.best));
    context.overlay->setText(WORST_TEXT, "Worst FPS: " + Ogre::StringConverter::toString(rates.worst));
    return true;
}
