#include "archive/open/entry_list.h"

#include <algorithm>

namespace cabarchive {
namespace {

constexpr uint32_t kMszipWindowBits = 15;
constexpr uint16_t kMethodMask = 0x000F;
constexpr uint16_t kWindowBitsShift = 8;
constexpr uint16_t kWindowBitsMask = 0x1F;

void describeMethod(const Cabinet& cabinet, const FileEntry& file, CabArchiveEntry& view) {
    const uint32_t folder = folderOfEntry(cabinet, file);
    view.method = -1;
    view.windowBits = 0;
    if (folder >= cabinet.folders.size()) return;
    const uint16_t type = cabinet.folders[folder].typeCompress;
    switch (type & kMethodMask) {
        case CabMethodStored: view.method = CabMethodStored; break;
        case CabMethodMszip:
            view.method = CabMethodMszip;
            view.windowBits = kMszipWindowBits;
            break;
        case CabMethodQuantum:
        case CabMethodLzx:
            view.method = type & kMethodMask;
            view.windowBits = (type >> kWindowBitsShift) & kWindowBitsMask;
            break;
        default: break;
    }
}

bool listedBefore(const CabArchive& archive, uint32_t cabinet, const FileEntry& file) {
    if (cabinet == 0 || !file.continuesFromPrevious()) return false;
    const auto& earlier = archive.cabinets[cabinet - 1].directory.entries;
    return std::any_of(earlier.begin(), earlier.end(),
                       [&](const FileEntry& e) { return isSameFile(e, file); });
}

}  // namespace

bool isSameFile(const FileEntry& earlier, const FileEntry& later) {
    return earlier.continuesIntoNext() && earlier.name == later.name &&
           earlier.size == later.size && earlier.folderOffset == later.folderOffset;
}

uint32_t folderOfEntry(const Cabinet& cabinet, const FileEntry& entry) {
    if (entry.continuesIntoNext()) return uint32_t(cabinet.header.cFolders) - 1;  // wraps when none
    if (entry.continuesFromPrevious()) return 0;
    return entry.folderIndex;
}

void listEntries(CabArchive& archive, const NameDecoder& names) {
    archive.entries.clear();
    for (uint32_t c = 0; c < archive.cabinets.size(); ++c) {
        const Cabinet& cabinet = archive.cabinets[c];
        for (const FileEntry& file : cabinet.directory.entries) {
            if (listedBefore(archive, c, file)) continue;
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
