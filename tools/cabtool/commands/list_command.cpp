#include <sys/stat.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include "cab/cab.h"
#include "tools/cabtool/commands/archive_reading.h"
#include "tools/cabtool/commands/archive_set.h"
#include "tools/cabtool/files/cabinet_files.h"
#include "tools/cabtool/commands/commands.h"
#include "tools/cabtool/commands/walk_record.h"
#include "tools/cabtool/output/dos_date_text.h"
#include "tools/cabtool/output/json_output.h"
#include "tools/cabtool/output/messages.h"
#include "tools/cabtool/output/ordered_lines.h"
#include "tools/cabtool/output/printable.h"

namespace cabtool {
namespace {

// "rhsax": read-only, hidden, system, archive, run after extraction.
std::string attributeLetters(uint16_t attributes) {
    std::string letters = "-----";
    if (attributes & CabAttributeReadOnly) letters[0] = 'r';
    if (attributes & CabAttributeHidden) letters[1] = 'h';
    if (attributes & CabAttributeSystem) letters[2] = 's';
    if (attributes & CabAttributeArchive) letters[3] = 'a';
    if (attributes & CabAttributeRunAfterExtract) letters[4] = 'x';
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
    const CabinetSource* source = nullptr;  // the source being listed
    Totals current;  // of the source being listed
    Totals all;      // of every source finished
    bool headings = false;  // plain tables with a heading and totals per source
    // The folder tables of the cabinet being listed, and of all before it in
    // its set, were read whole.
    bool tablesKnown = true;

    void start(const CabinetSource& next) {
        finishSource();
        if (headings) {
            if (source != nullptr) std::printf("\n");
            std::printf("%s\n", headingOf(next).c_str());
            printColumnHeadings();
        }
        source = &next;
    }

    FileRecord recordOf(const FileEntry& file, const CabArchiveEntry& entry,
                        const CabArchiveCabinet& cabinet) const {
        FileRecord r;
        r.name = slashNameOf(file);
        r.size = file.size;
        r.date = file.date;
        r.time = file.time;
        r.attributes = file.attributes;
        r.cabinet = file.cabinet;
        // Continued from the previous cabinet: the folder that cabinet's
        // folder 0 goes on with; continued into the next: its last folder.
        if (file.continuesFromPrevious()) {
            r.folder = 0;
        } else if (file.continuesIntoNext()) {
            r.folder = tablesKnown && cabinet.folderCount > 0 ? uint16_t(cabinet.folderCount - 1) : 0;
        } else {
            r.folder = file.folderIndex;
        }
        if (tablesKnown && r.folder < cabinet.folderCount) r.typeCompress = typeCompressOf(entry);
        if (source != nullptr && source->embedded && file.cabinet == source->path) {
            r.cabinetOffset = source->offset;
        }
        return r;
    }

    void add(const FileEntry& file, const CabArchiveEntry& entry, const CabArchiveCabinet& cabinet,
             const std::string& note) {
        if (options.json) {
            lines.add(file, fileRecordJson(recordOf(file, entry, cabinet)));
        } else {
            char row[64];
            std::snprintf(row, sizeof row, "%10" PRIu32 "  %s  %s  ", file.size,
                          dosDateTimeText(file.date, file.time).c_str(),
                          attributeLetters(file.attributes).c_str());
            lines.add(file, row + printable(slashNameOf(file)) + printable(note));
        }
        ++current.files;
        current.bytes += file.size;
    }

    // Closes the table of the source listed last.
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

// What listing one cabinet of a set carries to the next.
struct SetListing {
    const CabArchive* archive = nullptr;
    uint32_t start = 0;           // the cabinet the listing starts from
    uint32_t handedOnward = 0;    // files listed in the cabinet before that go on into this one
    const WalkRecord* earlier = nullptr;  // a walk before this one over the same set
};

// Lists the entries of cabinet `c`, in directory order, as a walk through
// the set from `set.start` meets them: files continued from an earlier
// cabinet are marked in the starting cabinet and, in a later one, listed
// only when a file of the cabinet before goes on into it.
void listCabinet(Listing& listing, SetListing& set, uint32_t c, const std::vector<uint32_t>& entries,
                 WalkRecord& record) {
    CabArchiveCabinet cabinet{};
    cabArchiveCabinet(set.archive, c, &cabinet);
    const RunOptions& options = listing.options;
    uint32_t goingOn = 0;
    bool ownSeen = false;  // a file beginning in this cabinet came before
    for (const uint32_t index : entries) {
        CabArchiveEntry entry{};
        if (cabArchiveEntry(set.archive, index, &entry) != CabArchiveOk) continue;
        FileEntry file = fileEntryOf(set.archive, index, entry);
        if (entry.cabinet != c) {
            // Begun in the cabinet before the starting one: this cabinet
            // lists it as continued from there.
            file.cabinet = cabinet.name;
            file.folderIndex = CAB_FOLDER_CONTINUED_FROM_PREVIOUS;
        }
        const char* known = nullptr;
        const int32_t problem = cabArchiveEntryProblem(set.archive, index, &known);
        // Data in a cabinet the archive lacks is the walk's own concern (it
        // says so when it gets there); any other known problem refuses the file.
        const bool absentNeighbour =
            (entry.continuesFromPrevious && entry.cabinet == 0) ||
            (entry.continuesIntoNext && entry.cabinet + 1 == cabArchiveCabinetCount(set.archive));
        const bool refused = known != nullptr && (problem == CabOutcomeDamaged ||
                                                  (problem == CabOutcomeUnreachable && !absentNeighbour));
        std::string reason = refused ? known : "";
        std::string note;
        if (!refused && file.continuesFromPrevious()) {
            const std::string previous = previousNameOf(set.archive, c);
            if (c == set.start) {
                // A walk before this one listed it, or read the cabinet it
                // comes from: it is not mentioned again.
                const std::string previousPath = neighbourPath(file.cabinet, previous);
                if (set.earlier != nullptr && (set.earlier->handled.count(previousPath) != 0 ||
                                               set.earlier->dealtWith.count({file.name, file.size}) != 0)) {
                    continue;
                }
                note = "  (continued from " + previous + ")";
            } else if (ownSeen || set.handedOnward == 0) {
                reason = "not reached: its folder goes on from '" + previous +
                         "', but no file crossed into this cabinet";
            }
        }
        ownSeen = ownSeen || !file.continuesFromPrevious();
        if (!isChosen(file, options)) continue;
        if (!reason.empty()) {
            reportFileError(file.cabinet, slashNameOf(file), reason);
            listing.add(file, entry, cabinet, "  (cannot be extracted)");
            ++listing.current.unreachable;
            continue;
        }
        listing.add(file, entry, cabinet, note);
        record.dealtWith.insert({file.name, file.size});
        if (file.continuesIntoNext()) ++goingOn;
    }
    set.handedOnward = goingOn;
}

// Lists the set of the cabinet at `offset` in `path`, from the cabinet
// named `startName` (empty: the first one opened) on; false when some of it
// could not be read (reported). `earlier` is the record of a walk before
// this one over the same set, whose files are not listed again.
bool listWalk(Listing& listing, const CabinetSource& source, const std::string& path,
              const std::string& startName, const WalkRecord* earlier, WalkRecord& record) {
    const uint64_t offset = startName.empty() ? source.offset : 0;
    const ArchiveOwner archive = openSetForWalk(path, offset, listing.options.codePage);
    if (!archive) return false;
    SetListing set;
    set.archive = archive.get();
    set.earlier = earlier;
    const uint32_t cabinets = cabArchiveCabinetCount(archive.get());
    std::vector<CabArchiveCabinet> facts(cabinets);
    for (uint32_t c = 0; c < cabinets; ++c) {
        cabArchiveCabinet(archive.get(), c, &facts[c]);
        if (!startName.empty() && startName == facts[c].name) set.start = c;
    }
    std::vector<std::vector<uint32_t>> entriesOf(cabinets);
    const uint32_t count = cabArchiveEntryCount(archive.get());
    for (uint32_t i = 0; i < count; ++i) {
        CabArchiveEntry entry{};
        if (cabArchiveEntry(archive.get(), i, &entry) == CabArchiveOk && entry.cabinet < cabinets) {
            entriesOf[entry.cabinet].push_back(i);
        }
    }
    const std::vector<CabArchiveProblem> problems = problemsOf(archive.get());
    if (set.start > 0) {
        // The files going on from the cabinet before the starting one are
        // listed by the starting one, as continued from it.
        std::vector<uint32_t> carried;
        for (const uint32_t index : entriesOf[set.start - 1]) {
            CabArchiveEntry entry{};
            if (cabArchiveEntry(archive.get(), index, &entry) == CabArchiveOk && entry.continuesIntoNext) {
                carried.push_back(index);
            }
        }
        entriesOf[set.start].insert(entriesOf[set.start].begin(), carried.begin(), carried.end());
    }
    const std::pair<uint32_t, uint32_t> reserves = recordReservesOf(facts[set.start]);
    listing.tablesKnown = true;
    for (uint32_t c = set.start; c < cabinets; ++c) {
        if (recordReservesOf(facts[c]) != reserves) {
            reportCabinetError(facts[c].name, cabErrorText(CabErrReserveSizeChanged));
            return false;
        }
        bool headerDamaged = false;
        for (const CabArchiveProblem& problem : problems) {
            if (problem.cabinet != int32_t(c) || !isTableDamage(problem)) continue;
            listing.tablesKnown = false;
            headerDamaged = headerDamaged || !isFolderDamage(problem);
        }
        if (!headerDamaged) {
            record.handled.insert(facts[c].name);
            listCabinet(listing, set, c, entriesOf[c], record);
        }
        for (const CabArchiveProblem& problem : problems) {
            if (problem.kind == CabProblemDamagedDirectory && problem.cabinet == int32_t(c) &&
                !isFolderDamage(problem)) {
                reportCabinetError(problem.name, directoryDamageText(problem, facts[c]));
                listing.flush();
                return false;
            }
        }
        listing.flush();
    }
    for (const CabArchiveProblem& problem : problems) {
        if (problem.cabinet < 0 && problem.before == 0) {
            return !reportNextCabinet(archive.get(), problem, facts[cabinets - 1]);
        }
    }
    return true;
}

// Lists one source; false when some of it could not be read (reported).
bool listSource(Listing& listing, const CabinetSource& source) {
    return walkFromFirstThenNamed(source, [&](const std::string& path, const std::string& startName,
                                              const WalkRecord* earlier, WalkRecord& record) {
        return listWalk(listing, source, path, startName, earlier, record);
    });
}

}  // namespace

int listCabinets(const std::vector<CabinetSource>& sources, const RunOptions& options) {
    Listing listing(options);
    // Nothing found to list: the error said so, and no empty table follows.
    const bool plain = !options.json && !options.quiet && !sources.empty();
    listing.headings = plain && sources.size() > 1;
    if (plain && !listing.headings) printColumnHeadings();
    bool complete = true;
    for (const CabinetSource& source : sources) {
        listing.start(source);
        complete = listSource(listing, source) && complete;
    }
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
    return complete && listing.all.unreachable == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace cabtool
