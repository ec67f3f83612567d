// The help menu's commands: the About and Quick help pictures, and the help
// button's command, which has nothing of its own to do.
#include "functions/FunctionBase.h"
#include "functions/FunctionRegistration.h"

namespace {

/// Shows a picture named by the function.
class PictureCommand : public FunctionBase {
public:
    PictureCommand(FunctionContext& context, const char* name, const std::string& category,
                   const FunctionText& title, const FunctionText& help, std::string picture,
                   std::string caption)
        : FunctionBase(context, name, FUNCTION_COMMAND, category, title, help),
          picture(std::move(picture)), caption(std::move(caption)) {}
    void execute() override {
        if (context.dialogs)
            context.dialogs->showPicture(picture, caption);
    }
    void activate() override { execute(); }

private:
    std::string picture;
    std::string caption;
};

class AboutFunction : public PictureCommand {
public:
    explicit AboutFunction(FunctionContext& context)
        : PictureCommand(context, "AboutFunction", "File", FunctionText::id(2), FunctionText::id(4),
                         "morvel_about.png",
                         "Morvel 0.1\n\nShape clay-like objects by touch: hold the haptic grip (or use the "
                         "mouse), feel the surface, and push, pull, paint and combine.\n\n"
                         "Click to close.") {}
};

class QuickHelpFunction : public PictureCommand {
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

class HelpFunction : public FunctionBase {
public:
    explicit HelpFunction(FunctionContext& context)
        : FunctionBase(context, "HelpFunction", FUNCTION_COMMAND, "General", FunctionText::id(133),
                       FunctionText::literal("...")) {}
};

} // namespace

MORVEL_REGISTER_FUNCTION(AboutFunction);
MORVEL_REGISTER_FUNCTION(QuickHelpFunction);
MORVEL_REGISTER_FUNCTION(HelpFunction);
