// The About picture.
#include "functions/help/PictureCommand.h"
#include "functions/FunctionBase.h"
#include "functions/FunctionRegistration.h"

namespace {

class AboutFunction : public help::PictureCommand {
public:
    explicit AboutFunction(FunctionContext& context)
        : PictureCommand(context, "AboutFunction", "File", FunctionText::id(2), FunctionText::id(4),
                         "morvel_about.png",
                         "Morvel 0.1\n\nShape clay-like objects by touch: hold the haptic grip (or use the "
                         "mouse), feel the surface, and push, pull, paint and combine.\n\n"
                         "Click to close.") {}
};

} // namespace

MORVEL_REGISTER_FUNCTION(AboutFunction);
