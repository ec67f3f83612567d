// The quick help picture: the panels, the mouse and the keys on one page.
#include "functions/help/PictureCommand.h"
#include "functions/FunctionBase.h"
#include "functions/FunctionRegistration.h"

namespace {

class QuickHelpFunction : public help::PictureCommand {
public:
    explicit QuickHelpFunction(FunctionContext& context)
        : PictureCommand(context, "QuickHelp", "Help", FunctionText::literal("Quick help"),
                         FunctionText::literal(""), "QuickHelp.png",
                         "Quick help\n\n"
                         "Left panel: create objects and choose a tool. Top: undo, redo and editing. "
                         "Right panel: view, stylus and autosave settings.\n\n"
                         "Mouse: left button = the tool's action, right = select, wheel = push into the "
                         "surface, middle drag = orbit, Shift + middle drag = pan, Ctrl + wheel = zoom.\n"
                         "Keys: M move, R rotate, Q scale, H deform, Ctrl+Z / Ctrl+Y undo / redo, "
                         "L lock the rotation centre, F2 wireframe view, arrows / Home / End move the camera, "
                         "Escape (held) haptics off.\n\nClick to close.") {}
};

} // namespace

MORVEL_REGISTER_FUNCTION(QuickHelpFunction);
