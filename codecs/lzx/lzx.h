// LZX: compression method 3. A window of 2^15 to 2^21 bytes, three repeated
// offsets, verbatim, aligned-offset and uncompressed blocks with delta-coded
// Huffman trees, and the E8 call translation. One decompress call turns one
// CFDATA block into exactly its cbUncomp bytes (a frame); the stream state
// runs on from call to call until reset.
#pragma once

#include "cab/codec.h"

#include <cstdint>

constexpr uint32_t kLzxSignature = 0x4349444C;  // "LDIC" in memory order

// Size query (null handle pointer) or creation. Reports an input buffer of
// *outputBlockSize + 6,144 bytes. params->windowSize must be 2^15..2^21
// (CodecBadParameter otherwise). The file callbacks are not used.
int lzxCreate(uint32_t* outputBlockSize, const CodecParams* params, CodecAllocFn alloc,
              CodecFreeFn free, uint32_t* inputBufferSize, void** handle,
              const CodecFileCallbacks* files);
// Decodes one frame of *outputSize bytes. The input must be followed by
// kCodecInputSlack readable zero bytes (the bit reader looks ahead).
int lzxDecompress(void* handle, const uint8_t* input, uint32_t inputSize, uint8_t* output,
                  uint32_t* outputSize);
int lzxReset(void* handle);
int lzxDestroy(void* handle);

// The codec table the cabinet decoder dispatches method 3 to.
extern const Codec lzxCodec;
