#include "platform/Files.h"

#include "log/Exception.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace fs = std::filesystem;

namespace Kiln {

void SetCurrentWorkingDirectory(const std::string& path) {
    std::error_code ec;
    if (path.empty() || !fs::is_directory(path, ec) || ::chdir(path.c_str()) != 0)
        throw Exception(ErrorCode::General, "'" + path + "' is not a valid directory...",
                        "Kiln::SetCurrentWorkingDirectory()");
}

void LaunchFile(const std::string& directory, const std::string& file) {
    const char* source = "Kiln::LaunchFile()";
    std::error_code ec;
    if (!fs::is_directory(directory, ec))
        throw Exception(ErrorCode::FileAccess, "The path '" + directory + "' could not be found...", source);
    const std::string path = directory + "/" + file;
    if (!fs::exists(path, ec))
        throw Exception(ErrorCode::FileAccess, "The file '" + path + "' could not be found...", source);
    if (::access(path.c_str(), R_OK) != 0)
        throw Exception(ErrorCode::FileAccess, "Access was denied when trying to launch '" + file +
                               "' in directory '" + directory + "'...", source);

    // The launcher runs detached; xdg-open returns once the program started.
    const char* argv[] = {"xdg-open", path.c_str(), nullptr};
    pid_t pid = 0;
    const int spawnError = posix_spawnp(&pid, "xdg-open", nullptr, nullptr,
                                        const_cast<char* const*>(argv), environ);
    if (spawnError == ENOENT)
        throw Exception(ErrorCode::FileAccess, "There is no application associated with the given file name "
                           "extension, when trying to launch file '" + file +
                           "' in directory '" + directory + "'...", source);
    if (spawnError != 0)
        throw Exception(ErrorCode::FileAccess, "Unknown error occured when trying to launch '" + file +
                               " in directory '" + directory + "'...\nError Code: " +
                               std::to_string(spawnError), source);
    int status = 0;
    if (::waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (code == 3)  // xdg-open: no program found for this type
            throw Exception(ErrorCode::FileAccess, "There is no application associated with the given file name "
                               "extension, when trying to launch file '" + file +
                               "' in directory '" + directory + "'...", source);
        throw Exception(ErrorCode::FileAccess, "Unknown error occured when trying to launch '" + file +
                               " in directory '" + directory + "'...\nError Code: " +
                               std::to_string(code), source);
    }
}

bool writeFileAtomically(const std::string& path, const std::string& contents) {
    const fs::path target(path);
    const fs::path temporary =
        target.parent_path() / ("." + target.filename().string() + ".tmp" + std::to_string(::getpid()));
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(contents.data(), std::streamsize(contents.size()));
        out.flush();
        if (!out) {
            out.close();
            std::remove(temporary.c_str());
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temporary, target, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

} // namespace Kiln
