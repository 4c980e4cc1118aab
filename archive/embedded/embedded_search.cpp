#include "archive/embedded/embedded_search.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "archive/embedded/cabinet_header.h"


namespace cabarchive {
namespace {

constexpr char kSignature[4] = {'M', 'S', 'C', 'F'};
// A candidate may declare 65,535 folder records, and hand-made candidates
// can share one table, so the records looked at across a search are
// bounded by the file's size: a few per byte is far more than any file of
// real cabinets needs, and keeps a hostile file from taking hours.
constexpr uint64_t kFolderChecksPerByte = 4;
constexpr uint64_t kLeastFolderChecks = uint64_t(1) << 20;

// Unmaps and closes whatever it holds when the search ends.
struct MappedFile {
    int fd = -1;
    void* data = MAP_FAILED;
    size_t size = 0;
    ~MappedFile() {
        if (data != MAP_FAILED) munmap(data, size);
        if (fd >= 0) close(fd);
    }
};

}  // namespace

bool findEmbeddedCabinets(const std::string& path, std::vector<EmbeddedCabinet>& found,
                          std::string& problem) {
    found.clear();
    problem.clear();
    MappedFile file;
    file.fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat status;
    if (file.fd < 0 || fstat(file.fd, &status) != 0) {
        problem = "cannot open: " + std::string(std::strerror(errno));
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        problem = "not a regular file";
        return false;
    }
    file.size = size_t(status.st_size);
    if (file.size == 0) return true;
    file.data = mmap(nullptr, file.size, PROT_READ, MAP_PRIVATE, file.fd, 0);
    if (file.data == MAP_FAILED) {
        problem = "cannot read: " + std::string(std::strerror(errno));
        return false;
    }
    madvise(file.data, file.size, MADV_SEQUENTIAL);

    findEmbeddedCabinetsIn(static_cast<const uint8_t*>(file.data), file.size, found, problem);
    return true;
}

void findEmbeddedCabinetsIn(const uint8_t* bytes, size_t size, std::vector<EmbeddedCabinet>& found,
                            std::string& problem) {
    const uint64_t folderChecksAllowed =
        std::max(kLeastFolderChecks, kFolderChecksPerByte * uint64_t(size));
    uint64_t folderChecks = 0;
    size_t at = 0;
    while (at + sizeof kSignature <= size) {
        const void* hit = memmem(bytes + at, size - at, kSignature, sizeof kSignature);
        if (hit == nullptr) break;
        const size_t offset = size_t(static_cast<const uint8_t*>(hit) - bytes);
        if (folderChecks > folderChecksAllowed) {
            problem = "search stopped at offset " + std::to_string(offset) +
                      ": too many candidate cabinet headers declaring large folder tables";
            return;
        }
        CabinetHeader header;
        if (isSoundCabinet(bytes + offset, size - offset, header, &folderChecks)) {
            found.push_back({offset, header.cabinetSize});
            at = offset + header.cabinetSize;
        } else {
            at = offset + 1;
        }
    }
}

}  // namespace cabarchive
