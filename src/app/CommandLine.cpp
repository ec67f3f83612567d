#include "app/CommandLine.h"

#include <filesystem>

namespace Kiln {
namespace {

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string stripQuotes(std::string text) {
    while (!text.empty() && text.front() == '"')
        text.erase(text.begin());
    while (!text.empty() && text.back() == '"')
        text.pop_back();
    return text;
}

int parseCount(const std::string& text) {
    try {
        return std::max(0, std::stoi(text));
    } catch (const std::exception&) {
        return 0;
    }
}

} // namespace

std::vector<std::string> splitCommandLine(const std::string& text) {
    std::vector<std::string> arguments;
    std::string current;
    bool quoted = false;
    bool inArgument = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if (c == ' ' && !quoted) {
            if (inArgument)
                arguments.push_back(current);
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        arguments.push_back(current);
    return arguments;
}

void interpretArguments(const std::vector<std::string>& arguments, CommandLineOptions& options) {
    for (const std::string& raw : arguments) {
        const std::string argument = stripQuotes(raw);
        if (argument == "-showFrameCount")
            options.showFrameCount = true;
        else if (endsWith(argument, ".cr8")) {
            options.openFileOnStart = true;
            options.startFile = argument;
        } else if (argument == "-noSplashScreen")
            options.showSplash = false;
        else if (argument == "-disableCrashReporter")
            options.crashReporterEnabled = false;
        else if (startsWith(argument, "-exitAfterFrames="))
            options.exitAfterFrames = parseCount(argument.substr(17));
        else if (startsWith(argument, "-screenshot="))
            options.screenshotPath = argument.substr(12);
        else if (startsWith(argument, "-script="))
            options.scriptPath = argument.substr(8);
    }
}

std::string joinArguments(int argc, const char* const* argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!line.empty())
            line += ' ';
        line += argument.find(' ') == std::string::npos ? argument : "\"" + argument + "\"";
    }
    return line;
}

std::string uninstallDirectory(const std::string& commandLine) {
    const auto at = commandLine.find("/Uninstall");
    if (at == std::string::npos)
        return {};
    const std::size_t start = at + 11;  // past "/Uninstall "
    return start < commandLine.size() ? stripQuotes(commandLine.substr(start)) : std::string();
}

int deleteLogAndInfoFiles(const std::string& directory) {
    namespace fs = std::filesystem;
    std::error_code ec;
    int deleted = 0;
    for (const auto& entry : fs::directory_iterator(directory, ec)) {
        const auto extension = entry.path().extension();
        if (entry.is_regular_file(ec) && (extension == ".log" || extension == ".info") &&
            fs::remove(entry.path(), ec))
            ++deleted;
    }
    return deleted;
}

} // namespace Kiln
