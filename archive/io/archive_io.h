// The decoder's memory and file callbacks for one archive. The callbacks
// take no context, so each call into the decoder or the directory reader is
// made inside an IoScope, which points this thread's callbacks at the
// archive's own I/O state: its sources, its handle table, its salvage
// overrides and its Quantum window budget. Nothing is shared between
// archives or threads.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "archive/cab_archive.h"
#include "cab/cab.h"

namespace cabarchive {

// Where one cabinet's bytes come from. Positions the decoder sees count from
// `start`, so a cabinet stored inside another file reads as if on its own.
struct Source {
    enum class Kind { File, Memory, Stream };
    Kind kind = Kind::File;
    int fd = -1;                       // File: owned, closed with the archive
    const uint8_t* data = nullptr;     // Memory: the client's buffer
    uint64_t size = 0;                 // Memory: its size
    CabArchiveStream stream{};         // Stream: owned, closed with the archive
    uint64_t start = 0;                // where the cabinet begins
    // Salvage: cabinet positions of the csum fields read as 0, so that
    // blocks whose checksum does not match are decoded anyway.
    std::vector<uint32_t> ignoredChecksums;
};

// What the decoder writes an extracted file's bytes to. The write returns
// false to stop the extraction.
struct OutputTarget {
    virtual bool write(const uint8_t* data, uint32_t size) = 0;

protected:
    ~OutputTarget() = default;
};

// The name the decoder is given for the archive's cabinet `index`: the open
// callback turns it back into the source.
std::string cabinetHandleName(uint32_t index);

class ArchiveIo {
public:
    ArchiveIo() = default;
    ArchiveIo(const ArchiveIo&) = delete;
    ArchiveIo& operator=(const ArchiveIo&) = delete;
    // Closes every source and every handle still open.
    ~ArchiveIo();

    // Reads the sources of `owner` without owning them (a worker's own
    // handles and window budget over the same cabinets): only for archives
    // whose sources all tolerate reads from several threads at once.
    void borrowSources(const ArchiveIo& owner);
    // True when every source is a file or memory, read by position alone:
    // a client's stream has one position and cannot be shared.
    bool sourcesReadableAtOnce() const;

    // Adds a source and returns its index. The archive owns it from now on.
    uint32_t addSource(Source source);
    Source& source(uint32_t index) { return sources_[index]; }
    uint32_t sourceCount() const { return uint32_t(sources_.size()); }
    // Closes the source's file or stream now (a cabinet that does not belong
    // to the archive after all); later opens of it fail.
    void dropSource(uint32_t index);

    // 3 or more: Quantum windows are paged through at most that many 32 KB
    // buffers; otherwise they are held whole.
    void setQuantumWindowPages(uint32_t pages) { quantumWindowPages_ = pages; }

    // An output handle writing to `target`, or one discarding what it gets
    // when `target` is null; released by the decoder's close.
    int32_t openOutput(OutputTarget* target);

    // Why the temporary file for a paged Quantum window could not be made
    // since the last call, or empty.
    std::string takeWindowFileProblem();

    // Reads `count` bytes at `position` from the start of source `index`'s
    // cabinet, as stored (no checksum read as 0); false when they cannot
    // all be read.
    bool readRaw(uint32_t index, uint64_t position, uint8_t* buffer, size_t count);

    // A handle reading source `index` from its cabinet's start, for the
    // directory reader; closed with closeHandle. -1 when it cannot be had.
    int32_t openSource(uint32_t index);
    void closeHandle(int32_t handle);

    // The decoder's callbacks, working on the archive of the current scope.
    static const CabIoCallbacks& callbacks();

    // A decoder over these callbacks, created and destroyed inside scopes.
    CabDecoder* createDecoder(CabError* error);

private:
    friend struct IoCallbacks;
    struct Handle {
        enum class Kind { Free, Cabinet, WindowFile, Output } kind = Kind::Free;
        uint32_t source = 0;
        uint64_t position = 0;      // Cabinet: from the cabinet's start
        int fd = -1;                // WindowFile
        OutputTarget* target = nullptr;  // Output: null discards
    };
    int32_t addHandle(Handle handle);
    Handle* handle(int32_t value);

    std::vector<Source> sources_;
    bool borrowed_ = false;  // the sources belong to another ArchiveIo
    std::vector<Handle> handles_;
    uint32_t quantumWindowPages_ = 0;
    std::unordered_set<void*> windowPages_;
    std::string windowFileProblem_;
};

// For its lifetime, the callbacks of this thread work on `io`. Scopes nest:
// the previous archive is restored at the end.
class IoScope {
public:
    explicit IoScope(ArchiveIo& io);
    ~IoScope();
    IoScope(const IoScope&) = delete;
    IoScope& operator=(const IoScope&) = delete;

private:
    ArchiveIo* previous_;
};

}  // namespace cabarchive
