#include "archive/io/archive_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "archive/io/decoder_requests.h"
#include "codecs/quantum/quantum.h"

namespace cabarchive {
namespace {

// Open flags the decoder and codecs use (values of the low-level open of the
// platform the format comes from).
constexpr int kAccessMask = 0x0003;
constexpr int kCreateFlag = 0x0100;

// The processor type handed to cabCreate; only the Quantum codec looks at it.
constexpr int32_t kCpuType = 1;

// Names the decoder opens: "#<cabinet index>"; "*" with the create flag asks
// for the temporary file of a paged Quantum window.
constexpr char kCabinetNamePrefix = '#';

thread_local ArchiveIo* tCurrent = nullptr;

// Reads up to `count` bytes at absolute position `at` of the source.
int64_t readSource(Source& source, uint64_t at, uint8_t* buffer, uint32_t count) {
    switch (source.kind) {
        case Source::Kind::Memory: {
            if (at >= source.size) return 0;
            const uint64_t n = std::min<uint64_t>(count, source.size - at);
            std::memcpy(buffer, source.data + at, size_t(n));
            return int64_t(n);
        }
        case Source::Kind::File: {
            if (source.fd < 0) return -1;
            uint32_t done = 0;
            while (done < count) {
                const ssize_t got = pread(source.fd, buffer + done, count - done, off_t(at + done));
                if (got < 0 && errno == EINTR) continue;
                if (got < 0) return done > 0 ? int64_t(done) : -1;
                if (got == 0) break;
                done += uint32_t(got);
            }
            return done;
        }
        case Source::Kind::Stream: {
            if (source.stream.read == nullptr || source.stream.seek == nullptr) return -1;
            if (source.stream.seek(source.stream.context, int64_t(at), 0) != int64_t(at)) return -1;
            uint32_t done = 0;
            while (done < count) {
                const int32_t got = source.stream.read(source.stream.context, buffer + done, count - done);
                if (got < 0) return done > 0 ? int64_t(done) : -1;
                if (got == 0) break;
                done += std::min<uint32_t>(uint32_t(got), count - done);
            }
            return done;
        }
    }
    return -1;
}

// The size of the whole file, buffer or stream; -1 when it cannot be told.
int64_t sourceEnd(Source& source) {
    switch (source.kind) {
        case Source::Kind::Memory: return int64_t(source.size);
        case Source::Kind::File: {
            struct stat status;
            return source.fd >= 0 && fstat(source.fd, &status) == 0 ? int64_t(status.st_size) : -1;
        }
        case Source::Kind::Stream:
            return source.stream.seek != nullptr ? source.stream.seek(source.stream.context, 0, 2) : -1;
    }
    return -1;
}

void closeSource(Source& source) {
    if (source.kind == Source::Kind::File && source.fd >= 0) close(source.fd);
    if (source.kind == Source::Kind::Stream && source.stream.close != nullptr) {
        source.stream.close(source.stream.context);
    }
    source.fd = -1;
    source.stream = CabArchiveStream{};
    source.data = nullptr;
    source.size = 0;
}

}  // namespace

// The callbacks reach the archive's private state through the scope.
struct IoCallbacks {
    static void* alloc(uint32_t size) {
        ArchiveIo* io = tCurrent;
        if (io != nullptr && io->quantumWindowPages_ >= 3) {
            if (isQuantumWindowRequest(size)) return nullptr;  // page the window instead
            if (size == quantumPageAllocationSize()) {
                if (io->windowPages_.size() >= io->quantumWindowPages_) return nullptr;
                void* page = std::malloc(size);
                if (page != nullptr) io->windowPages_.insert(page);
                return page;
            }
        }
        return std::malloc(size != 0 ? size : 1);
    }

    static void release(void* block) {
        if (ArchiveIo* io = tCurrent) io->windowPages_.erase(block);
        std::free(block);
    }

