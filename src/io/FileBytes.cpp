#include "io/FileBytes.h"

#include "log/Exception.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace Kiln {

namespace {

const char* const readLocation = "Kiln::readFileBytes()";

// Closes a descriptor and removes a temporary file unless committed.
struct TemporaryFile {
    std::string path;
    int fd = -1;
    bool committed = false;
    ~TemporaryFile() {
        if (fd >= 0)
            ::close(fd);
        if (!committed && !path.empty())
            ::unlink(path.c_str());
    }
};

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

void writeFileAtomically(const std::string& path, const std::string& bytes, const std::string& location,
                         const std::string& message) {
    const std::string directory = directoryOf(path);
    const std::string name = path.substr(directory.size());
    TemporaryFile temporary;
    std::vector<char> pattern;
    const std::string templ = directory + "." + name + ".tmp-XXXXXX";
    pattern.assign(templ.begin(), templ.end());
    pattern.push_back('\0');
    temporary.fd = ::mkstemp(pattern.data());
    if (temporary.fd < 0)
        throw Exception(ErrorCode::FileAccess, message, location);
    temporary.path = pattern.data();
    const bool written = writeAll(temporary.fd, bytes.data(), bytes.size()) &&
                         ::fchmod(temporary.fd, modeForNewFile(path)) == 0 && ::fsync(temporary.fd) == 0;
    const int closed = ::close(temporary.fd);
    temporary.fd = -1;
    if (!written || closed != 0 || ::rename(temporary.path.c_str(), path.c_str()) != 0)
        throw Exception(ErrorCode::FileAccess, message, location);
    temporary.committed = true;
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
