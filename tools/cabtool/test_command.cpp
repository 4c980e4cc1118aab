#include <cinttypes>
#include <cstdio>

#include "tools/cabtool/cabinet_walk.h"
#include "tools/cabtool/commands.h"
#include "tools/cabtool/messages.h"
#include "tools/cabtool/posix_io.h"

namespace cabtool {

int testCabinets(const std::string& cabinet) {
    uint64_t good = 0;
    uint64_t bad = 0;
    FileHandlers handlers;
    // Every file is decoded into the discarding handle; the decoder checks
    // each block's checksum and decompressed size on the way.
    handlers.openOutput = [](const FileEntry&) -> int32_t { return kDiscardHandle; };
    handlers.closeOutput = [&](const FileEntry& entry, int32_t) {
        std::printf("OK      %s\n", entry.name.c_str());
        ++good;
        return 1;
    };
    handlers.abandonOutput = [&](const FileEntry& entry) {
        std::printf("FAILED  %s\n", entry.name.c_str());
        ++bad;
    };
    handlers.fileFromEarlier = [](const FileEntry& entry, const std::string& previous) {
        reportFileError(entry.cabinet, entry.name,
                        "not tested: it is continued from the earlier cabinet '" + previous + "'");
    };

    handlers.unreachable = [&](const FileEntry& entry, const std::string& reason) {
        reportFileError(entry.cabinet, entry.name, reason);
        std::printf("FAILED  %s\n", entry.name.c_str());
        ++bad;
    };

    const bool ok = walkCabinetSet(cabinet, handlers);
    if (ok && bad == 0) {
        std::printf("%" PRIu64 " file%s tested, all good\n", good, good == 1 ? "" : "s");
        return kExitSuccess;
    }
    std::printf("%" PRIu64 " file%s good, %" PRIu64 " failed%s\n", good, good == 1 ? "" : "s", bad,
                ok ? "" : ", the walk stopped early");
    return kExitFailure;
}

}  // namespace cabtool
