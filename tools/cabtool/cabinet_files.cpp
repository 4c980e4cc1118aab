#include "tools/cabtool/cabinet_files.h"

#include "tools/cabtool/cabinet_offsets.h"

#include <unistd.h>

#include <cerrno>

#include "tools/cabtool/messages.h"
#include "tools/cabtool/safe_name.h"

namespace cabtool {

int openRegularFile(const std::string& path, std::string& problem) {
    const int fd = cabarchive::openRegularFile(path, problem);
    if (fd < 0) return -1;
    // A cabinet inside another file is read from where it begins.
    if (!moveToCabinetStart(fd, path)) {
        problem = "cannot read: " + describeErrno(errno);
        close(fd);
        return -1;
    }
    return fd;
}

std::string nextCabinetProblem(const std::string& directory, const std::string& name) {
    if (name.empty()) {
        return "cabinet is damaged: a file goes on in a next cabinet, but the cabinet names none";
    }
    if (!isPlainFileName(name)) return "next cabinet name '" + name + "' is not a plain file name";
    if (directory.size() + name.size() > kMaxCabinetPath) {
        return "path of next cabinet '" + name + "' is too long";
    }
    return "";
}

}  // namespace cabtool
