#include "archive/extract/salvage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "archive/extract/block_faults.h"
#include "archive/open/entry_list.h"

namespace cabarchive {

namespace {

// Whether cabinet position `at` lies in the records the decoder reads of the
// cabinet: its header with the set's names, its folder table, or the file
// entries read. Reading a csum field there as 0 would change the records
// themselves, so a "block" lying over them is left as damage.
bool overRecords(const Cabinet& cabinet, uint64_t at) {
    constexpr uint64_t kHeaderSize = 36;      // CFHEADER without its optional fields
    constexpr uint64_t kReserveSizes = 4;     // cbCFHeader, cbCFFolder, cbCFData
    constexpr uint64_t kFolderRecordSize = 8;  // CFFOLDER without its reserve
    constexpr uint64_t kFileRecordSize = 16;   // CFFILE without its name
    const CabHeaderRecord& header = cabinet.header;
    uint64_t folderTableEnd = kHeaderSize;
    if ((header.flags & 0x0004) != 0) folderTableEnd += kReserveSizes + header.cbCFHeader;
    const auto named = [&folderTableEnd](const char* name) { folderTableEnd += std::strlen(name) + 1; };
    if ((header.flags & 0x0001) != 0) {
        named(cabinet.setNames.previousCabinet);
        named(cabinet.setNames.previousDisk);
    }
    if ((header.flags & 0x0002) != 0) {
        named(cabinet.setNames.nextCabinet);
        named(cabinet.setNames.nextDisk);
    }
    folderTableEnd += uint64_t(header.cFolders) * (kFolderRecordSize + header.cbCFFolder);
    if (at < folderTableEnd) return true;
    for (const FileEntry& file : cabinet.directory.entries) {
        const uint64_t start = uint32_t(file.position);
        if (at + 4 > start && at < start + kFileRecordSize + file.name.size() + 1) return true;
    }
    return false;
}

}  // namespace

SalvageScope::SalvageScope(CabArchive& archive, Note note)
    : archive_(archive), note_(std::move(note)), told_(archive.cabinets.size(), false) {
    for (uint32_t c = 0; c < archive.cabinets.size(); ++c) {
        const Cabinet& cabinet = archive.cabinets[c];
        Source& source = archive.io.source(cabinet.source);
        for (const BlockFinding& finding : surveyCabinetBlocks(archive.io, cabinet)) {
            // A block lying over the records is damage, not data to salvage.
            if (finding.fault != BlockFault::ChecksumMismatch || overRecords(cabinet, finding.csumOffset)) continue;
            bad_.push_back(Bad{c, finding.folder, finding.dataStart, finding.dataEnd,
                               describeFinding(finding) + "; decoded anyway"});
            source.ignoredChecksums.push_back(finding.csumOffset);
        }
    }
}

namespace {

// Whether a decoder crossing into cabinet `c` may read on through it into
// the next: a file of it comes from the cabinet before and goes on.
bool crossedThrough(const Cabinet& cabinet) {
    for (const FileEntry& file : cabinet.directory.entries) {
        if (file.continuesFromPrevious() && file.continuesIntoNext()) return true;
    }
    return false;
}

}  // namespace

void SalvageScope::tellBefore(uint32_t cabinet) {
    // The cabinet, the next, and those a crossing reads on through into.
    uint32_t last = cabinet + 1;
    while (last < told_.size() && last + 1 < told_.size() && crossedThrough(archive_.cabinets[last])) ++last;
    for (uint32_t c = cabinet; c < told_.size() && c <= last; ++c) {
        if (told_[c]) continue;
        told_[c] = true;
        for (const Bad& block : bad_) {
            if (block.cabinet == c) note_(archive_.cabinets[c], block.finding);
        }
    }
}

SalvageScope::~SalvageScope() {
    for (const Cabinet& cabinet : archive_.cabinets) archive_.io.source(cabinet.source).ignoredChecksums.clear();
}

namespace {

// Whether folder `folder` of cabinet `c` goes on as folder 0 of the next
// cabinet: it is the last and a file of it goes on into the next.
bool folderGoesOn(const CabArchive& archive, uint32_t c, uint32_t folder) {
    if (c + 1 >= archive.cabinets.size()) return false;
    const Cabinet& cabinet = archive.cabinets[c];
    if (folder + 1 != cabinet.folders.size()) return false;
    for (const FileEntry& file : cabinet.directory.entries) {
        if (file.continuesIntoNext() && folderOfEntry(cabinet, file) == folder) return true;
    }
    return false;
}

}  // namespace

std::vector<bool> SalvageScope::entriesMayBeDamaged() const {
    std::vector<bool> marked(archive_.entries.size(), false);
    for (uint32_t e = 0; e < archive_.entries.size(); ++e) {
        const Entry& entry = archive_.entries[e];
        const Cabinet& cabinet = archive_.cabinets[entry.cabinet];
        const FileEntry& file = cabinet.directory.entries[entry.listIndex];
        const uint32_t folder = folderOfEntry(cabinet, file);
        const uint64_t end = uint64_t(file.folderOffset) + file.size;
        for (const Bad& block : bad_) {
            // The first piece of a block split between two cabinets counts
            // no bytes of its own: it feeds what the block completes in the
            // next cabinet, everything past the bytes completed before it.
            // In a compressed folder every byte past the block's start may
            // repeat its damage: decoded history carries it into later matches.
            const bool compressed = folderCompressed(archive_.cabinets[block.cabinet], block.folder);
            const uint64_t blockEnd =
                block.dataEnd > block.dataStart && !compressed ? block.dataEnd : UINT64_MAX;
            // A folder continued across cabinets counts its blocks' bytes
            // afresh in each, so any bad block of the continued part counts.
            const bool here = block.cabinet == entry.cabinet && block.folder == folder &&
                              (file.continuesFromPrevious() ||
                               (file.folderOffset < blockEnd && block.dataStart < end));
            const bool before = file.continuesFromPrevious() && block.cabinet + 1 == entry.cabinet &&
                                block.folder + 1u == archive_.cabinets[block.cabinet].folders.size();
            const bool after = file.continuesIntoNext() && block.cabinet == entry.cabinet + 1 && block.folder == 0;
            if (here || before || after) marked[e] = true;
        }
    }
    // An entry listed again, as continued, by a later cabinet has bytes in
    // that cabinet's first folder: any bad block there counts.
    for (uint32_t c = 1; c < archive_.cabinets.size(); ++c) {
        const Cabinet& later = archive_.cabinets[c];
        for (uint32_t at = 0; at < later.directory.entries.size() && at < later.entryOfListed.size(); ++at) {
            const uint32_t e = later.entryOfListed[at];
            if (e == kNoArchiveEntry || !later.directory.entries[at].continuesFromPrevious()) continue;
            for (const Bad& block : bad_) {
                if (block.cabinet == c && block.folder == 0) marked[e] = true;
            }
        }
    }
    // A compressed folder going on into later cabinets carries a bad
    // block's damage into every file of its continuation.
    for (const Bad& block : bad_) {
        if (!folderCompressed(archive_.cabinets[block.cabinet], block.folder)) continue;
        for (uint32_t c = block.cabinet, f = block.folder; folderGoesOn(archive_, c, f); ++c, f = 0) {
            const Cabinet& next = archive_.cabinets[c + 1];
            for (uint32_t at = 0; at < next.directory.entries.size() && at < next.entryOfListed.size(); ++at) {
                const uint32_t e = next.entryOfListed[at];
                if (e != kNoArchiveEntry && folderOfEntry(next, next.directory.entries[at]) == 0) {
                    marked[e] = true;
                }
            }
        }
    }
    return marked;
}

}  // namespace cabarchive
