#include "tools/cabtool/files/cabinet_files.h"

#include <vector>

#include "archive/cab_archive.h"

namespace cabtool {

int openRegularFile(const std::string& path, std::string& problem) {
    CabArchiveError error{};
    const int fd = cabArchiveOpenRegularFile(path.c_str(), &error);
    if (fd < 0) problem = error.message;
    return fd;
}

std::string neighbourPath(const std::string& cabinetPath, const std::string& name) {
    std::vector<char> buffer(cabinetPath.size() + name.size() + 1);
    if (cabArchiveNeighbourPath(cabinetPath.c_str(), name.c_str(), buffer.data(),
                                uint32_t(buffer.size())) != CabArchiveOk) {
        return name;
    }
    return buffer.data();
}

std::string nextCabinetProblem(const std::string& cabinetPath, const std::string& name) {
    if (name.empty()) {
        return "cabinet is damaged: a file goes on in a next cabinet, but the cabinet names none";
    }
    if (!cabArchiveIsPlainFileName(name.c_str())) return "next cabinet name '" + name + "' is not a plain file name";
    if (neighbourPath(cabinetPath, name).size() > kMaxCabinetPath) {
        return "path of next cabinet '" + name + "' is too long";
    }
    return "";
}

}  // namespace cabtool
