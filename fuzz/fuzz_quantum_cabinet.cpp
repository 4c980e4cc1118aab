// Cabinets with Quantum folders through cabCreate / cabExtract, with the
// Quantum window in memory or paged.
//
// Input: byte 0 picks the allocator: bit 0 clear gives every allocation;
// set refuses the one-piece Quantum window and grants at most
// 3 + (b >> 1 & 7) window page buffers, so folders decode through the paged
// store and an in-memory spill file. The rest is the only cabinet
// (memory_cabinet.h).
#include "cab/cab.h"
#include "codecs/quantum/quantum.h"
#include "fuzz/memory_cabinet.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool pagedWindow = false;
size_t pageLimit = 0, pagesGranted = 0;

// The spill file the paged window asks for, in memory.
constexpr int32_t kSpillHandle = 200;
std::vector<uint8_t> spill;
int64_t spillPosition = 0;
bool spillOpen = false;

bool isWindowRequest(uint32_t size) {
    for (uint32_t bits = kQuantumMinWindowBits; bits <= kQuantumMaxWindowBits; ++bits) {
        if (size == quantumWindowAllocationSize(bits)) return true;
    }
    return false;
}

void* fuzzAlloc(uint32_t size) {
    if (pagedWindow) {
        if (isWindowRequest(size)) return nullptr;
        // A budget over the whole run: enough for a few instances.
        if (size == quantumPageAllocationSize() && pagesGranted++ >= pageLimit) return nullptr;
    }
    return fuzzcab::allocate(size);
}

int32_t fuzzOpen(const char* name, int, int) {
    if (name[0] == '*' && name[1] == 0) {
        if (spillOpen) return -1;
        spillOpen = true;
        spill.clear();
        spillPosition = 0;
        return kSpillHandle;
    }
    return fuzzcab::openCabinet();
}

int fuzzRead(int32_t h, void* buffer, uint32_t count) {
    if (h == kSpillHandle && spillOpen) {
        if (spillPosition + count > int64_t(spill.size())) return -1;
        std::memcpy(buffer, spill.data() + spillPosition, count);
        spillPosition += count;
        return int(count);
    }
    return fuzzcab::readCabinet(h, buffer, count);
}

int fuzzWrite(int32_t h, const void* buffer, uint32_t count) {
    if (h == kSpillHandle && spillOpen) {
        if (spill.size() < size_t(spillPosition) + count) spill.resize(size_t(spillPosition) + count);
        std::memcpy(spill.data() + spillPosition, buffer, count);
        spillPosition += count;
        return int(count);
    }
    return fuzzcab::discardOutput(h, count);
}

int fuzzClose(int32_t h) {
    if (h == kSpillHandle && spillOpen) {
        spillOpen = false;
        return 0;
    }
    return fuzzcab::closeCabinet(h);
}

int32_t fuzzSeek(int32_t h, int32_t offset, int origin) {
    if (h == kSpillHandle && spillOpen) {
        if (origin != 0 || offset < 0) return -1;
        spillPosition = offset;
        return offset;
    }
    return fuzzcab::seekCabinet(h, offset, origin);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    pagedWindow = (data[0] & 1) != 0;
    pageLimit = 3 + ((data[0] >> 1) & 7);
    pagesGranted = 0;
    fuzzcab::useCabinet(data + 1, size - 1);
    spillOpen = false;
    CabError error{};
    CabDecoder* decoder = cabCreate(fuzzAlloc, fuzzcab::release, fuzzOpen, fuzzRead, fuzzWrite, fuzzClose,
                                    fuzzSeek, 1, &error);
    if (decoder == nullptr) return 0;
    cabExtract(decoder, "fuzz.cab", "", fuzzcab::notify, nullptr, nullptr);
    cabDestroy(decoder);
    // The spill file lives as long as the codec instance that asked for it.
    if (spillOpen) std::abort();
    fuzzcab::checkReleased();
    return 0;
}
