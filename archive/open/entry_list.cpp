#include "archive/open/entry_list.h"

#include <algorithm>

namespace cabarchive {
namespace {

void describeMethod(const Cabinet& cabinet, const FileEntry& file, CabArchiveEntry& view) {
    const uint32_t folder = folderOfEntry(cabinet, file);
    view.method = -1;
    view.windowBits = 0;
    if (folder >= cabinet.folders.size()) return;
    view.method = cabArchiveCompressionMethod(cabinet.folders[folder].typeCompress, &view.windowBits);
}

// Per position of cabinet `c`'s file list, the entry of the cabinet before
// that it continues, or kNoArchiveEntry. The decoder, crossing into the
// next cabinet, passes over that cabinet's continued files by count: the
// k-th file going on out of a cabinet is the file at place k of the next
// one's list when it and all before it but the first are continued,
// whatever name and size the next one stores for it.
std::vector<uint32_t> continuationsOf(const CabArchive& archive, uint32_t c) {
    const auto& files = archive.cabinets[c].directory.entries;
    std::vector<uint32_t> continues(files.size(), kNoArchiveEntry);
    if (c == 0) return continues;
    const Cabinet& before = archive.cabinets[c - 1];
    std::vector<uint32_t> goingOn;
    for (const FileEntry& file : before.directory.entries) {
        if (file.continuesIntoNext()) goingOn.push_back(before.entryOfListed[file.listIndex]);
    }
    // The continued files lead the list. Crossing, the decoder passes over
    // the first place (the file that led it there) whatever that place
    // says, then takes the continued files in order up to the first file of
    // the cabinet's own.
    for (size_t k = 0; k < files.size() && k < goingOn.size(); ++k) {
        if (files[k].continuesFromPrevious()) {
            continues[k] = goingOn[k];
        } else if (k > 0) {
            break;
        }
    }
    return continues;
}

}  // namespace

bool folderCompressed(const Cabinet& cabinet, uint32_t folder) {
    return folder < cabinet.folders.size() && cabArchiveCompressionMethod(cabinet.folders[folder].typeCompress, nullptr) != CabMethodStored;
}

uint32_t folderOfEntry(const Cabinet& cabinet, const FileEntry& entry) {
    if (entry.continuesIntoNext()) return uint32_t(cabinet.header.cFolders) - 1;  // wraps when none
    if (entry.continuesFromPrevious()) return 0;
    return entry.folderIndex;
}

void listEntries(CabArchive& archive, const NameDecoder& names) {
    archive.entries.clear();
    for (uint32_t c = 0; c < archive.cabinets.size(); ++c) {
        Cabinet& cabinet = archive.cabinets[c];
        cabinet.entryOfListed = continuationsOf(archive, c);
        cabinet.listedNames.clear();
        for (const FileEntry& file : cabinet.directory.entries) {
            cabinet.listedNames.push_back(names.toUtf8(file.name, file.attributes));
        }
        for (const FileEntry& file : cabinet.directory.entries) {
            if (cabinet.entryOfListed[file.listIndex] != kNoArchiveEntry) continue;
            cabinet.entryOfListed[file.listIndex] = uint32_t(archive.entries.size());
            Entry entry;
            entry.rawName = file.name;
            entry.name = names.toUtf8(file.name, file.attributes);
            entry.cabinet = c;
            entry.listIndex = file.listIndex;
            CabArchiveEntry& view = entry.view;
            view.rawNameLength = uint32_t(file.name.size());
            view.size = file.size;
            view.dosDate = file.date;
            view.dosTime = file.time;
            view.attributes = file.attributes;
            view.folder = file.folderIndex;
            view.folderOffset = file.folderOffset;
            describeMethod(cabinet, file, view);
            view.cabinet = c;
            view.continuesFromPrevious = file.continuesFromPrevious() ? 1 : 0;
            view.continuesIntoNext = file.continuesIntoNext() ? 1 : 0;
            archive.entries.push_back(std::move(entry));
        }
    }
    // The strings are final only now that the list no longer moves.
    for (Entry& entry : archive.entries) {
        entry.view.name = entry.name.c_str();
        entry.view.rawName = reinterpret_cast<const uint8_t*>(entry.rawName.c_str());
    }
    archive.outcomes.assign(archive.entries.size(), CabOutcomeNotChosen);
    archive.reasons.assign(archive.entries.size(), std::string());
}

}  // namespace cabarchive
