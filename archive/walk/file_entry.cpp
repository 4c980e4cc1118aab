#include "archive/walk/file_entry.h"

namespace cabarchive {

FileEntry fileEntryOf(const CabFileRecord& record, const std::string& cabinet, uint32_t listIndex,
                      int32_t position) {
    FileEntry entry;
    entry.cabinet = cabinet;
    entry.name = record.name;
    entry.size = record.cbFile;
    entry.date = record.date;
    entry.time = record.time;
    entry.attributes = record.attribs;
    entry.folderIndex = record.iFolder;
    entry.folderOffset = record.uoffFolderStart;
    entry.listIndex = listIndex;
    entry.position = position;
    return entry;
}

}  // namespace cabarchive
