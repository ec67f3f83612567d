// A help command that shows a picture with a caption.
#pragma once

#include "functions/FunctionBase.h"

#include <string>
#include <utility>

namespace help {

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

} // namespace help
