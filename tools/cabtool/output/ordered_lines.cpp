#include "tools/cabtool/output/ordered_lines.h"

#include <algorithm>

namespace cabtool {

void OrderedLines::add(const FileEntry& entry, std::string line) {
    const uint64_t key = entry.listIndex != kNoEntry ? entry.listIndex
                                                      : (uint64_t(1) << 32) + arrivals_;
    ++arrivals_;
    lines_.emplace_back(key, std::move(line));
}

void OrderedLines::flush(std::FILE* stream) {
    std::stable_sort(lines_.begin(), lines_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [key, line] : lines_) std::fprintf(stream, "%s\n", line.c_str());
    lines_.clear();
    arrivals_ = 0;
}

}  // namespace cabtool
