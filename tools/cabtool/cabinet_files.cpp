#include "tools/cabtool/cabinet_files.h"

#include "archive/cab_archive.h"

namespace cabtool {

std::string nextCabinetProblem(const std::string& directory, const std::string& name) {
    if (name.empty()) {
        return "cabinet is damaged: a file goes on in a next cabinet, but the cabinet names none";
    }
    if (!cabArchiveIsPlainFileName(name.c_str())) return "next cabinet name '" + name + "' is not a plain file name";
    if (directory.size() + name.size() > kMaxCabinetPath) {
        return "path of next cabinet '" + name + "' is too long";
    }
    return "";
}

}  // namespace cabtool
