#include "archive/extract/salvage.h"

#include <cstdint>
#include <utility>

#include "archive/extract/block_faults.h"
#include "archive/open/entry_list.h"

namespace cabarchive {

SalvageScope::SalvageScope(CabArchive& archive, Note note)
    : archive_(archive), note_(std::move(note)), told_(archive.cabinets.size(), false) {
    for (uint32_t c = 0; c < archive.cabinets.size(); ++c) {
        const Cabinet& cabinet = archive.cabinets[c];
        Source& source = archive.io.source(cabinet.source);
        for (const BlockFinding& finding : surveyCabinetBlocks(archive.io, cabinet)) {
            if (finding.fault != BlockFault::ChecksumMismatch) continue;
            bad_.push_back(Bad{c, finding.folder, finding.dataStart, finding.dataEnd,
                               describeFinding(finding) + "; decoded anyway"});
            source.ignoredChecksums.push_back(finding.csumOffset);
        }
    }
}

void SalvageScope::tellBefore(uint32_t cabinet) {
    for (uint32_t c = cabinet; c < told_.size() && c <= cabinet + 1; ++c) {
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

std::vector<bool> SalvageScope::suspectEntries() const {
    std::vector<bool> suspect(archive_.entries.size(), false);
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
            const uint64_t blockEnd = block.dataEnd > block.dataStart ? block.dataEnd : UINT64_MAX;
            // A folder continued across cabinets counts its blocks' bytes
            // afresh in each, so any bad block of the continued part counts.
            const bool here = block.cabinet == entry.cabinet && block.folder == folder &&
                              (file.continuesFromPrevious() ||
                               (file.folderOffset < blockEnd && block.dataStart < end));
            const bool before = file.continuesFromPrevious() && block.cabinet + 1 == entry.cabinet &&
                                block.folder + 1u == archive_.cabinets[block.cabinet].folders.size();
            const bool after = file.continuesIntoNext() && block.cabinet == entry.cabinet + 1 && block.folder == 0;
            if (here || before || after) suspect[e] = true;
        }
    }
    return suspect;
}

}  // namespace cabarchive
