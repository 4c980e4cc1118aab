// Files that workers finished under temporary names, put in place or
// removed on the caller's thread as their entries' settles are released in
// the order one pass would have made them.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "archive/extract/directory_target.h"

namespace cabarchive {

class HeldFilePlacement {
public:
    // Opens the extraction directory `directory`; see usable().
    explicit HeldFilePlacement(const char* directory);
    HeldFilePlacement(const HeldFilePlacement&) = delete;
    HeldFilePlacement& operator=(const HeldFilePlacement&) = delete;
    ~HeldFilePlacement();

    // Whether the directory could be opened.
    bool usable() const { return rootFd_ >= 0; }

    // Puts `held` in place for an entry the worker ended with `outcome` and
    // returns the outcome it ends with now: OutputFailed, with the reason,
    // when the name was taken meanwhile (and must be kept) or the rename
    // failed.
    int32_t place(const HeldFile& held, int32_t outcome, std::string& reason) const;

    // Removes the files of `held` and then the directories made for them,
    // and those in `alsoMade`, that are left empty, the deepest first.
    // Directories in `kept` stay, empty or not.
    void remove(const std::vector<const HeldFile*>& held, std::vector<std::string> alsoMade = {},
                const std::set<std::string>& kept = {}) const;

private:
    int rootFd_ = -1;
};

}  // namespace cabarchive
