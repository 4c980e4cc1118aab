#include "archive/extract/held_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

namespace cabarchive {

HeldFilePlacement::HeldFilePlacement(const char* directory)
    : rootFd_(::open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

HeldFilePlacement::~HeldFilePlacement() {
    if (rootFd_ >= 0) close(rootFd_);
}

int32_t HeldFilePlacement::place(const HeldFile& held, int32_t outcome, std::string& reason) const {
    std::string problem;
    if (placeFinishedFile(rootFd_, held.file, problem)) return outcome;
    reason = problem;
    return CabOutcomeOutputFailed;
}

void HeldFilePlacement::remove(const std::vector<const HeldFile*>& held, std::vector<std::string> alsoMade,
                               const std::set<std::string>& kept) const {
    std::vector<std::string> made = std::move(alsoMade);
    for (const HeldFile* file : held) {
        removeFinishedFile(rootFd_, file->file);
        made.insert(made.end(), file->madeDirectories.begin(), file->madeDirectories.end());
    }
    // A directory's path is longer than its parent's: the longest go first.
    std::sort(made.begin(), made.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& directory : made) {
        if (kept.count(directory) != 0) continue;
        unlinkat(rootFd_, directory.c_str(), AT_REMOVEDIR);  // fails, as it should, unless empty
    }
}

}  // namespace cabarchive
