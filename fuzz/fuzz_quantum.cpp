// Quantum block sequences through the codec directly, with the window in
// memory or paged.
//
// Input: byte 0 picks the window (10 + b % 12 bits); byte 1 the store: bit 0
// clear for the one-piece window, set for the paged one, whose buffers are
// limited to 3 + (b >> 1 & 7) unless that field is 7 (every buffer it asks
// for). Then records: a 16-bit little-endian output size (0xFFFF means
// "reset the instance"; larger than 32,768 is taken as 32,768), a 16-bit
// input length (cut to what is left) and that many block bytes.
//
// Checks: nothing crashes or strays outside a buffer (sanitizers); and while
// a fresh paged instance with every buffer it asks for has not been reset
// and no block has failed, each of its blocks that succeeds must give
// exactly what a fresh one-piece window instance gives for the same block.
#include "codecs/quantum/quantum.h"

#include <cstdlib>
#include <cstring>
#include <map>
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

// One spill file in memory.
std::vector<uint8_t> spillData;
int64_t spillPosition = 0;
constexpr int32_t kSpillHandle = 7;

int32_t spillOpen(const char* name, int, int) {
    if (name[0] != '*') return -1;
    spillData.clear();
    spillPosition = 0;
    return kSpillHandle;
}
int spillRead(int32_t, void* buffer, uint32_t count) {
    if (spillPosition + count > int64_t(spillData.size())) return -1;
    std::memcpy(buffer, spillData.data() + spillPosition, count);
    spillPosition += count;
    return int(count);
}
int spillWrite(int32_t, const void* buffer, uint32_t count) {
    if (spillData.size() < size_t(spillPosition) + count) spillData.resize(spillPosition + count);
    std::memcpy(spillData.data() + spillPosition, buffer, count);
    spillPosition += count;
    return int(count);
}
int spillClose(int32_t) { return 0; }
int32_t spillSeek(int32_t, int32_t offset, int origin) {
    if (origin != 0 || offset < 0) return -1;
    spillPosition = offset;
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

// Instances of large windows are kept from input to input and reset, since
// setting up megabytes of window per input would leave little time for
// decoding; those of windows up to 64 KB are made afresh for each input.
constexpr uint32_t kLargestFreshWindowBits = 16;

void* kept[kQuantumMaxWindowBits + 1][9];  // [window bits][store]

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint32_t bits = 10 + data[0] % 12;
    const bool paged = (data[1] & 1) != 0;
    const int limit = (data[1] >> 1) & 7;
    const int buffers = limit == 7 ? -1 : 3 + limit;
    const bool fresh = bits <= kLargestFreshWindowBits;
    const int store = paged ? 1 + limit : 0;
    void* handle = nullptr;
    if (fresh) {
        handle = create(bits, paged, buffers);
    } else {
        if (kept[bits][store] == nullptr) kept[bits][store] = create(bits, paged, buffers);
        handle = kept[bits][store];
        if (handle != nullptr) quantumReset(handle);
    }
    if (handle == nullptr) return 0;
    // The reference: a fresh one-piece window, compared while that is
    // meaningful.
    void* reference = fresh && paged && buffers < 0 ? create(bits, false, -1) : nullptr;
    bool comparable = reference != nullptr;

    std::vector<uint8_t> output(32768), expected(32768);
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
        // An exact copy, so reads past the block are caught.
        uint8_t* block = static_cast<uint8_t*>(std::malloc(inLength ? inLength : 1));
        std::memcpy(block, data + at, inLength);
        at += inLength;
        uint32_t asked = outSize > 32768 ? 32768 : outSize;
        const int result = quantumDecompress(handle, block, inLength, output.data(), &asked);
        if (comparable) {
            uint32_t again = asked;
            const int referenceResult =
                quantumDecompress(reference, block, inLength, expected.data(), &again);
            if (result == CodecOk &&
                (referenceResult != CodecOk ||
                 std::memcmp(output.data(), expected.data(), asked) != 0)) {
                std::abort();
            }
            if (result != CodecOk || referenceResult != CodecOk) comparable = false;
        }
        std::free(block);
    }
    if (fresh) quantumDestroy(handle);
    if (reference != nullptr) quantumDestroy(reference);
    return 0;
}
