#include "tools/cabtool/cabinet_files.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

namespace cabtool {

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

}  // namespace cabtool
