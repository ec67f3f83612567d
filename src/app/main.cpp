// Entry point: language tables, command line, the Application inside the
// crash guard, and the messages of a failed start.
#include "app/Application.h"
#include "app/CommandLine.h"
#include "config/LanguageTable.h"
#include "platform/FatalMessage.h"
#include "platform/UserFolders.h"

#include <cstdlib>
#include <iostream>
#include <memory>

namespace {

const char* const kNoDisplay =
    "morvel: no X display (DISPLAY is not set or cannot be opened). Morvel needs a window; "
    "on a machine without a screen run it under Xvfb: xvfb-run -a build/bin/morvel";

int runApplication(const std::string& commandLine) {
    std::unique_ptr<Application> application;
    try {
        const std::string data = Kiln::dataDirectory();
        // The first table loaded is the user's language; MORVEL_LANGUAGE=cn
        // puts the Chinese one first.
        const char* language = std::getenv("MORVEL_LANGUAGE");
        const bool chinese = language && std::string(language) == "cn";
        if (chinese)
            Kiln::LanguageTable::instance().load(data + "/lang_cn.xml", "simfang");
        Kiln::LanguageTable::instance().load(data + "/lang_en.xml", "DejaVuSans-10");
        if (!chinese)
            Kiln::LanguageTable::instance().load(data + "/lang_cn.xml", "simfang");
        application = std::make_unique<Application>("Config/Settings.xml", "Config/HapticSettings.xml");
        application->setCommandLine(commandLine);
        application->setInputFlags(INPUT_KEYBOARD | INPUT_HAPTIC);
    } catch (const std::exception& e) {
        Kiln::showFatalMessage("Oops!", CrashTexts::unableToStart(e.what()));
        return -1;
    }
    try {
        return application->runProtected();
    } catch (const std::exception& e) {
        const bool saved = application->forcedSave();
        Kiln::showFatalMessage("Oops!", CrashTexts::wobbler(saved, e.what()));
        return -1;
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::string commandLine = Kiln::joinArguments(argc, argv);
    const std::string uninstall = Kiln::uninstallDirectory(commandLine);
    if (commandLine.find("/Uninstall") != std::string::npos) {
        if (!uninstall.empty())
            Kiln::deleteLogAndInfoFiles(uninstall);
        return 0;
    }
    if (!Kiln::displayAvailable()) {
        std::cerr << kNoDisplay << std::endl;
        return 1;
    }
    return runApplication(commandLine);
}
