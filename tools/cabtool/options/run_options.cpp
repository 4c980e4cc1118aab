#include "tools/cabtool/options/run_options.h"

#include <unistd.h>

#include <algorithm>

#include "archive/cab_archive.h"
#include "tools/cabtool/files/cabinet_files.h"
#include "tools/cabtool/output/messages.h"

namespace cabtool {

std::string nameOf(const FileEntry& entry) {
    return entry.text;
}

std::string slashNameOf(const FileEntry& entry) {
    std::string name = nameOf(entry);
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

bool isChosen(const FileEntry& entry, const RunOptions& options) {
    return options.filter.empty() || options.filter.selects(slashNameOf(entry));
}

Workload workloadOf(const std::vector<CabinetSource>& sources, const RunOptions& options) {
    Workload load;
    for (const CabinetSource& source : sources) {
        load.cabinets += uint32_t(source.set.size());
        for (const SurveyedCabinet& cabinet : source.set) {
            for (const FileEntry& file : cabinet.files) {
                if (file.continuesFromPrevious()) continue;
                if (isChosen(file, options)) load.bytes += file.size;
            }
        }
    }
    return load;
}

bool everyPatternMatches(const std::vector<CabinetSource>& sources, const RunOptions& options) {
    std::vector<std::string> names;
    for (const CabinetSource& source : sources) {
        for (const SurveyedCabinet& cabinet : source.set) {
            for (const FileEntry& file : cabinet.files) {
                names.push_back(slashNameOf(file));
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
