// Cabinets with Quantum folders through cabCreate / cabExtract, with the
// Quantum window in memory or paged.
//
// Input: byte 0 picks the allocator: bit 0 clear gives every allocation;
// set refuses the one-piece Quantum window and grants at most
// 3 + (b >> 1 & 7) window page buffers, so folders decode through the paged
// store and an in-memory spill file. The rest is the only cabinet: every
// open of a cabinet reads it; outputs are discarded; a next cabinet is never
// supplied. Memory comes from malloc/free, so leaks are seen.
#include "cab/cab.h"
#include "codecs/quantum/quantum.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const uint8_t* cabinetData = nullptr;
size_t cabinetSize = 0;
bool pagedWindow = false;
size_t pageLimit = 0, pagesGranted = 0;

constexpr int32_t kFirstCabinetHandle = 10;
constexpr int32_t kCabinetHandles = 8;
constexpr int32_t kOutputHandle = 100;
constexpr int32_t kSpillHandle = 200;
int64_t positions[kCabinetHandles];
bool opened[kCabinetHandles];
std::vector<uint8_t> spill;
int64_t spillPosition = 0;
bool spillOpen = false;

bool isCabinetHandle(int32_t h) {
    return h >= kFirstCabinetHandle && h < kFirstCabinetHandle + kCabinetHandles &&
           opened[h - kFirstCabinetHandle];
}

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
    return std::malloc(size ? size : 1);
}
void fuzzFree(void* block) { std::free(block); }

int32_t fuzzOpen(const char* name, int, int) {
    if (name[0] == '*' && name[1] == 0) {
        if (spillOpen) return -1;
        spillOpen = true;
        spill.clear();
        spillPosition = 0;
        return kSpillHandle;
    }
    for (int32_t i = 0; i < kCabinetHandles; ++i) {
        if (!opened[i]) {
            opened[i] = true;
            positions[i] = 0;
            return kFirstCabinetHandle + i;
        }
    }
    return -1;
}

int fuzzRead(int32_t h, void* buffer, uint32_t count) {
    if (h == kSpillHandle && spillOpen) {
        if (spillPosition + count > int64_t(spill.size())) return -1;
        std::memcpy(buffer, spill.data() + spillPosition, count);
        spillPosition += count;
        return int(count);
    }
    if (!isCabinetHandle(h)) return -1;
    int64_t& position = positions[h - kFirstCabinetHandle];
    if (position >= int64_t(cabinetSize)) return 0;
    size_t n = count;
    if (n > cabinetSize - size_t(position)) n = cabinetSize - size_t(position);
    std::memcpy(buffer, cabinetData + position, n);
    position += int64_t(n);
    return int(n);
}

int fuzzWrite(int32_t h, const void* buffer, uint32_t count) {
    if (h == kSpillHandle && spillOpen) {
        if (spill.size() < size_t(spillPosition) + count) spill.resize(size_t(spillPosition) + count);
        std::memcpy(spill.data() + spillPosition, buffer, count);
        spillPosition += count;
        return int(count);
    }
    return h == kOutputHandle ? int(count) : -1;
}

int fuzzClose(int32_t h) {
    if (h == kOutputHandle) return 0;
    if (h == kSpillHandle && spillOpen) {
        spillOpen = false;
        return 0;
    }
    if (!isCabinetHandle(h)) return -1;
    opened[h - kFirstCabinetHandle] = false;
    return 0;
}

int32_t fuzzSeek(int32_t h, int32_t offset, int origin) {
    if (h == kSpillHandle && spillOpen) {
        if (origin != 0 || offset < 0) return -1;
        spillPosition = offset;
        return offset;
    }
    if (!isCabinetHandle(h)) return -1;
    int64_t& position = positions[h - kFirstCabinetHandle];
    int64_t target = (origin == 0 ? 0 : origin == 1 ? position : int64_t(cabinetSize)) + offset;
    if (target < 0 || target > INT32_MAX) return -1;
    position = target;
    return int32_t(target);
}

int notify(int kind, CabNotification* n) {
    switch (kind) {
        case OpenOutput: return kOutputHandle;
        case CloseOutput: return n->fileHandle == kOutputHandle ? 1 : 0;
        case NeedCabinet: return -1;
        default: return 0;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    pagedWindow = (data[0] & 1) != 0;
    pageLimit = 3 + ((data[0] >> 1) & 7);
    pagesGranted = 0;
    cabinetData = data + 1;
    cabinetSize = size - 1;
    std::memset(opened, 0, sizeof opened);
    spillOpen = false;
    CabError error{};
    CabDecoder* decoder = cabCreate(fuzzAlloc, fuzzFree, fuzzOpen, fuzzRead, fuzzWrite, fuzzClose,
                                    fuzzSeek, 1, &error);
    if (decoder == nullptr) return 0;
    cabExtract(decoder, "fuzz.cab", "", notify, nullptr, nullptr);
    cabDestroy(decoder);
    // The spill file lives as long as the codec instance that asked for it.
    if (spillOpen) std::abort();
    return 0;
}
