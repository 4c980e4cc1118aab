#include "tools/cabtool/commands/archive_reading.h"

#include <cstdlib>

namespace cabtool {
namespace {

// Diagnostic QMORA_QUANTUM_PAGES=N (N >= 3): Quantum folders are decoded
// through at most N window pages and a temporary file; 0 otherwise.
uint32_t quantumPagesWanted() {
    const char* value = std::getenv("QMORA_QUANTUM_PAGES");
    char* end = nullptr;
    const long pages = value != nullptr ? std::strtol(value, &end, 10) : 0;
    return value != nullptr && end != value && *end == '\0' && pages >= 3 && pages <= 0xFFFFFFFFL
               ? uint32_t(pages)
               : 0;
}

}  // namespace

ArchiveOwner openArchiveAt(const std::string& path, uint64_t offset, bool followSet,
                           const std::string& codePage, std::string& problem) {
    CabArchiveOptions options;
    cabArchiveDefaultOptions(&options);
    options.offset = offset;
    options.followSet = followSet ? 1 : 0;
    options.quantumWindowPages = quantumPagesWanted();
    options.codePage = codePage.empty() ? nullptr : codePage.c_str();
    CabArchive* opened = nullptr;
    CabArchiveError error{};
    if (cabArchiveOpenPath(path.c_str(), &options, &opened, &error) != CabArchiveOk) {
        problem = reasonFor(path, error.message);
        return ArchiveOwner(nullptr, &cabArchiveClose);
    }
    return ArchiveOwner(opened, &cabArchiveClose);
}

std::vector<CabArchiveProblem> problemsOf(const CabArchive* archive) {
    std::vector<CabArchiveProblem> problems(cabArchiveProblemCount(archive));
    for (uint32_t p = 0; p < problems.size(); ++p) {
        problems[p].size = sizeof(CabArchiveProblem);
        cabArchiveProblem(archive, p, &problems[p]);
    }
    return problems;
}

std::string reasonFor(const std::string& path, const char* message) {
    const std::string text = message;
    const std::string prefix = path + ": ";
    return text.compare(0, prefix.size(), prefix) == 0 ? text.substr(prefix.size()) : text;
}

FileEntry fileEntryOf(const CabArchive* archive, uint32_t index, const CabArchiveEntry& entry) {
    FileEntry file;
    file.name.assign(reinterpret_cast<const char*>(entry.rawName), entry.rawNameLength);
    file.text = entry.name;
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
