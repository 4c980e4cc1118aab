#include "tools/cabtool/run_options.h"

#include <unistd.h>

#include <algorithm>
#include <set>
#include <utility>

#include "cab/format.h"
#include "tools/cabtool/cabinet_files.h"
#include "tools/cabtool/cabinet_offsets.h"
#include "tools/cabtool/messages.h"

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

// A file as every cabinet listing it names it.
using FileMark = std::pair<std::string, uint32_t>;  // name, size

FileMark markOf(const FileEntry& entry) { return {entry.name, entry.size}; }

// `handlers`, noting in `dealtWith` every file handed out to them.
FileHandlers noting(const FileHandlers& handlers, std::set<FileMark>& dealtWith) {
    FileHandlers noted = handlers;
    noted.openOutput = [&handlers, &dealtWith](const FileEntry& entry) {
        dealtWith.insert(markOf(entry));
        return handlers.openOutput(entry);
    };
    return noted;
}

// `handlers` for a walk started again at a later cabinet, after a first walk
// that handled the cabinets in `walked` and was handed the files in
// `dealtWith`. A file continued from a cabinet that walk handled, or handed
// out to it while crossing, was extracted, reported or counted there; it is
// not reported or counted twice.
FileHandlers skipping(const FileHandlers& handlers, const std::set<FileMark>& dealtWith,
                      const std::vector<std::string>& walked) {
    FileHandlers skipped = handlers;
    if (handlers.fileFromEarlier) {
        skipped.fileFromEarlier = [&handlers, &dealtWith, &walked](const FileEntry& entry,
                                                                   const std::string& previous) {
            const CabinetLocation at = splitCabinetPath(entry.cabinet);
            const std::string previousPath = at.directory + resolveCabinetName(at.directory, previous);
            const bool previousWalked =
                std::find(walked.begin(), walked.end(), previousPath) != walked.end();
            if (!previousWalked && dealtWith.count(markOf(entry)) == 0) {
                handlers.fileFromEarlier(entry, previous);
            }
        };
    }
    return skipped;
}

// What naming and choosing a surveyed file needs of it.
FileEntry entryOf(const FileFacts& file) {
    FileEntry entry;
    entry.name = file.name;
    entry.attributes = file.attributes;
    return entry;
}

void addOutcome(WalkOutcome& total, const WalkOutcome& outcome) {
    total.complete = total.complete && outcome.complete;
    total.notReached += outcome.notReached;
    total.handled.insert(total.handled.end(), outcome.handled.begin(), outcome.handled.end());
}

}  // namespace

WalkOutcome walkSources(const std::vector<CabinetSource>& sources, const FileHandlers& handlers,
                        const std::function<void(const CabinetSource&)>& starting) {
    WalkOutcome total;
    total.complete = true;
    for (const CabinetSource& source : sources) {
        if (starting) starting(source);
        if (source.embedded) setCabinetStart(source.path, source.offset);
        std::set<FileMark> dealtWith;
        const WalkOutcome outcome = walkCabinetSet(source.path, noting(handlers, dealtWith));
        if (source.embedded) setCabinetStart(source.path, 0);
        addOutcome(total, outcome);
        // A walk from the first cabinet of the set that failed before the
        // cabinet named: that cabinet's own files are still walked, as when
        // the earlier cabinets are missing.
        const auto& handled = outcome.handled;
        if (!outcome.complete && !source.named.empty() &&
            std::find(handled.begin(), handled.end(), source.named) == handled.end()) {
            reportCabinetError(source.named, kRestartingHere);
            addOutcome(total,
                       walkCabinetSet(source.named, skipping(handlers, dealtWith, handled)));
        }
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
