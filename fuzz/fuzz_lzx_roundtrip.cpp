// Encoder round trips through the LZX codec: data compressed by the test
// encoder must come back unchanged, frame by frame.
//
// Input: byte 0 picks the window (15 + b % 7 bits); byte 1 the encoder's
// options (block kinds, block size, call translation, match search depth);
// the rest is the plain data. The decoding instance is kept from input to
// input and brought back to its fresh state after each (lzx_instances.h).
#include "fuzz/lzx_instances.h"
#include "tools/cabwriter/lzx_encoder.h"

#include <sanitizer/asan_interface.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

// The test encoder sets up tables of a few hundred kilobytes for every
// input. Blocks that large bypass the sanitizer's size-class allocator:
// each would be mapped, faulted in page by page and unmapped again, which
// costs more than the encoding. Operator new (used by the encoder and the
// standard containers, never by the codec) therefore keeps a few such blocks
// for reuse, poisoned while they wait; smaller ones go straight to malloc
// and free.
namespace {

constexpr size_t kLargeBlock = size_t(1) << 17;
constexpr int kLargeSlots = 32;
struct LargeBlock {
    void* block;
    size_t size;
    bool inUse;
};
LargeBlock largeBlocks[kLargeSlots];

void* allocate(size_t size) {
    if (size >= kLargeBlock) {
        LargeBlock* empty = nullptr;
        for (LargeBlock& large : largeBlocks) {
            if (large.block != nullptr && !large.inUse && large.size == size) {
                large.inUse = true;
                ASAN_UNPOISON_MEMORY_REGION(large.block, size);
                return large.block;
            }
            if (large.block == nullptr && empty == nullptr) empty = &large;
        }
        if (empty != nullptr) {
            void* block = std::malloc(size);
            if (block != nullptr) *empty = {block, size, true};
            return block;
        }
    }
    return std::malloc(size ? size : 1);
}

void release(void* block) {
    if (block == nullptr) return;
    for (LargeBlock& large : largeBlocks) {
        if (large.block == block) {
            large.inUse = false;
            ASAN_POISON_MEMORY_REGION(block, large.size);
            return;
        }
    }
    std::free(block);
}

void* allocateOrThrow(size_t size) {
    void* block = allocate(size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

}  // namespace

void* operator new(size_t size) { return allocateOrThrow(size); }
void* operator new[](size_t size) { return allocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, size_t) noexcept { release(block); }
void operator delete[](void* block, size_t) noexcept { release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { release(block); }

namespace {

lzxenc::Options optionsFrom(int windowBits, uint8_t choice) {
    lzxenc::Options options;
    options.windowBits = windowBits;
    const lzxenc::BlockKind kinds[] = {lzxenc::BlockKind::Best, lzxenc::BlockKind::Verbatim,
                                       lzxenc::BlockKind::Aligned,
                                       lzxenc::BlockKind::Uncompressed};
    options.blockKinds = {kinds[choice & 3], kinds[(choice >> 2) & 3]};
    options.blockSize = 700 + (uint32_t(choice >> 4) * 4099) % 70000;
    options.translationSize = (choice & 0x40) ? 1000000 : 0;
    options.maxChain = (choice & 0x80) ? 4 : 32;
    return options;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int windowBits = lzxfuzz::kMinWindowBits + data[0] % 7;
    const std::vector<uint8_t> plain(data + 2, data + size);
    std::vector<lzxenc::Frame> frames;
    try {
        frames = lzxenc::encode(plain.data(), plain.size(), optionsFrom(windowBits, data[1]));
    } catch (const std::runtime_error&) {
        return 0;  // an operand the translation cannot represent
    }
    lzxfuzz::KeptCodec& codec = lzxfuzz::keptCodec(windowBits, false);
    size_t at = 0;
    for (const lzxenc::Frame& frame : frames) {
        uint8_t* out = static_cast<uint8_t*>(std::malloc(frame.size ? frame.size : 1));
        const bool same =
            codec.decode(frame.data.data(), uint32_t(frame.data.size()), frame.size, out) ==
                CodecOk &&
            frame.size <= plain.size() - at && std::memcmp(out, plain.data() + at, frame.size) == 0;
        std::free(out);
        if (!same) std::abort();
        at += frame.size;
    }
    if (at != plain.size()) std::abort();
    codec.restore();
    return 0;
}