    static int32_t open(const char* path, int flags, int /*mode*/) {
        ArchiveIo* io = tCurrent;
        if (io == nullptr || path == nullptr) return -1;
        if (path[0] == '*' && path[1] == '\0' && (flags & kCreateFlag) != 0) return openWindowFile(*io);
        if ((flags & kAccessMask) != 0 || (flags & kCreateFlag) != 0) return -1;
        if (path[0] != kCabinetNamePrefix || path[1] == '\0') return -1;
        char* end = nullptr;
        const unsigned long index = std::strtoul(path + 1, &end, 10);
        if (*end != '\0' || index >= io->sources_.size()) return -1;
        return io->openSource(uint32_t(index));
    }

    static int32_t openWindowFile(ArchiveIo& io) {
        const char* tmp = std::getenv("TMPDIR");
        const std::string directory = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
        std::string pattern = directory + "/cab-window-XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd < 0) {
            io.windowFileProblem_ = "cannot create the temporary file for the Quantum window in '" +
                                    directory + "': " + std::strerror(errno);
            return -1;
        }
        unlink(pattern.c_str());  // the file lives only as long as its handle
        ArchiveIo::Handle handle;
        handle.kind = ArchiveIo::Handle::Kind::WindowFile;
        handle.fd = fd;
        return io.addHandle(handle);
    }

    static int read(int32_t value, void* buffer, uint32_t count) {
        ArchiveIo* io = tCurrent;
        ArchiveIo::Handle* h = io != nullptr ? io->handle(value) : nullptr;
        if (h == nullptr || count > uint32_t(INT_MAX)) return -1;
        auto* out = static_cast<uint8_t*>(buffer);
        if (h->kind == ArchiveIo::Handle::Kind::WindowFile) {
            const ssize_t got = ::read(h->fd, out, count);
            return got < 0 ? -1 : int(got);
        }
        if (h->kind != ArchiveIo::Handle::Kind::Cabinet) return -1;
        Source& source = io->sources_[h->source];
        const int64_t got = readSource(source, source.start + h->position, out, count);
        if (got < 0) return -1;
        if (got > 0 && !source.ignoredChecksums.empty()) {
            clearIgnoredChecksums(source.ignoredChecksums, h->position, out, uint32_t(got));
        }
        h->position += uint64_t(got);
        return int(got);
    }

    static int write(int32_t value, const void* buffer, uint32_t count) {
        ArchiveIo* io = tCurrent;
        ArchiveIo::Handle* h = io != nullptr ? io->handle(value) : nullptr;
        if (h == nullptr || count > uint32_t(INT_MAX)) return -1;
        if (h->kind == ArchiveIo::Handle::Kind::Output) {
            if (h->target == nullptr) return int(count);
            return h->target->write(static_cast<const uint8_t*>(buffer), count) ? int(count) : -1;
        }
        if (h->kind != ArchiveIo::Handle::Kind::WindowFile) return -1;
        const auto* in = static_cast<const uint8_t*>(buffer);
        uint32_t done = 0;
        while (done < count) {
            const ssize_t put = ::write(h->fd, in + done, count - done);
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return done > 0 ? int(done) : -1;
            done += uint32_t(put);
        }
        return int(done);
    }

    static int close(int32_t value) {
        ArchiveIo* io = tCurrent;
        if (io == nullptr || io->handle(value) == nullptr) return -1;
        io->closeHandle(value);
        return 0;
    }

    static int32_t seek(int32_t value, int32_t offset, int origin) {
        ArchiveIo* io = tCurrent;
        ArchiveIo::Handle* h = io != nullptr ? io->handle(value) : nullptr;
        if (h == nullptr) return -1;
        if (h->kind == ArchiveIo::Handle::Kind::WindowFile) {
            const int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
            const off_t at = lseek(h->fd, off_t(offset), whence);
            return at < 0 || at > off_t(INT32_MAX) ? -1 : int32_t(at);
        }
        if (h->kind != ArchiveIo::Handle::Kind::Cabinet) return -1;
        int64_t base = 0;
        if (origin == 1) {
            base = int64_t(h->position);
        } else if (origin == 2) {
            Source& source = io->sources_[h->source];
            const int64_t end = sourceEnd(source);
            if (end < 0) return -1;
            base = end - int64_t(source.start);
        } else if (origin != 0) {
            return -1;
        }
        const int64_t position = base + offset;
        // Never before the cabinet's start, never beyond what the decoder counts.
        if (position < 0 || position > int64_t(INT32_MAX)) return -1;
        h->position = uint64_t(position);
        return int32_t(position);
    }
};

