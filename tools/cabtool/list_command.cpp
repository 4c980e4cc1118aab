#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "tools/cabtool/cabinet_walk.h"
#include "tools/cabtool/commands.h"
#include "tools/cabtool/dos_time.h"
#include "tools/cabtool/json_output.h"
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

// Counts of listed files, for one cabinet (or set) and for the whole run.
struct Totals {
    uint64_t files = 0;
    uint64_t bytes = 0;
    uint64_t unreachable = 0;  // listed, but no walk can extract them

    void add(const Totals& other) {
        files += other.files;
        bytes += other.bytes;
        unreachable += other.unreachable;
    }
};

void printColumnHeadings() {
    std::printf("%10s  %-19s  %-5s  %s\n", "Size", "Date       Time", "Attr", "Name");
}

// "N files, M bytes[, K cannot be extracted]" and what follows it.
void printTotals(const Totals& totals, const char* ending) {
    std::printf("%" PRIu64 " file%s, %" PRIu64 " bytes", totals.files, totals.files == 1 ? "" : "s",
                totals.bytes);
    if (totals.unreachable != 0) std::printf(", %" PRIu64 " cannot be extracted", totals.unreachable);
    std::printf("%s\n", ending);
}

// The heading of one cabinet's table when several are listed.
std::string headingOf(const CabinetSource& source) {
    if (!source.embedded) return printable(source.path) + ":";
    return printable(source.path) + " (cabinet at offset " + std::to_string(source.offset) + "):";
}

struct Listing {
    explicit Listing(const RunOptions& o) : options(o) {}

    const RunOptions& options;
    OrderedLines lines;
    std::vector<std::string> jsonRecords;  // in final order, with --json
    const CabinetSource* source = nullptr;  // the source being walked
    std::map<std::string, const CabinetHeader*> headers;  // its cabinets by path
    Totals current;  // of the source being walked
    Totals all;      // of every source finished
    bool headings = false;  // plain tables with a heading and totals per source

    void start(const CabinetSource& next) {
        finishSource();
        if (headings) {
            if (source != nullptr) std::printf("\n");
            std::printf("%s\n", headingOf(next).c_str());
            printColumnHeadings();
        }
        source = &next;
        headers.clear();
        for (const SurveyedCabinet& cabinet : next.set) headers[cabinet.path] = &cabinet.header;
    }

    FileRecord recordOf(const FileEntry& entry) const {
        FileRecord r;
        r.name = slashNameOf(entry, options);
        r.size = entry.size;
        r.date = entry.date;
        r.time = entry.time;
        r.attributes = entry.attributes;
        r.cabinet = entry.cabinet;
        const auto found = headers.find(entry.cabinet);
        const CabinetHeader* header = found == headers.end() ? nullptr : found->second;
        // Continued from the previous cabinet: the folder that cabinet's
        // folder 0 goes on with; continued into the next: its last folder.
        if (continuesFromPrevious(entry.folderIndex)) {
            r.folder = 0;
        } else if (continuesIntoNext(entry.folderIndex)) {
            r.folder = header != nullptr && header->folderCount > 0 ? uint16_t(header->folderCount - 1) : 0;
        } else {
            r.folder = entry.folderIndex;
        }
        if (header != nullptr && r.folder < header->folders.size()) {
            r.typeCompress = header->folders[r.folder].typeCompress;
        }
        if (source != nullptr && source->embedded && entry.cabinet == source->path) {
            r.cabinetOffset = source->offset;
        }
        return r;
    }

    void add(const FileEntry& entry, const std::string& note) {
        if (!isChosen(entry, options)) return;
        if (options.json) {
            lines.add(entry, fileRecordJson(recordOf(entry)));
        } else {
            char row[64];
            std::snprintf(row, sizeof row, "%10" PRIu32 "  %s  %s  ", entry.size,
                          formatDosDateTime(entry.date, entry.time).c_str(),
                          attributeLetters(entry.attributes).c_str());
            lines.add(entry, row + printable(slashNameOf(entry, options)) + printable(note));
        }
        ++current.files;
        current.bytes += entry.size;
    }

    // Closes the table of the source walked last.
    void finishSource() {
        if (source != nullptr && headings) printTotals(current, "");
        all.add(current);
        current = Totals{};
    }

    // Prints a cabinet's lines; JSON records are kept to be joined at the end.
    void flush() {
        if (!options.json) return lines.flush(stdout);
        char* text = nullptr;
        size_t size = 0;
        std::FILE* memory = open_memstream(&text, &size);
        if (memory == nullptr) return lines.flush(stdout);
        lines.flush(memory);
        std::fclose(memory);
        for (size_t start = 0; start < size;) {
            size_t end = start;
            while (end < size && text[end] != '\n') ++end;
            jsonRecords.emplace_back(text + start, end - start);
            start = end + 1;
        }
        std::free(text);
    }
};

}  // namespace

int listCabinets(const std::vector<CabinetSource>& sources, const RunOptions& options) {
    Listing listing(options);
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
        if (!isChosen(entry, options)) return;
        reportFileError(entry.cabinet, slashNameOf(entry, options), reason);
        listing.add(entry, "  (cannot be extracted)");
        ++listing.current.unreachable;
    };
    handlers.cabinetFinished = [&] { listing.flush(); };

    // Nothing found to list: the error said so, and no empty table follows.
    const bool plain = !options.json && !options.quiet && !sources.empty();
    listing.headings = plain && sources.size() > 1;
    if (plain && !listing.headings) printColumnHeadings();
    const WalkOutcome outcome =
        walkSources(sources, handlers, [&](const CabinetSource& s) { listing.start(s); });
    listing.finishSource();
    if (options.json) {
        std::printf("[\n");
        for (size_t i = 0; i < listing.jsonRecords.size(); ++i) {
            std::printf("%s%s\n", listing.jsonRecords[i].c_str(),
                        i + 1 < listing.jsonRecords.size() ? "," : "");
        }
        std::printf("]\n");
    } else if (plain) {
        if (listing.headings) std::printf("\n");
        printTotals(listing.all, listing.headings ? " in all" : "");
    }
    return outcome.complete && listing.all.unreachable == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace cabtool
