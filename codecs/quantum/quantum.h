// Quantum: compression method 2, an arithmetic code over adaptive models with
// a history window of 2^10 to 2^21 bytes, kept in one block of memory or, when
// that cannot be had, in 4 KB pages spilled to a client-supplied file.
#pragma once

#include "cab/codec.h"

#include <cstdint>

constexpr uint32_t kQuantumSignature = 0x43494451;  // "QDIC" in memory order
constexpr uint32_t kQuantumMinWindowBits = 10;
constexpr uint32_t kQuantumMaxWindowBits = 21;
constexpr uint32_t kQuantumMaxBlockSize = 32768;
constexpr uint32_t kQuantumInputOverhead = 10240;

// Spare bytes allocated after a one-piece window. They are never read; they
// make the window's allocation size differ from every other block the
// decoder asks for (the 32,768-byte output buffer is a power of two too), so
// a client's allocator can recognise it, as cabtool's paged-store diagnostic
// does.
constexpr uint32_t kQuantumWindowSpare = 64;

// Bytes of one allocation asked for by quantumCreate for a one-piece window.
constexpr uint32_t quantumWindowAllocationSize(uint32_t windowBits) {
    return (uint32_t(1) << windowBits) + kQuantumWindowSpare;
}

// Bytes of one page buffer of the paged window (4,096 data bytes and its
// list links), for allocators that want to limit how many they grant.
uint32_t quantumPageAllocationSize();

// Size query (null handle pointer) or creation. The block size is settled to
// 1..32,768; the input buffer size reported is that + 10,240. The file
// callbacks are needed only when the window has to be paged.
int quantumCreate(uint32_t* maxBlockSize, const CodecParams* params, CodecAllocFn alloc,
                  CodecFreeFn free, uint32_t* inputBufferSize, void** handle,
                  const CodecFileCallbacks* files);
// Decodes one block into exactly *outputSize bytes (not changed on return).
int quantumDecompress(void* handle, const uint8_t* input, uint32_t inputSize, uint8_t* output,
                      uint32_t* outputSize);
int quantumReset(void* handle);
int quantumDestroy(void* handle);

// The codec table the cabinet decoder dispatches method 2 to.
extern const Codec quantumCodec;
