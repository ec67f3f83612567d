#pragma once
// Where Morvel finds its data and keeps the user's files on Linux.
// Every function returns a folder path without a trailing slash, or an
// empty string when it cannot be determined.
#include <string>

namespace Kiln {

/// The XDG documents folder (user-dirs.dirs), else $HOME/Documents.
/// Not created: callers that write there create it.
std::string documentsFolder();
/// $XDG_DATA_HOME/Morvel (default ~/.local/share/Morvel), created if missing.
std::string userDataFolder();
/// $XDG_STATE_HOME/Morvel (default ~/.local/state/Morvel), created if missing;
/// the engine log lives here.
std::string userStateFolder();
/// The folder of the running executable.
std::string executableDirectory();
/// The program's data folder: $MORVEL_DATA_DIR, else ../share/morvel beside
/// the executable (an installed copy), else the source tree's data folder.
std::string dataDirectory();
/// Creates the folder and its parents; true when it exists afterwards.
bool ensureDirectory(const std::string& path);

} // namespace Kiln