std::string cabinetHandleName(uint32_t index) { return kCabinetNamePrefix + std::to_string(index); }

ArchiveIo::~ArchiveIo() {
    for (size_t i = 0; i < handles_.size(); ++i) closeHandle(int32_t(i + 1));
    if (borrowed_) return;
    for (Source& source : sources_) closeSource(source);
}

void ArchiveIo::borrowSources(const ArchiveIo& owner) {
    sources_ = owner.sources_;
    borrowed_ = true;
    quantumWindowPages_ = owner.quantumWindowPages_;
}

bool ArchiveIo::sourcesReadableAtOnce() const {
    for (const Source& source : sources_) {
        if (source.kind == Source::Kind::Stream) return false;
    }
    return true;
}

uint32_t ArchiveIo::addSource(Source source) {
    sources_.push_back(std::move(source));
    return uint32_t(sources_.size() - 1);
}

void ArchiveIo::dropSource(uint32_t index) { closeSource(sources_[index]); }

int32_t ArchiveIo::addHandle(Handle handle) {
    for (size_t i = 0; i < handles_.size(); ++i) {
        if (handles_[i].kind == Handle::Kind::Free) {
            handles_[i] = handle;
            return int32_t(i + 1);
        }
    }
    handles_.push_back(handle);
    return int32_t(handles_.size());
}

ArchiveIo::Handle* ArchiveIo::handle(int32_t value) {
    if (value <= 0 || size_t(value) > handles_.size()) return nullptr;
    Handle& h = handles_[size_t(value) - 1];
    return h.kind == Handle::Kind::Free ? nullptr : &h;
}

int32_t ArchiveIo::openOutput(OutputTarget* target) {
    Handle h;
    h.kind = Handle::Kind::Output;
    h.target = target;
    return addHandle(h);
}

int32_t ArchiveIo::openSource(uint32_t index) {
    if (index >= sources_.size()) return -1;
    const Source& source = sources_[index];
    const bool open = source.kind == Source::Kind::Memory ? source.data != nullptr
                      : source.kind == Source::Kind::File ? source.fd >= 0
                                                          : source.stream.read != nullptr;
    if (!open) return -1;
    Handle h;
    h.kind = Handle::Kind::Cabinet;
    h.source = index;
    return addHandle(h);
}

bool ArchiveIo::readRaw(uint32_t index, uint64_t position, uint8_t* buffer, size_t count) {
    if (index >= sources_.size() || count > UINT32_MAX) return false;
    Source& source = sources_[index];
    return readSource(source, source.start + position, buffer, uint32_t(count)) == int64_t(count);
}

void ArchiveIo::closeHandle(int32_t value) {
    Handle* h = handle(value);
    if (h == nullptr) return;
    if (h->kind == Handle::Kind::WindowFile && h->fd >= 0) ::close(h->fd);
    *h = Handle{};
}

std::string ArchiveIo::takeWindowFileProblem() {
    std::string problem;
    problem.swap(windowFileProblem_);
    return problem;
}

const CabIoCallbacks& ArchiveIo::callbacks() {
    static const CabIoCallbacks kCallbacks{IoCallbacks::alloc, IoCallbacks::release,
                                           IoCallbacks::open,  IoCallbacks::read,
                                           IoCallbacks::write, IoCallbacks::close,
                                           IoCallbacks::seek};
    return kCallbacks;
}

CabDecoder* ArchiveIo::createDecoder(CabError* error) {
    const CabIoCallbacks& c = callbacks();
    return cabCreate(c.alloc, c.free, c.open, c.read, c.write, c.close, c.seek, kCpuType, error);
}

IoScope::IoScope(ArchiveIo& io) : previous_(tCurrent) { tCurrent = &io; }

IoScope::~IoScope() { tCurrent = previous_; }

}  // namespace cabarchive
