#include "load/FileSystem.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace scq {

bool FileExists(const char* path) {
    struct stat st {};
    if (path == nullptr || ::stat(path, &st) != 0) return false;
    return !S_ISDIR(st.st_mode);
}

std::string TempDirectory() {
    const char* dir = std::getenv("TMPDIR");
    return (dir != nullptr && *dir != 0) ? std::string(dir) : std::string("/tmp");
}

std::string CreateTempFile() {
    std::string path = TempDirectory();
    if (path.back() != '/') path += '/';
    path += "scqXXXXXX";
    int fd = ::mkstemp(path.data());
    if (fd < 0) return std::string();
    ::close(fd);
    return path;
}

}  // namespace scq
