#include "tools/cabtool/posix_io.h"

#include "codecs/quantum/quantum.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <algorithm>
#include <map>
#include <string>
#include <unordered_set>

#include "archive/io/decoder_requests.h"
#include "tools/cabtool/cabinet_files.h"
#include "tools/cabtool/cabinet_offsets.h"
#include "tools/cabtool/messages.h"
#include "tools/cabtool/progress.h"

namespace cabtool {
namespace {

// Open flags the decoder and codecs use (values of the low-level open of the
// platform the format comes from).
constexpr int kAccessMask = 0x0003;  // 0 read-only, 1 write-only, 2 read-write
constexpr int kCreateFlag = 0x0100;

// The processor type handed to cabCreate; only the Quantum codec looks at it.
constexpr int32_t kCpuType = 1;

// A Quantum window that does not fit in memory at once is paged to a
// temporary file, requested by the name "*" with the create flag.
bool isSpillFileRequest(const char* path, int flags) {
    return path[0] == '*' && path[1] == '\0' && (flags & kCreateFlag) != 0;
}

std::string& windowFileProblem() {
    static std::string problem;
    return problem;
}

int32_t openSpillFile() {
    const char* tmp = std::getenv("TMPDIR");
    const std::string directory = tmp && *tmp ? tmp : "/tmp";
    std::string pattern = directory + "/cabtool-window-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
        windowFileProblem() = "cannot create the temporary file for the Quantum window in '" +
                              directory + "': " + describeErrno(errno);
        return -1;
    }
    unlink(pattern.c_str());  // the file lives only as long as its handle
    forgetCabinetHandle(fd);  // positions in it count from its own start
    return fd;
}

// Diagnostic QMORA_QUANTUM_PAGES=N (N >= 3): the one-piece Quantum window is
// refused and at most N window page buffers are live at once, so Quantum
// folders are decoded through the paged window and its spill file.
struct PagedWindowDiagnostic {
    bool active = false;
    size_t maxPages = 0;
    std::unordered_set<void*> pages;
};

PagedWindowDiagnostic& pagedWindowDiagnostic() {
    static PagedWindowDiagnostic diagnostic = [] {
        PagedWindowDiagnostic d;
        const char* value = std::getenv("QMORA_QUANTUM_PAGES");
        char* end = nullptr;
        const long pages = value != nullptr ? std::strtol(value, &end, 10) : 0;
        if (value != nullptr && end != value && *end == '\0' && pages >= 3) {
            d.active = true;
            d.maxPages = size_t(pages);
        }
        return d;
    }();
    return diagnostic;
}

// Salvage: the csum fields read as 0, by cabinet path, and the handles open
// on those cabinets.
std::map<std::string, std::vector<uint32_t>>& ignoredChecksums() {
    static std::map<std::string, std::vector<uint32_t>> byPath;
    return byPath;
}

std::map<int32_t, const std::vector<uint32_t>*>& handlesIgnoringChecksums() {
    static std::map<int32_t, const std::vector<uint32_t>*> byHandle;
    return byHandle;
}

void* ioAlloc(uint32_t size) {
    PagedWindowDiagnostic& paged = pagedWindowDiagnostic();
    if (paged.active) {
        if (cabarchive::isQuantumWindowRequest(size)) return nullptr;
        if (size == quantumPageAllocationSize()) {
            if (paged.pages.size() >= paged.maxPages) return nullptr;
            void* page = std::malloc(size);
            if (page != nullptr) paged.pages.insert(page);
            return page;
        }
    }
    return std::malloc(size != 0 ? size : 1);
}

void ioFree(void* block) {
    PagedWindowDiagnostic& paged = pagedWindowDiagnostic();
    if (paged.active) paged.pages.erase(block);
    std::free(block);
}

int32_t ioOpen(const char* path, int flags, int /*mode*/) {
    if (path == nullptr) return -1;
    if (isSpillFileRequest(path, flags)) return openSpillFile();
    // The decoder reads cabinets only; output files are made by the
    // notification handlers, never through this callback.
    if ((flags & kAccessMask) != 0 || (flags & kCreateFlag) != 0) return -1;
    // Only regular files: a FIFO named as a cabinet must not block the walk.
    std::string problem;
    const int32_t fd = openRegularFile(path, problem);
    const auto ignored = ignoredChecksums().find(path);
    if (fd >= 0 && ignored != ignoredChecksums().end()) handlesIgnoringChecksums()[fd] = &ignored->second;
    return fd;
}

int ioReadPlain(int32_t handle, void* buffer, uint32_t count) {
    if (count > uint32_t(INT_MAX)) return -1;
    auto* out = static_cast<char*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        const ssize_t got = read(handle, out + done, count - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return done > 0 ? int(done) : -1;
        if (got == 0) break;  // end of file
        done += uint32_t(got);
    }
    return int(done);
}

int ioRead(int32_t handle, void* buffer, uint32_t count) {
    const auto ignoring = handlesIgnoringChecksums().find(handle);
    if (ignoring == handlesIgnoringChecksums().end()) return ioReadPlain(handle, buffer, count);
    const int64_t at = seekInCabinet(handle, 0, 1);
    const int got = ioReadPlain(handle, buffer, count);
    if (got > 0 && at >= 0) {
        cabarchive::clearIgnoredChecksums(*ignoring->second, uint64_t(at), static_cast<uint8_t*>(buffer),
                                          uint32_t(got));
    }
    return got;
}

int ioWrite(int32_t handle, const void* buffer, uint32_t count) {
    if (count > uint32_t(INT_MAX)) return -1;
    if (handle == kDiscardHandle) return int(count);
    const auto* in = static_cast<const char*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        const ssize_t put = write(handle, in + done, count - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return done > 0 ? int(done) : -1;
        done += uint32_t(put);
    }
    return int(done);
}

// Every byte decoded into a file goes through here: the progress line counts it.
int ioWriteCounted(int32_t handle, const void* buffer, uint32_t count) {
    const int written = ioWrite(handle, buffer, count);
    if (written > 0 && activeProgress() != nullptr) activeProgress()->addBytes(uint32_t(written));
    return written;
}

int ioClose(int32_t handle) {
    if (handle == kDiscardHandle) return 0;
    forgetCabinetHandle(handle);
    handlesIgnoringChecksums().erase(handle);
    return close(handle);
}

// Positions count from the cabinet's start: the file's own, unless the
// cabinet lies inside another file.
int32_t ioSeek(int32_t handle, int32_t offset, int origin) {
    int64_t position;
    switch (origin) {
        case 0:
        case 1: position = seekInCabinet(handle, offset, origin); break;
        case 2: position = lseek(handle, offset, SEEK_END); break;
        default: return -1;
    }
    if (position < 0 || position > int64_t(INT32_MAX)) return -1;
    return int32_t(position);
}

}  // namespace

CabDecoderOwner createPosixDecoder(CabError* error) {
    const CabIoCallbacks& c = posixCallbacks();
    return CabDecoderOwner(
        cabCreate(c.alloc, c.free, c.open, c.read, c.write, c.close, c.seek, kCpuType, error));
}

const CabIoCallbacks& posixCallbacks() {
    static const CabIoCallbacks kCallbacks{ioAlloc, ioFree,  ioOpen, ioRead,
                                           ioWriteCounted, ioClose, ioSeek};
    return kCallbacks;
}

void ignoreChecksumsAt(const std::string& path, const std::vector<uint32_t>& csumOffsets) {
    ignoredChecksums()[path] = csumOffsets;
}

bool ignoresChecksumsIn(const std::string& path) {
    const auto found = ignoredChecksums().find(path);
    return found != ignoredChecksums().end() && !found->second.empty();
}

std::string takeWindowFileProblem() {
    std::string problem;
    problem.swap(windowFileProblem());
    return problem;
}

}  // namespace cabtool
