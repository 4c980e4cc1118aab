// The fuzz input as the only cabinet file of a cabinet fuzz target: every
// open of a cabinet reads it from its start, through up to eight handles at
// once; what is written to the output handle is discarded; a next cabinet is
// never supplied. Memory comes from malloc/free (large blocks kept for
// reuse), and live blocks are counted, so a leak is seen either way.
#pragma once

#include "cab/cab.h"

#include <sanitizer/asan_interface.h>

#include <cstdlib>
#include <cstring>

namespace fuzzcab {

constexpr int32_t kFirstCabinetHandle = 10;
constexpr int32_t kCabinetHandles = 8;
constexpr int32_t kOutputHandle = 100;

struct State {
    const uint8_t* data = nullptr;
    size_t size = 0;
    int64_t positions[kCabinetHandles] = {};
    bool opened[kCabinetHandles] = {};
};
inline State state;

// Makes `data` the cabinet and closes every handle.
inline void useCabinet(const uint8_t* data, size_t size) {
    state = State{};
    state.data = data;
    state.size = size;
}

inline bool isCabinetHandle(int32_t h) {
    return h >= kFirstCabinetHandle && h < kFirstCabinetHandle + kCabinetHandles &&
           state.opened[h - kFirstCabinetHandle];
}

inline bool anyCabinetOpen() {
    for (bool isOpen : state.opened) {
        if (isOpen) return true;
    }
    return false;
}

// Blocks from `allocate` not yet released, for the leak check after each
// input.
inline int64_t liveBlocks = 0;

// Windows of up to 2 MB are set up for nearly every input. Blocks that large
// bypass the sanitizer's size-class allocator: each would be mapped, faulted
// in page by page and unmapped again, which costs more than decoding the
// input. So released large blocks are kept for reuse, poisoned while they
// wait, so that a use after release is still reported.
constexpr uint32_t kReusedBlockSize = uint32_t(1) << 17;
constexpr int kReusedBlockSlots = 16;
struct ReusedBlock {
    void* block;
    uint32_t size;
    bool inUse;
};
inline ReusedBlock reusedBlocks[kReusedBlockSlots];

// Every block is filled with a pattern, so reads of memory never written
// give the same bytes on every run.
constexpr uint8_t kFreshFill = 0xA5;

inline void* allocate(uint32_t size) {
    void* block = nullptr;
    if (size >= kReusedBlockSize) {
        for (ReusedBlock& reused : reusedBlocks) {
            if (reused.block != nullptr && !reused.inUse && reused.size == size) {
                reused.inUse = true;
                ASAN_UNPOISON_MEMORY_REGION(reused.block, size);
                block = reused.block;
                break;
            }
        }
        // Otherwise a new block, in an empty slot or else one whose waiting
        // block is given back.
        ReusedBlock* slot = nullptr;
        for (ReusedBlock& reused : reusedBlocks) {
            if (reused.block == nullptr) {
                slot = &reused;
                break;
            }
            if (!reused.inUse && slot == nullptr) slot = &reused;
        }
        if (block == nullptr && slot != nullptr) {
            if (slot->block != nullptr) {
                ASAN_UNPOISON_MEMORY_REGION(slot->block, slot->size);
                std::free(slot->block);
            }
            *slot = {nullptr, 0, false};
            block = std::malloc(size);
            if (block != nullptr) *slot = {block, size, true};
        }
    }
    if (block == nullptr) block = std::malloc(size ? size : 1);
    if (block == nullptr) return nullptr;
    std::memset(block, kFreshFill, size);
    ++liveBlocks;
    return block;
}

inline void release(void* block) {
    if (block == nullptr) return;
    --liveBlocks;
    for (ReusedBlock& reused : reusedBlocks) {
        if (reused.block == block) {
            if (!reused.inUse) std::abort();  // released twice
            reused.inUse = false;
            ASAN_POISON_MEMORY_REGION(block, reused.size);
            return;
        }
    }
    std::free(block);
}

// Aborts unless the decoder has released every block and closed every
// cabinet handle.
inline void checkReleased() {
    if (liveBlocks != 0 || anyCabinetOpen()) std::abort();
}

inline int32_t openCabinet() {
    for (int32_t i = 0; i < kCabinetHandles; ++i) {
        if (!state.opened[i]) {
            state.opened[i] = true;
            state.positions[i] = 0;
            return kFirstCabinetHandle + i;
        }
    }
    return -1;
}

inline int readCabinet(int32_t h, void* buffer, uint32_t count) {
    if (!isCabinetHandle(h)) return -1;
    int64_t& position = state.positions[h - kFirstCabinetHandle];
    if (position >= int64_t(state.size)) return 0;
    size_t n = count;
    if (n > state.size - size_t(position)) n = state.size - size_t(position);
    std::memcpy(buffer, state.data + position, n);
    position += int64_t(n);
    return int(n);
}

inline int discardOutput(int32_t h, uint32_t count) {
    return h == kOutputHandle ? int(count) : -1;
}

inline int closeCabinet(int32_t h) {
    if (h == kOutputHandle) return 0;
    if (!isCabinetHandle(h)) return -1;
    state.opened[h - kFirstCabinetHandle] = false;
    return 0;
}

inline int32_t seekCabinet(int32_t h, int32_t offset, int origin) {
    if (!isCabinetHandle(h)) return -1;
    int64_t& position = state.positions[h - kFirstCabinetHandle];
    const int64_t base = origin == 0 ? 0 : origin == 1 ? position : int64_t(state.size);
    const int64_t target = base + offset;
    if (target < 0 || target > INT32_MAX) return -1;
    position = target;
    return int32_t(target);
}

// Every output is accepted into the discarding sink; a next cabinet is never
// supplied.
inline int notify(int kind, CabNotification* n) {
    switch (kind) {
        case OpenOutput: return kOutputHandle;
        case CloseOutput: return n->fileHandle == kOutputHandle ? 1 : 0;
        case NeedCabinet: return -1;
        default: return 0;
    }
}

}  // namespace fuzzcab
