#include "functions/view/ViewFunctions.h"

#include "functions/FunctionRegistration.h"
#include "log/Exception.h"

#include <cmath>
#include <cstdlib>

MORVEL_REGISTER_FUNCTION(TipsizeFunction);

TipsizeFunction::TipsizeFunction(FunctionContext& context)
    : FunctionBase(context, "TipsizeFunction", FUNCTION_COMMAND, "Background", FunctionText::id(391),
                   FunctionText::id(393)) {}

bool TipsizeFunction::parseRadius(const std::string& text, float& radius) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const float value = std::strtof(begin, &end);
    if (end == begin || *end != '\0' || !std::isfinite(value) || value <= 0.f)
        return false;
    radius = value;
    return true;
}

void TipsizeFunction::onArgumentSet() {
    // The GUI names its edit box; a script or another function gives the
    // radius itself.
    const std::string text = arguments.empty() ? "" : arguments.front();
    if (context.gui && context.gui->hasWindow(text)) {
        window = text;
        return;
    }
    if (!text.empty())
        apply(text);
}

void TipsizeFunction::execute() {
    apply(!window.empty() && context.gui ? context.gui->getWindowText(window)
          : arguments.empty()             ? ""
                                          : arguments.front());
}

void TipsizeFunction::apply(const std::string& text) {
    float radius = 0.f;
    if (!parseRadius(text, radius))
        throw Kiln::Exception(3, "The tip size must be a positive number, not '" + text + "'.",
                              "TipsizeFunction::execute()");
    if (context.view)
        context.view->setTipRadius(radius);
    if (context.status)
        context.status->postDefault("Grip radius now set to " + text + "...", 1);
}
