#include <cinttypes>
#include <cstdio>

#include "tools/cabtool/cabinet_walk.h"
#include "tools/cabtool/commands.h"
#include "tools/cabtool/dos_time.h"

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

struct Totals {
    uint64_t files = 0;
    uint64_t bytes = 0;
};

void printFile(Totals& totals, const FileEntry& entry, const std::string& note) {
    std::printf("%10" PRIu32 "  %s  %s  %s%s\n", entry.size,
                formatDosDateTime(entry.date, entry.time).c_str(),
                attributeLetters(entry.attributes).c_str(), entry.name.c_str(), note.c_str());
    ++totals.files;
    totals.bytes += entry.size;
}

}  // namespace

int listCabinets(const std::string& cabinet) {
    Totals totals;
    FileHandlers handlers;
    // Every file is declined, so nothing is decompressed; files that go on
    // into the next cabinet are listed once, in the first cabinet they are in.
    handlers.openOutput = [&](const FileEntry& entry) -> int32_t {
        printFile(totals, entry, "");
        return 0;
    };
    handlers.closeOutput = [](const FileEntry&, int32_t) { return 1; };
    handlers.abandonOutput = [](const FileEntry&) {};
    handlers.fileFromEarlier = [&](const FileEntry& entry, const std::string& previous) {
        printFile(totals, entry, "  (continued from " + previous + ")");
    };
    // Files of a continued folder that were not listed in the cabinet before.
    handlers.unreachable = [&](const FileEntry& entry, const std::string&) {
        printFile(totals, entry, "");
    };

    std::printf("%10s  %-19s  %-5s  %s\n", "Size", "Date       Time", "Attr", "Name");
    const bool ok = walkCabinetSet(cabinet, handlers);
    std::printf("%" PRIu64 " file%s, %" PRIu64 " bytes\n", totals.files,
                totals.files == 1 ? "" : "s", totals.bytes);
    return ok ? kExitSuccess : kExitFailure;
}

}  // namespace cabtool
