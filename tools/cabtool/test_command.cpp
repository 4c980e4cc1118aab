#include <cinttypes>
#include <cstdio>

#include "tools/cabtool/cabinet_walk.h"
#include "tools/cabtool/commands.h"
#include "tools/cabtool/interrupt_cleanup.h"
#include "tools/cabtool/messages.h"
#include "tools/cabtool/ordered_lines.h"
#include "tools/cabtool/posix_io.h"
#include "tools/cabtool/printable.h"
#include "tools/cabtool/progress.h"

namespace cabtool {

int testCabinets(const std::vector<CabinetSource>& sources, const RunOptions& options) {
    installInterruptCleanup();  // an interrupt clears the progress line
    const Workload load = workloadOf(sources, options);
    Progress progress(progressWanted(options), load.bytes, load.cabinets);
    setActiveProgress(&progress);

    OrderedLines lines;
    uint64_t good = 0;
    uint64_t bad = 0;
    auto passed = [&](const FileEntry& entry) {
        if (!options.quiet) lines.add(entry, "OK      " + printable(slashNameOf(entry, options)));
        ++good;
    };
    auto failed = [&](const FileEntry& entry) {
        if (options.quiet) {
            reportFileError(entry.cabinet, slashNameOf(entry, options), "failed the test");
        } else {
            lines.add(entry, "FAILED  " + printable(slashNameOf(entry, options)));
        }
        ++bad;
    };
    FileHandlers handlers;
    // Every chosen file is decoded into the discarding handle; the decoder
    // checks each block's checksum and decompressed size on the way. A file
    // not chosen that goes on into the next cabinet is decoded too, so that
    // the walk crosses into that cabinet.
    handlers.openOutput = [&](const FileEntry& entry) -> int32_t {
        if (!isChosen(entry, options)) return entry.continuesIntoNext() ? kDiscardHandle : 0;
        progress.startFile(printable(slashNameOf(entry, options)));
        return kDiscardHandle;
    };
    handlers.closeOutput = [&](const FileEntry& entry, int32_t) {
        if (isChosen(entry, options)) passed(entry);
        return 1;
    };
    handlers.abandonOutput = [&](const FileEntry& entry) {
        if (isChosen(entry, options)) failed(entry);
    };
    // Files with the same data as one just tested are not decoded again.
    handlers.sameData = [&](const FileEntry& copy, const FileEntry&) {
        if (!isChosen(copy, options)) return;
        progress.addBytes(copy.size);
        passed(copy);
    };
    handlers.fileFromEarlier = [&](const FileEntry& entry, const std::string& previous) {
        if (!isChosen(entry, options)) return;
        reportFileError(entry.cabinet, slashNameOf(entry, options),
                        "not tested: it is continued from the earlier cabinet '" + previous + "'");
        failed(entry);
    };
    // Files the filter leaves out are not missed when the walk stops early.
    handlers.chosen = [&](const FileEntry& entry) { return isChosen(entry, options); };
    handlers.unreachable = [&](const FileEntry& entry, const std::string& reason) {
        if (!isChosen(entry, options)) return;
        reportFileError(entry.cabinet, slashNameOf(entry, options), reason);
        failed(entry);
    };
    handlers.cabinetFinished = [&] {
        progress.clear();
        lines.flush(stdout);
        std::fflush(stdout);
    };

    const WalkOutcome outcome = walkSources(sources, handlers);
    progress.clear();
    setActiveProgress(nullptr);
    if (outcome.complete && bad == 0) {
        if (!options.quiet) {
            std::printf("%" PRIu64 " file%s tested, all good\n", good, good == 1 ? "" : "s");
        }
        return kExitSuccess;
    }
    if (!options.quiet) {
        std::printf("%" PRIu64 " file%s good, %" PRIu64 " failed", good, good == 1 ? "" : "s", bad);
        if (outcome.notReached != 0) std::printf(", %" PRIu64 " not reached", outcome.notReached);
        std::printf("\n");
    }
    return kExitFailure;
}

}  // namespace cabtool
