// Quantum block sequences through the codec directly, with the window in
// memory or paged.
//
// Input: byte 0 picks the window (10 + b % 12 bits); byte 1 the store: bit 0
// clear for the one-piece window, set for the paged one, whose buffers are
// limited to 3 + (b >> 1 & 7) unless that field is 7 (every buffer it asks
// for). Then records: a 16-bit little-endian output size (0xFFFF means
// "reset the instance"; larger than 32,768 is taken as 32,768), a 16-bit
// input length (cut to what is left) and that many block bytes. Output
// sizes past the input's budget (8 KB in all, 16 KB with a paged window)
// are cut to what is left of it.
//
// Checks: nothing crashes or strays outside a buffer (sanitizers); and while
// a paged instance with every buffer it asks for has not been reset and no
// block has failed, each of its blocks that succeeds must give exactly what
// a one-piece window instance gives for the same block.
#include "codecs/quantum/quantum.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool refuseWindow = false;
int pageBuffersLeft = -1;

void* fuzzAlloc(uint32_t size) {
    if (refuseWindow) {
        for (uint32_t bits = kQuantumMinWindowBits; bits <= kQuantumMaxWindowBits; ++bits) {
            if (size == quantumWindowAllocationSize(bits)) return nullptr;
        }
        if (size == quantumPageAllocationSize() && pageBuffersLeft >= 0) {
            if (pageBuffersLeft == 0) return nullptr;
            --pageBuffersLeft;
        }
    }
    return std::malloc(size);
}
void fuzzFree(void* block) { std::free(block); }

// The spill files, in memory: one per paged instance, the handle being its
// index plus kFirstSpillHandle.
struct SpillFile {
    std::vector<uint8_t> data;
    int64_t position = 0;
};
std::vector<SpillFile> spillFiles;
constexpr int32_t kFirstSpillHandle = 7;

SpillFile* spillFile(int32_t handle) {
    const int64_t index = int64_t(handle) - kFirstSpillHandle;
    return index >= 0 && index < int64_t(spillFiles.size()) ? &spillFiles[size_t(index)] : nullptr;
}

int32_t spillOpen(const char* name, int, int) {
    if (name[0] != '*') return -1;
    spillFiles.emplace_back();
    return kFirstSpillHandle + int32_t(spillFiles.size() - 1);
}
int spillRead(int32_t handle, void* buffer, uint32_t count) {
    SpillFile* file = spillFile(handle);
    if (file == nullptr || file->position + count > int64_t(file->data.size())) return -1;
    std::memcpy(buffer, file->data.data() + file->position, count);
    file->position += count;
    return int(count);
}
int spillWrite(int32_t handle, const void* buffer, uint32_t count) {
    SpillFile* file = spillFile(handle);
    if (file == nullptr) return -1;
    if (file->data.size() < size_t(file->position) + count) file->data.resize(file->position + count);
    std::memcpy(file->data.data() + file->position, buffer, count);
    file->position += count;
    return int(count);
}
int spillClose(int32_t) { return 0; }
int32_t spillSeek(int32_t handle, int32_t offset, int origin) {
    SpillFile* file = spillFile(handle);
    if (file == nullptr || origin != 0 || offset < 0) return -1;
    file->position = offset;
    return offset;
}
const CodecFileCallbacks kSpill = {spillOpen, spillRead, spillWrite, spillClose, spillSeek};

void* create(uint32_t bits, bool paged, int buffers) {
    CodecParams params{};
    params.windowBits = bits;
    uint32_t blockSize = 32768, inputSize = 0;
    void* handle = nullptr;
    refuseWindow = paged;
    pageBuffersLeft = buffers;
    const int result =
        quantumCreate(&blockSize, &params, fuzzAlloc, fuzzFree, &inputSize, &handle, &kSpill);
    refuseWindow = false;
    return result == CodecOk ? handle : nullptr;
}

// Instances are kept from input to input, since setting up a window of up to
// 2 MB for every input would leave little time for decoding. After each
// input an instance is reset; what an earlier input left in its window
// cannot show, since a match reaching before its folder's first byte is
// refused as damaged data.
struct KeptInstance {
    void* handle = nullptr;
    bool tried = false;  // creation attempted; one that failed is not retried

    void restore() {
        if (quantumReset(handle) != CodecOk) std::abort();
    }
};

// [window bits][store]: store 0 is the one-piece window, 1 + limit a paged
// one with that buffer limit (limit 7: every buffer it asks for).
KeptInstance kept[kQuantumMaxWindowBits + 1][9];

KeptInstance* keptInstance(uint32_t bits, int store) {
    KeptInstance& instance = kept[bits][store];
    if (!instance.tried) {
        instance.tried = true;
        const int limit = store - 1;
        instance.handle = create(bits, store > 0, store == 0 || limit == 7 ? -1 : 3 + limit);
    }
    return instance.handle != nullptr ? &instance : nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint32_t bits = 10 + data[0] % 12;
    const bool paged = (data[1] & 1) != 0;
    const int limit = (data[1] >> 1) & 7;
    KeptInstance* instance = keptInstance(bits, paged ? 1 + limit : 0);
    if (instance == nullptr) return 0;
    void* handle = instance->handle;
    // The reference: a one-piece window, compared while that is meaningful.
    KeptInstance* reference = paged && limit == 7 ? keptInstance(bits, 0) : nullptr;
    bool comparable = reference != nullptr;

    // Output per input is bounded: the arithmetic decoding costs most of the
    // time, and more output finds little more. A paged window gets enough to
    // evict pages when three or four buffers hold 4 KB each.
    uint32_t budget = paged ? 16384 : 8192;
    size_t at = 2;
    while (at + 4 <= size) {
        const uint32_t outSize = uint32_t(data[at] | (data[at + 1] << 8));
        uint32_t inLength = uint32_t(data[at + 2] | (data[at + 3] << 8));
        at += 4;
        if (outSize == 0xFFFF) {
            quantumReset(handle);
            comparable = false;
            continue;
        }
        if (inLength > size - at) inLength = uint32_t(size - at);
        // Exact copies, so reads past the block and writes past the output
        // are caught.
        uint8_t* block = static_cast<uint8_t*>(std::malloc(inLength ? inLength : 1));
        std::memcpy(block, data + at, inLength);
        at += inLength;
        uint32_t asked = outSize > 32768 ? 32768 : outSize;
        if (asked > budget) asked = budget;
        budget -= asked;
        uint8_t* output = static_cast<uint8_t*>(std::malloc(asked ? asked : 1));
        const int result = quantumDecompress(handle, block, inLength, output, &asked);
        if (comparable) {
            uint8_t* expected = static_cast<uint8_t*>(std::malloc(asked ? asked : 1));
            uint32_t again = asked;
            const int referenceResult =
                quantumDecompress(reference->handle, block, inLength, expected, &again);
            const bool differ = result == CodecOk && (referenceResult != CodecOk ||
                                                      std::memcmp(output, expected, asked) != 0);
            std::free(expected);
            if (differ) std::abort();
            if (result != CodecOk || referenceResult != CodecOk) comparable = false;
        }
        std::free(output);
        std::free(block);
    }
    instance->restore();
    if (reference != nullptr) reference->restore();
    return 0;
}
