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

struct Listing {
    explicit Listing(const RunOptions& o) : options(o) {}

    const RunOptions& options;
    OrderedLines lines;
    std::vector<std::string> jsonRecords;  // in final order, with --json
    const CabinetSource* source = nullptr;  // the source being walked
    std::map<std::string, const CabinetHeader*> headers;  // its cabinets by path
    uint64_t files = 0;
    uint64_t bytes = 0;
    uint64_t unreachable = 0;  // listed, but no walk can extract them

    void start(const CabinetSource& next) {
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
        ++files;
        bytes += entry.size;
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
        ++listing.unreachable;
    };
    handlers.cabinetFinished = [&] { listing.flush(); };

    const bool plain = !options.json && !options.quiet;
    if (plain) std::printf("%10s  %-19s  %-5s  %s\n", "Size", "Date       Time", "Attr", "Name");
    const WalkOutcome outcome =
        walkSources(sources, handlers, [&](const CabinetSource& s) { listing.start(s); });
    if (options.json) {
        std::printf("[\n");
        for (size_t i = 0; i < listing.jsonRecords.size(); ++i) {
            std::printf("%s%s\n", listing.jsonRecords[i].c_str(),
                        i + 1 < listing.jsonRecords.size() ? "," : "");
        }
        std::printf("]\n");
    } else if (plain) {
        std::printf("%" PRIu64 " file%s, %" PRIu64 " bytes", listing.files,
                    listing.files == 1 ? "" : "s", listing.bytes);
        if (listing.unreachable != 0) {
            std::printf(", %" PRIu64 " cannot be extracted", listing.unreachable);
        }
        std::printf("\n");
    }
    return outcome.complete && listing.unreachable == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace cabtool
