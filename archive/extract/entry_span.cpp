#include "archive/extract/entry_span.h"

#include <algorithm>

#include "archive/extract/block_faults.h"
#include "archive/open/entry_list.h"

namespace cabarchive {
namespace {

// The uncompressed bytes that the blocks of folder `folder` of `cabinet`
// complete there, up to its first block cut short.
uint64_t folderBytesIn(ArchiveIo& io, const Cabinet& cabinet, uint32_t folder) {
    uint64_t end = 0;
    for (const BlockFinding& finding : surveyCabinetBlocks(io, cabinet)) {
        if (finding.folder != folder) continue;
        if (finding.fault == BlockFault::CutShort) break;
        end = std::max<uint64_t>(end, finding.dataEnd);
    }
    return end;
}

// Whether every file `cabinet` lists continues a folder from the cabinet
// before: its one folder began earlier.
bool continuesOnly(const Cabinet& cabinet) {
    return !cabinet.directory.entries.empty() &&
           std::all_of(cabinet.directory.entries.begin(), cabinet.directory.entries.end(),
                       [](const FileEntry& file) { return file.continuesFromPrevious(); });
}

}  // namespace

uint32_t cabinetReachingEntry(CabArchive& archive, uint32_t index) {
    const Entry& entry = archive.entries[index];
    const Cabinet& listing = archive.cabinets[entry.cabinet];
    const FileEntry& file = listing.directory.entries[entry.listIndex];
    if (entry.view.folderOffset == 0 || listing.folders.empty()) return entry.cabinet;
    // The folder's first cabinet: a file continued from before lies in a
    // folder begun there, or further back when the cabinets between hold
    // nothing else.
    uint32_t cabinet = entry.cabinet;
    uint32_t folder = folderOfEntry(listing, file);
    if (file.continuesFromPrevious()) {
        if (cabinet == 0) return cabinet;
        --cabinet;
        while (cabinet > 0 && continuesOnly(archive.cabinets[cabinet])) --cabinet;
        if (archive.cabinets[cabinet].folders.empty()) return entry.cabinet;
        folder = uint32_t(archive.cabinets[cabinet].folders.size() - 1);
    }
    uint64_t reached = folderBytesIn(archive.io, archive.cabinets[cabinet], folder);
    // Only the last folder of a cabinet goes on, as the next one's first.
    const bool goesOn = folder + 1 == archive.cabinets[cabinet].folders.size();
    while (goesOn && reached < entry.view.folderOffset && cabinet + 1 < archive.cabinets.size()) {
        const uint64_t more = folderBytesIn(archive.io, archive.cabinets[cabinet + 1], 0);
        if (more == 0) break;
        ++cabinet;
        reached += more;
    }
    return cabinet;
}

}  // namespace cabarchive
