#include "archive/io/local_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace cabarchive {

int openRegularFile(const std::string& path, std::string& problem) {
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        problem = "cannot open: " + std::string(std::strerror(errno));
        return -1;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        problem = "not a regular file";
        close(fd);
        return -1;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags == -1 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
        problem = "cannot open: " + std::string(std::strerror(errno));
        close(fd);
        return -1;
    }
    return fd;
}

CabinetLocation splitCabinetPath(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {"", path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

std::string resolveCabinetName(const std::string& directory, const std::string& name) {
    struct stat status;
    if (stat((directory + name).c_str(), &status) == 0) return name;

    DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
    if (dir == nullptr) return name;
    std::string found = name;
    while (const dirent* entry = readdir(dir)) {
        if (strcasecmp(entry->d_name, name.c_str()) == 0) {
            found = entry->d_name;
            break;
        }
    }
    closedir(dir);
    return found;
}

}  // namespace cabarchive
