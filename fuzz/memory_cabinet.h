// The fuzz input as the only cabinet file of a cabinet fuzz target: every
// open of a cabinet reads it from its start, through up to eight handles at
// once; what is written to the output handle is discarded; a next cabinet is
// never supplied. Memory comes from malloc/free, so the leak checker sees
// anything the decoder fails to free.
#pragma once

#include "cab/cab.h"

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

inline void* allocate(uint32_t size) { return std::malloc(size ? size : 1); }
inline void release(void* block) { std::free(block); }

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
