#include "cli/Command.h"

#include "log/Exception.h"

#include <algorithm>
#include <cstring>

namespace cli {

namespace {

std::vector<Command>& table() {
    static std::vector<Command> registered;
    return registered;
}

} // namespace

CommandRegistration::CommandRegistration(const Command& command) {
    std::vector<Command>& all = table();
    all.push_back(command);
    std::sort(all.begin(), all.end(), [](const Command& a, const Command& b) { return std::strcmp(a.name, b.name) < 0; });
}

const std::vector<Command>& commands() { return table(); }

Arguments positionalArguments(const Arguments& args, const std::vector<std::string>& known,
                              std::vector<std::string>& flags) {
    Arguments positional;
    for (const std::string& arg : args) {
        if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            if (std::find(known.begin(), known.end(), arg) == known.end())
                throw UsageError("unknown option '" + arg + "'");
            flags.push_back(arg);
        } else {
            positional.push_back(arg);
        }
    }
    return positional;
}

void expectCount(const Arguments& positional, std::size_t count) {
    if (positional.size() < count)
        throw UsageError("missing argument");
    if (positional.size() > count)
        throw UsageError("too many arguments");
}

std::string describeException(const std::exception& error) {
    std::string reason;
    if (const auto* kiln = dynamic_cast<const Kiln::Exception*>(&error))
        reason = kiln->getDescription();
    else if (dynamic_cast<const std::bad_alloc*>(&error))
        reason = "not enough memory";
    else
        reason = error.what();
    // One line per error, whatever the message holds.
    std::replace(reason.begin(), reason.end(), '\n', ' ');
    return reason;
}

} // namespace cli
