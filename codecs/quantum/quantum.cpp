// Quantum codec entry points: creation (and the size query), one block per
// decompress call, reset at a folder start, destroy.
#include "codecs/quantum/quantum.h"

#include "codecs/quantum/paged_window.h"
#include "codecs/quantum/quantum_state.h"

#include <cstring>

namespace {

using quantum::Decoder;
using quantum::Handle;

Handle* liveHandle(void* handle) {
    Handle* h = static_cast<Handle*>(handle);
    return (h != nullptr && h->signature == kQuantumSignature) ? h : nullptr;
}

}  // namespace

int quantumCreate(uint32_t* maxBlockSize, const CodecParams* params, CodecAllocFn alloc,
                  CodecFreeFn free, uint32_t* inputBufferSize, void** handle,
                  const CodecFileCallbacks* files) {
    if (params == nullptr) return CodecBadParameter;
    const uint32_t windowBits = params->windowBits;
    if (windowBits < kQuantumMinWindowBits || windowBits > kQuantumMaxWindowBits) {
        return CodecBadParameter;
    }
    if (*maxBlockSize == 0 || *maxBlockSize > kQuantumMaxBlockSize) {
        *maxBlockSize = kQuantumMaxBlockSize;
    }
    *inputBufferSize = *maxBlockSize + kQuantumInputOverhead;
    if (handle == nullptr) return CodecOk;

    *handle = nullptr;
    Handle* h = static_cast<Handle*>(alloc(sizeof(Handle)));
    if (h == nullptr) return CodecNoMemory;
    std::memset(static_cast<void*>(h), 0, sizeof(Handle));
    Decoder& d = h->state;
    d.alloc = alloc;
    d.free = free;
    d.hasFiles = files != nullptr;
    if (files != nullptr) d.files = *files;
    d.spillHandle = -1;
    h->maxBlockSize = *maxBlockSize;
    h->cpuType = params->cpuType;
    if (!quantum::setupWindow(d, windowBits)) {
        free(h);
        return CodecNoMemory;
    }
    h->signature = kQuantumSignature;
    *handle = h;
    return CodecOk;
}

int quantumDecompress(void* handle, const uint8_t* input, uint32_t inputSize, uint8_t* output,
                      uint32_t* outputSize) {
    Handle* h = liveHandle(handle);
    if (h == nullptr) return CodecBadHandle;
    if (*outputSize > h->maxBlockSize) return CodecBadSize;
    Decoder& d = h->state;
    // After a page failure the page store may be half rebuilt; nothing goes
    // through it again before a reset.
    if (d.pageFailure) return CodecBadData;
    d.outLeft = *outputSize;
    d.outPos = output;
    d.badMatch = false;
    return d.decodeBlock(d, input, inputSize) ? CodecOk : CodecBadData;
}

int quantumReset(void* handle) {
    Handle* h = liveHandle(handle);
    if (h == nullptr) return CodecBadHandle;
    Decoder& d = h->state;
    d.position = 0;
    d.pageFailure = false;
    if (d.window == nullptr) quantum::resetPages(d);
    quantum::initModels(d);
    return CodecOk;
}

int quantumDestroy(void* handle) {
    Handle* h = liveHandle(handle);
    if (h == nullptr) return CodecBadHandle;
    quantum::releaseWindow(h->state);
    h->signature = 0;
    CodecFreeFn free = h->state.free;
    free(h);
    return CodecOk;
}

const Codec quantumCodec = {quantumCreate, quantumDecompress, quantumReset, quantumDestroy, true};
