// Output lines about files, printed in the order of the cabinet's directory
// although the walk hands the files out in the order of their data.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tools/cabtool/commands/file_entry.h"

namespace cabtool {

class OrderedLines {
public:
    // Keeps `line` (printed as given, with a newline) for `entry`. Files
    // without a place in the directory being walked (those extracted while
    // crossing into the next cabinet) come after the others, as they came.
    void add(const FileEntry& entry, std::string line);

    // Prints the lines kept so far, in order, and forgets them.
    void flush(std::FILE* stream);

private:
    std::vector<std::pair<uint64_t, std::string>> lines_;
    uint64_t arrivals_ = 0;
};

}  // namespace cabtool
