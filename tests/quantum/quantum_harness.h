// Drives a Quantum instance the way the cabinet decoder does, over an
// allocator that can refuse the one-piece window and ration page buffers,
// and an in-memory spill file whose seek, read or write can be made to fail.
#pragma once

#include "codecs/quantum/quantum.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace qharness {

using Bytes = std::vector<uint8_t>;

// What the allocator grants; tests run one at a time, so one policy serves.
struct AllocPolicy {
    bool refuseWindow = false;  // refuse every one-piece window
    int pageBuffers = -1;       // page buffers still granted; -1 for any number
    bool refuseAll = false;
};
inline AllocPolicy allocPolicy;

inline bool isWindowRequest(uint32_t size) {
    for (uint32_t bits = kQuantumMinWindowBits; bits <= kQuantumMaxWindowBits; ++bits) {
        if (size == quantumWindowAllocationSize(bits)) return true;
    }
    return false;
}

inline void* testAlloc(uint32_t size) {
    if (allocPolicy.refuseAll) return nullptr;
    if (allocPolicy.refuseWindow && isWindowRequest(size)) return nullptr;
    if (size == quantumPageAllocationSize() && allocPolicy.pageBuffers >= 0) {
        if (allocPolicy.pageBuffers == 0) return nullptr;
        --allocPolicy.pageBuffers;
    }
    return std::malloc(size);
}
inline void testFree(void* block) { std::free(block); }

// Spill files kept in memory, with counts of page transfers and switches
// that make the next calls fail.
struct SpillFiles {
    struct File {
        Bytes data;
        int64_t position = 0;
        bool closed = false;
    };
    std::map<int32_t, File> files;
    int32_t nextHandle = 100;
    uint32_t requestedSize = 0;  // the size the last open request carried
    int flags = 0, mode = 0;
    int reads = 0, writes = 0, opens = 0;
    bool refuseOpen = false, failSeek = false, failRead = false, failWrite = false;
    bool shortRead = false, shortWrite = false;
};
inline SpillFiles spill;

inline int32_t spillOpen(const char* name, int flags, int mode) {
    ++spill.opens;
    if (spill.refuseOpen || name[0] != '*' || name[1] != 0) return -1;
    std::memcpy(&spill.requestedSize, name + 2, 4);  // little-endian, as on the machines we run
    spill.flags = flags;
    spill.mode = mode;
    const int32_t handle = spill.nextHandle++;
    spill.files[handle] = {};
    return handle;
}
inline int spillRead(int32_t handle, void* buffer, uint32_t count) {
    ++spill.reads;
    if (spill.failRead) return -1;
    SpillFiles::File& f = spill.files.at(handle);
    if (spill.shortRead) count /= 2;
    uint32_t got = 0;
    for (; got < count && size_t(f.position) + got < f.data.size(); ++got) {
        static_cast<uint8_t*>(buffer)[got] = f.data[size_t(f.position) + got];
    }
    f.position += got;
    return int(got);
}
inline int spillWrite(int32_t handle, const void* buffer, uint32_t count) {
    ++spill.writes;
    if (spill.failWrite) return -1;
    SpillFiles::File& f = spill.files.at(handle);
    if (spill.shortWrite) count /= 2;
    if (f.data.size() < size_t(f.position) + count) f.data.resize(size_t(f.position) + count);
    std::memcpy(f.data.data() + f.position, buffer, count);
    f.position += count;
    return int(count);
}
inline int spillClose(int32_t handle) {
    spill.files.at(handle).closed = true;
    return 0;
}
inline int32_t spillSeek(int32_t handle, int32_t offset, int origin) {
    if (spill.failSeek) return -1;
    SpillFiles::File& f = spill.files.at(handle);
    f.position = origin == 0 ? offset : f.position + offset;
    return int32_t(f.position);
}
inline const CodecFileCallbacks spillCallbacks = {spillOpen, spillRead, spillWrite, spillClose,
                                                  spillSeek};

// Resets the allocator and the spill files to their defaults.
inline void resetEnvironment() {
    allocPolicy = {};
    spill = {};
}

struct Instance {
    void* handle = nullptr;
    int createResult = CodecOk;
    Bytes output;

    // pageBuffers < 0: the one-piece window; otherwise a paged window with
    // at most that many buffers (0 for as many as it asks for).
    explicit Instance(uint32_t windowBits, int pageBuffers = -1, uint32_t maxBlock = 32768) {
        CodecParams params{};
        params.windowBits = windowBits;
        params.cpuType = 1;
        uint32_t inputSize = 0;
        allocPolicy.refuseWindow = pageBuffers >= 0;
        allocPolicy.pageBuffers = pageBuffers > 0 ? pageBuffers : -1;
        createResult = quantumCreate(&maxBlock, &params, testAlloc, testFree, &inputSize, &handle,
                                     &spillCallbacks);
        allocPolicy.refuseWindow = false;
        allocPolicy.pageBuffers = -1;
    }
    ~Instance() {
        if (handle != nullptr) quantumDestroy(handle);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // Decodes one block from an allocation of exactly its size, so a read
    // past its end is caught by the address sanitizer. The output buffer is
    // exactly the size asked for, for the same reason.
    int decode(const Bytes& block, uint32_t outputSize) {
        uint8_t* exact = static_cast<uint8_t*>(std::malloc(block.empty() ? 1 : block.size()));
        if (!block.empty()) std::memcpy(exact, block.data(), block.size());
        uint8_t* out = static_cast<uint8_t*>(std::malloc(outputSize == 0 ? 1 : outputSize));
        std::memset(out, 0xEE, outputSize);
        uint32_t size = outputSize;
        const int result = quantumDecompress(handle, exact, uint32_t(block.size()), out, &size);
        output.assign(out, out + outputSize);
        std::free(out);
        std::free(exact);
        return result;
    }
    int reset() { return quantumReset(handle); }
};

}  // namespace qharness
