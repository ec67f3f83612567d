#pragma once
// The program's command line: switches, a scene file to open, and the
// uninstall request of the installer.
#include <string>
#include <vector>

namespace Kiln {

struct CommandLineOptions {
    bool showFrameCount = false;      ///< -showFrameCount
    bool showSplash = true;           ///< cleared by -noSplashScreen
    bool crashReporterEnabled = true; ///< cleared by -disableCrashReporter
    bool openFileOnStart = false;     ///< a ".cr8" argument was given
    std::string startFile;            ///< the last ".cr8" argument
    int exitAfterFrames = 0;          ///< -exitAfterFrames=N: stop after N frames (0: never)
    std::string screenshotPath;       ///< -screenshot=PATH: PNG of the last frame
    std::string scriptPath;           ///< -script=FILE: a session script to run
};

/// Splits at blanks (runs of blanks count as one). Text inside double
/// quotes stays one argument, so a quoted path with blanks survives; the
/// quotes themselves are removed.
std::vector<std::string> splitCommandLine(const std::string& text);

/// Applies each argument in order to `options`; unknown ones are ignored.
/// Only an argument ending in ".cr8" exactly (lower case) names a scene.
void interpretArguments(const std::vector<std::string>& arguments, CommandLineOptions& options);

/// argv[1..] as one command line, quoting arguments that contain blanks.
std::string joinArguments(int argc, const char* const* argv);

/// The folder named after "/Uninstall " when the command line asks for
/// an uninstall, else an empty string.
std::string uninstallDirectory(const std::string& commandLine);
/// Deletes the ".log" and ".info" files directly inside `directory`.
/// Returns how many were deleted.
int deleteLogAndInfoFiles(const std::string& directory);

} // namespace Kiln
