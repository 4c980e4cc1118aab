#include "tools/cabtool/archive_reading.h"

namespace cabtool {

ArchiveOwner openArchiveAt(const std::string& path, uint64_t offset, bool followSet,
                           std::string& problem) {
    CabArchiveOptions options;
    cabArchiveDefaultOptions(&options);
    options.offset = offset;
    options.followSet = followSet ? 1 : 0;
    CabArchive* opened = nullptr;
    CabArchiveError error{};
    if (cabArchiveOpenPath(path.c_str(), &options, &opened, &error) != CabArchiveOk) {
        problem = reasonFor(path, error.message);
        return ArchiveOwner(nullptr, &cabArchiveClose);
    }
    return ArchiveOwner(opened, &cabArchiveClose);
}

std::string reasonFor(const std::string& path, const char* message) {
    const std::string text = message;
    const std::string prefix = path + ": ";
    return text.compare(0, prefix.size(), prefix) == 0 ? text.substr(prefix.size()) : text;
}

FileEntry fileEntryOf(const CabArchive* archive, uint32_t index, const CabArchiveEntry& entry) {
    FileEntry file;
    file.name.assign(reinterpret_cast<const char*>(entry.rawName), entry.rawNameLength);
    file.size = entry.size;
    file.date = entry.dosDate;
    file.time = entry.dosTime;
    file.attributes = entry.attributes;
    file.folderIndex = entry.folder;
    file.folderOffset = entry.folderOffset;
    file.listIndex = index;  // keeps lines in the archive's order
    CabArchiveCabinet cabinet{};
    if (cabArchiveCabinet(archive, entry.cabinet, &cabinet) == CabArchiveOk) file.cabinet = cabinet.name;
    return file;
}

uint16_t typeCompressOf(const CabArchiveEntry& entry) {
    constexpr uint16_t kUnknownMethod = 0x000F;
    if (entry.method < 0) return kUnknownMethod;
    return uint16_t(uint32_t(entry.method) | (entry.windowBits << 8));
}

}  // namespace cabtool
