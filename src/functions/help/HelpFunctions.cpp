// The help menu's commands: the About and Quick help pictures, and the help
// button's command, which has nothing of its own to do.
#include "functions/FunctionBase.h"
#include "functions/FunctionRegistration.h"

namespace {

/// Shows a picture named by the function.
class PictureCommand : public FunctionBase {
public:
    PictureCommand(FunctionContext& context, const char* name, const std::string& category,
                   const FunctionText& title, const FunctionText& help, std::string picture)
        : FunctionBase(context, name, FUNCTION_COMMAND, category, title, help),
          picture(std::move(picture)) {}
    void execute() override {
        if (context.dialogs)
            context.dialogs->showPicture(picture);
    }
    void activate() override { execute(); }

private:
    std::string picture;
};

class AboutFunction : public PictureCommand {
public:
    explicit AboutFunction(FunctionContext& context)
        : PictureCommand(context, "AboutFunction", "File", FunctionText::id(2), FunctionText::id(4),
                         "morvel_about.png") {}
};

class QuickHelpFunction : public PictureCommand {
public:
    explicit QuickHelpFunction(FunctionContext& context)
        : PictureCommand(context, "QuickHelp", "Help", FunctionText::literal("Quick help"),
                         FunctionText::literal(""), "QuickHelp.png") {}
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
