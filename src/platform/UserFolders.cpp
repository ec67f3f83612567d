#include "platform/UserFolders.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace Kiln {
namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string home() { return environment("HOME"); }

/// $VAR if set and absolute, else $HOME + fallback.
std::string xdgBase(const char* variable, const char* homeRelative) {
    const std::string value = environment(variable);
    if (!value.empty() && value[0] == '/')
        return value;
    const std::string h = home();
    return h.empty() ? std::string() : h + homeRelative;
}

/// XDG_DOCUMENTS_DIR="$HOME/Documents" from user-dirs.dirs, expanded.
std::string documentsFromUserDirs() {
    const std::string config = xdgBase("XDG_CONFIG_HOME", "/.config");
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_DOCUMENTS_DIR=";
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) != 0)
            continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.compare(0, 5, "$HOME") == 0)
            value = home() + value.substr(5);
        if (!value.empty() && value[0] == '/' && fs::path(value) != fs::path(home()))
            return value;
    }
    return {};
}

std::string ensured(const std::string& path) {
    if (path.empty() || !ensureDirectory(path))
        return {};
    return path;
}

bool hasSettings(const fs::path& folder) {
    std::error_code ec;
    return fs::is_regular_file(folder / "Config" / "Settings.xml", ec);
}

} // namespace

bool ensureDirectory(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    return fs::is_directory(path, ec);
}

std::string documentsFolder() {
    const std::string fromUserDirs = documentsFromUserDirs();
    if (!fromUserDirs.empty())
        return fromUserDirs;
    const std::string h = home();
    return h.empty() ? std::string() : h + "/Documents";
}

std::string userDataFolder() { return ensured(xdgBase("XDG_DATA_HOME", "/.local/share") + "/Morvel"); }

std::string userStateFolder() {
    return ensured(xdgBase("XDG_STATE_HOME", "/.local/state") + "/Morvel");
}

std::string executableDirectory() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

std::string dataDirectory() {
    const std::string fromEnvironment = environment("MORVEL_DATA_DIR");
    if (!fromEnvironment.empty())
        return fromEnvironment;
    const std::string exeDir = executableDirectory();
    if (!exeDir.empty()) {
        const fs::path installed = fs::path(exeDir) / ".." / "share" / "morvel";
        if (hasSettings(installed))
            return fs::weakly_canonical(installed).string();
    }
#ifdef MORVEL_SOURCE_DATA_DIR
    if (hasSettings(MORVEL_SOURCE_DATA_DIR))
        return MORVEL_SOURCE_DATA_DIR;
#endif
    return exeDir;
}

} // namespace Kiln
