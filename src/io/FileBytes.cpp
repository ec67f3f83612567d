#include "io/FileBytes.h"

#include "log/Exception.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace Kiln {

namespace {

const char* const readLocation = "Kiln::readFileBytes()";

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

mode_t modeForNewFile(const std::string& path) {
    struct stat existing;
    if (::stat(path.c_str(), &existing) == 0)
        return existing.st_mode & 07777;
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

std::vector<std::uint8_t> readFileBytes(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0)
        throw Exception(ErrorCode::FileAccess,
                        "Failed to retrieve file information for " + path +
                            ".\nPlease make sure you have selected an existing file or a file that you have "
                            "permission to read.",
                        readLocation);
    const std::string unreadable = "Failed to retrieve file information for " + path +
                                   ".\nPlease make sure you have selected a valid file or a file that you have "
                                   "permission to read.";
    if (!S_ISREG(info.st_mode))
        throw Exception(ErrorCode::FileAccess, unreadable, readLocation);
    if (info.st_size == 0)
        throw Exception(ErrorCode::FileAccess, path + " appears to be empty. Please check the file again.", readLocation);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw Exception(ErrorCode::FileAccess, unreadable, readLocation);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.st_size));
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        throw Exception(ErrorCode::FileAccess, unreadable, readLocation);
    bytes.resize(got);  // the file may have shrunk since stat
    return bytes;
}

std::string resolveOutputPath(const std::string& path, const std::string& location) {
    std::string current = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info;
        if (::lstat(current.c_str(), &info) != 0) {
            if (errno == ENOENT)
                return current;  // a new file (possibly where a dangling link points)
            throw Exception(ErrorCode::FileAccess, "Cannot write " + path + ": " + std::strerror(errno), location);
        }
        if (S_ISREG(info.st_mode))
            return current;
        if (S_ISDIR(info.st_mode))
            throw Exception(ErrorCode::FileAccess, "Cannot write " + path + ": it is a folder", location);
        if (!S_ISLNK(info.st_mode))
            throw Exception(ErrorCode::FileAccess,
                            "Cannot write " + path + ": it is a device, pipe or socket, not a regular file",
                            location);
        std::vector<char> target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<std::size_t>(length) >= target.size())
            throw Exception(ErrorCode::FileAccess, "Cannot write " + path + ": the symbolic link cannot be read",
                            location);
        const std::string next(target.data(), static_cast<std::size_t>(length));
        current = !next.empty() && next.front() == '/' ? next : directoryOf(current) + next;
    }
    throw Exception(ErrorCode::FileAccess, "Cannot write " + path + ": " + std::strerror(ELOOP), location);
}

OutputTemporary::OutputTemporary(const std::string& target, const std::string& suffix, const std::string& location,
                                 const std::string& message) {
    const std::string pattern = directoryOf(target) + ".mv-XXXXXX" + suffix;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd = ::mkstemps(name.data(), static_cast<int>(suffix.size()));
    if (fd < 0)
        throw Exception(ErrorCode::FileAccess, message + ": " + std::strerror(errno), location);
    path = name.data();
}

OutputTemporary::~OutputTemporary() {
    close();
    if (!committed)
        ::unlink(path.c_str());
}

bool OutputTemporary::close() {
    if (fd < 0)
        return true;
    const int result = ::close(fd);
    fd = -1;
    return result == 0;
}

bool OutputTemporary::commit(const std::string& target) {
    if (!close() || ::rename(path.c_str(), target.c_str()) != 0)
        return false;
    committed = true;
    return true;
}

void writeFileAtomically(const std::string& path, const std::string& bytes, const std::string& location,
                         const std::string& message) {
    const std::string target = resolveOutputPath(path, location);
    OutputTemporary temporary(target, "", location, message);
    const auto fail = [&] { throw Exception(ErrorCode::FileAccess, message + ": " + std::strerror(errno), location); };
    if (!writeAll(temporary.getDescriptor(), bytes.data(), bytes.size()) ||
        ::fchmod(temporary.getDescriptor(), modeForNewFile(target)) != 0 || ::fsync(temporary.getDescriptor()) != 0)
        fail();
    if (!temporary.commit(target))
        fail();
}

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string extensionOf(const std::string& path) {
    const std::size_t start = directoryOf(path).size();
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < start)
        return {};
    std::string extension = path.substr(dot + 1);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

} // namespace Kiln
