#include "tools/cabtool/options/run_options.h"

#include <unistd.h>

#include <algorithm>

#include "archive/cab_archive.h"
#include "tools/cabtool/files/cabinet_files.h"
#include "tools/cabtool/output/messages.h"

namespace cabtool {

std::string nameOf(const FileEntry& entry, const RunOptions& options) {
    return options.names.toUtf8(entry.name, entry.attributes);
}

std::string slashNameOf(const FileEntry& entry, const RunOptions& options) {
    std::string name = nameOf(entry, options);
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

bool isChosen(const FileEntry& entry, const RunOptions& options) {
    return options.filter.empty() || options.filter.selects(slashNameOf(entry, options));
}

namespace {

// What naming and choosing a surveyed file needs of it.
FileEntry entryOf(const FileFacts& file) {
    FileEntry entry;
    entry.name = file.name;
    entry.attributes = file.attributes;
    return entry;
}

}  // namespace

Workload workloadOf(const std::vector<CabinetSource>& sources, const RunOptions& options) {
    Workload load;
    for (const CabinetSource& source : sources) {
        load.cabinets += uint32_t(source.set.size());
        for (const SurveyedCabinet& cabinet : source.set) {
            for (const FileFacts& file : cabinet.files) {
                if (folderContinuesFromPrevious(file.folderIndex)) continue;
                if (isChosen(entryOf(file), options)) load.bytes += file.size;
            }
        }
    }
    return load;
}

bool everyPatternMatches(const std::vector<CabinetSource>& sources, const RunOptions& options) {
    std::vector<std::string> names;
    for (const CabinetSource& source : sources) {
        for (const SurveyedCabinet& cabinet : source.set) {
            for (const FileFacts& file : cabinet.files) {
                names.push_back(slashNameOf(entryOf(file), options));
            }
        }
    }
    const std::vector<std::string> none = options.filter.unmatched(names);
    for (const std::string& pattern : none) reportError("no file matches " + pattern);
    return none.empty();
}

bool progressWanted(const RunOptions& options) {
    return !options.quiet && isatty(STDERR_FILENO) == 1;
}

}  // namespace cabtool
