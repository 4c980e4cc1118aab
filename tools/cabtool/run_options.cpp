#include "tools/cabtool/run_options.h"

#include <unistd.h>

#include <algorithm>

#include "cab/format.h"
#include "tools/cabtool/cabinet_offsets.h"

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

WalkOutcome walkSources(const std::vector<CabinetSource>& sources, const FileHandlers& handlers,
                        const std::function<void(const CabinetSource&)>& starting) {
    WalkOutcome total;
    total.complete = true;
    for (const CabinetSource& source : sources) {
        if (starting) starting(source);
        if (source.embedded) setCabinetStart(source.path, source.offset);
        const WalkOutcome outcome = walkCabinetSet(source.path, handlers);
        if (source.embedded) setCabinetStart(source.path, 0);
        total.complete = total.complete && outcome.complete;
        total.notReached += outcome.notReached;
    }
    return total;
}

Workload workloadOf(const std::vector<CabinetSource>& sources, const RunOptions& options) {
    Workload load;
    for (const CabinetSource& source : sources) {
        load.cabinets += uint32_t(source.set.size());
        for (const SurveyedCabinet& cabinet : source.set) {
            for (const FileFacts& file : cabinet.files) {
                if (continuesFromPrevious(file.folderIndex)) continue;
                FileEntry entry;
                entry.name = file.name;
                entry.attributes = file.attributes;
                if (isChosen(entry, options)) load.bytes += file.size;
            }
        }
    }
    return load;
}

bool progressWanted(const RunOptions& options) {
    return !options.quiet && isatty(STDERR_FILENO) == 1;
}

}  // namespace cabtool
