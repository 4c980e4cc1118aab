#include <cinttypes>
#include <cstdio>

#include "tools/cabtool/cabinet_walk.h"
#include "tools/cabtool/commands.h"
#include "tools/cabtool/dos_time.h"
#include "tools/cabtool/messages.h"
#include "tools/cabtool/ordered_lines.h"
#include "tools/cabtool/printable.h"

namespace cabtool {
namespace {

// "rhsax": read-only, hidden, system, archive, run after extraction.
std::string attributeLetters(uint16_t attributes) {
    std::string letters = "-----";
    if (attributes & kAttributeReadOnly) letters[0] = 'r';
    if (attributes & kAttributeHidden) letters[1] = 'h';
    if (attributes & kAttributeSystem) letters[2] = 's';
    if (attributes & kAttributeArchive) letters[3] = 'a';
    if (attributes & kAttributeRunAfterExtract) letters[4] = 'x';
    return letters;
}

struct Listing {
    OrderedLines lines;
    uint64_t files = 0;
    uint64_t bytes = 0;
    uint64_t unreachable = 0;  // listed, but no walk can extract them

    void add(const FileEntry& entry, const std::string& note) {
        char row[64];
        std::snprintf(row, sizeof row, "%10" PRIu32 "  %s  %s  ", entry.size,
                      formatDosDateTime(entry.date, entry.time).c_str(),
                      attributeLetters(entry.attributes).c_str());
        lines.add(entry, row + printable(entry.name) + printable(note));
        ++files;
        bytes += entry.size;
    }
};

}  // namespace

int listCabinets(const std::string& cabinet) {
    Listing listing;
    FileHandlers handlers;
    // Every file is declined, so nothing is decompressed; files that go on
    // into the next cabinet are listed once, in the first cabinet they are in.
    handlers.openOutput = [&](const FileEntry& entry) -> int32_t {
        listing.add(entry, "");
        return 0;
    };
    handlers.closeOutput = [](const FileEntry&, int32_t) { return 1; };
    handlers.abandonOutput = [](const FileEntry&) {};
    // Continued files met first in a later cabinet, which extraction reaches
    // by crossing into it.
    handlers.reachedByCrossing = [&](const FileEntry& entry) { listing.add(entry, ""); };
    handlers.fileFromEarlier = [&](const FileEntry& entry, const std::string& previous) {
        listing.add(entry, "  (continued from " + previous + ")");
    };
    // Files of the set that extraction cannot reach are listed too, marked,
    // with the reason on standard error.
    handlers.unreachable = [&](const FileEntry& entry, const std::string& reason) {
        reportFileError(entry.cabinet, entry.name, reason);
        listing.add(entry, "  (cannot be extracted)");
        ++listing.unreachable;
    };
    handlers.cabinetFinished = [&] { listing.lines.flush(stdout); };

    std::printf("%10s  %-19s  %-5s  %s\n", "Size", "Date       Time", "Attr", "Name");
    const WalkOutcome outcome = walkCabinetSet(cabinet, handlers);
    std::printf("%" PRIu64 " file%s, %" PRIu64 " bytes", listing.files,
                listing.files == 1 ? "" : "s", listing.bytes);
    if (listing.unreachable != 0) {
        std::printf(", %" PRIu64 " cannot be extracted", listing.unreachable);
    }
    std::printf("\n");
    return outcome.complete && listing.unreachable == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace cabtool
