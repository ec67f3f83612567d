#include "functions/FunctionBase.h"

#include "config/LanguageTable.h"
#include "functions/FunctionManager.h"
#include "log/Exception.h"

std::string FunctionState::getName() const {
    return function ? function->getTitle() : std::string();
}

std::vector<std::string> splitArguments(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {std::string()};
    const std::size_t last = text.find_last_not_of(' ');
    std::vector<std::string> parts;
    std::size_t start = first;
    while (true) {
        const std::size_t blank = text.find(' ', start);
        if (blank == std::string::npos || blank > last) {
            parts.push_back(text.substr(start, last + 1 - start));
            return parts;
        }
        parts.push_back(text.substr(start, blank - start));
        start = blank + 1;
    }
}

FunctionBase::FunctionBase(FunctionContext& context, std::string name, std::uint32_t kind,
                           std::string category, const FunctionText& title,
                           const FunctionText& helpText)
    : context(context), name(std::move(name)), category(std::move(category)), kind(kind) {
    this->title = resolve(title);
    this->helpText = resolve(helpText);
}

std::string FunctionBase::resolve(const FunctionText& text) const {
    if (text.languageId < 0)
        return text.text;
    const Kiln::LanguageTable& table =
        context.language ? *context.language : Kiln::LanguageTable::instance();
    std::string found = table.lookup(text.languageId);
    return found.empty() ? std::string("STRING NOT FOUND") : found;
}

void FunctionBase::setArgument(const std::string& text) {
    arguments = splitArguments(text);
    onArgumentSet();
}

void FunctionBase::setArguments(const std::string& text) {
    arguments2 = splitArguments(text);
    onArgumentsSet(arguments2);
}

std::unique_ptr<FunctionState> FunctionBase::invoke() {
    throw Kiln::Exception(Kiln::ErrorCode::General, "Invoke function for " + name + " has not been implemented",
                          "FunctionBase::invoke()");
}

void FunctionBase::beginOperation() {
    busy = true;
    if (context.functions)
        context.functions->setBusy(true);
    if (context.gui)
        context.gui->setHitTesting(false);
}

void FunctionBase::endOperation() {
    busy = false;
    if (context.gui)
        context.gui->setHitTesting(true);
    if (context.functions)
        context.functions->setBusy(false);
}

void FunctionBase::commitOperation(std::unique_ptr<FunctionState> state) {
    busy = false;
    if (context.functions)
        context.functions->pushState(std::move(state));  // also ends the manager's operation
    else if (context.gui)
        context.gui->setHitTesting(true);
}
