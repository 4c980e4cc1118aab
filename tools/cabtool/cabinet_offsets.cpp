#include "tools/cabtool/cabinet_offsets.h"

#include <fcntl.h>
#include <unistd.h>

#include <map>

namespace cabtool {
namespace {

std::map<std::string, uint64_t>& startsByPath() {
    static std::map<std::string, uint64_t> starts;
    return starts;
}

std::map<int, uint64_t>& startsByHandle() {
    static std::map<int, uint64_t> starts;
    return starts;
}

uint64_t startOfHandle(int fd) {
    const auto found = startsByHandle().find(fd);
    return found == startsByHandle().end() ? 0 : found->second;
}

}  // namespace

void setCabinetStart(const std::string& path, uint64_t offset) {
    if (offset == 0) {
        startsByPath().erase(path);
    } else {
        startsByPath()[path] = offset;
    }
}

uint64_t cabinetStartOf(const std::string& path) {
    const auto found = startsByPath().find(path);
    return found == startsByPath().end() ? 0 : found->second;
}

bool moveToCabinetStart(int fd, const std::string& path) {
    const auto found = startsByPath().find(path);
    if (found == startsByPath().end()) {
        startsByHandle().erase(fd);
        return true;
    }
    if (lseek(fd, off_t(found->second), SEEK_SET) < 0) return false;
    startsByHandle()[fd] = found->second;
    return true;
}

int openAtCabinetStart(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    if (!moveToCabinetStart(fd, path)) {
        close(fd);
        return -1;
    }
    return fd;
}

int64_t seekInCabinet(int fd, int64_t offset, int origin) {
    const uint64_t start = startOfHandle(fd);
    off_t position;
    if (origin == 0) {
        if (offset < 0) return -1;
        position = lseek(fd, off_t(start + uint64_t(offset)), SEEK_SET);
    } else if (origin == 1) {
        position = lseek(fd, off_t(offset), SEEK_CUR);
    } else {
        return -1;
    }
    // A move to before the cabinet's start is a failure; the handle is put
    // back at the start so that it never reads the bytes before it.
    if (position < 0) return -1;
    if (uint64_t(position) < start) {
        lseek(fd, off_t(start), SEEK_SET);
        return -1;
    }
    return int64_t(uint64_t(position) - start);
}

void forgetCabinetHandle(int fd) { startsByHandle().erase(fd); }

}  // namespace cabtool
