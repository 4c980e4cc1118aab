#include <cinttypes>
#include <cstdio>

#include "tools/cabtool/cabinet_walk.h"
#include "tools/cabtool/commands.h"
#include "tools/cabtool/messages.h"
#include "tools/cabtool/ordered_lines.h"
#include "tools/cabtool/posix_io.h"
#include "tools/cabtool/printable.h"

namespace cabtool {

int testCabinets(const std::string& cabinet) {
    OrderedLines lines;
    uint64_t good = 0;
    uint64_t bad = 0;
    auto passed = [&](const FileEntry& entry) {
        lines.add(entry, "OK      " + printable(entry.name));
        ++good;
    };
    auto failed = [&](const FileEntry& entry) {
        lines.add(entry, "FAILED  " + printable(entry.name));
        ++bad;
    };
    FileHandlers handlers;
    // Every file is decoded into the discarding handle; the decoder checks
    // each block's checksum and decompressed size on the way.
    handlers.openOutput = [](const FileEntry&) -> int32_t { return kDiscardHandle; };
    handlers.closeOutput = [&](const FileEntry& entry, int32_t) {
        passed(entry);
        return 1;
    };
    handlers.abandonOutput = failed;
    // Files with the same data as one just tested are not decoded again.
    handlers.sameData = [&](const FileEntry& copy, const FileEntry&) { passed(copy); };
    handlers.fileFromEarlier = [](const FileEntry& entry, const std::string& previous) {
        reportFileError(entry.cabinet, entry.name,
                        "not tested: it is continued from the earlier cabinet '" + previous + "'");
    };
    handlers.unreachable = [&](const FileEntry& entry, const std::string& reason) {
        reportFileError(entry.cabinet, entry.name, reason);
        failed(entry);
    };
    handlers.cabinetFinished = [&] { lines.flush(stdout); };

    const WalkOutcome outcome = walkCabinetSet(cabinet, handlers);
    if (outcome.complete && bad == 0) {
        std::printf("%" PRIu64 " file%s tested, all good\n", good, good == 1 ? "" : "s");
        return kExitSuccess;
    }
    std::printf("%" PRIu64 " file%s good, %" PRIu64 " failed", good, good == 1 ? "" : "s", bad);
    if (outcome.notReached != 0) std::printf(", %" PRIu64 " not reached", outcome.notReached);
    std::printf("%s\n", outcome.complete ? "" : ", the walk stopped early");
    return kExitFailure;
}

}  // namespace cabtool
