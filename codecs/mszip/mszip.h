// MSZIP: compression method 1, "CK"-prefixed Deflate blocks whose history is
// the caller's 32,768-byte output buffer.
#pragma once

#include "cab/codec.h"

#include <cstdint>

constexpr uint32_t kMszipSignature = 0x4349444D;  // "MDIC" in memory order

// Size query (null handle pointer) or creation. The output block size is
// settled to 1..32,768; the input buffer size reported is that + 12.
int mszipCreate(uint32_t* outputBlockSize, CodecAllocFn alloc, CodecFreeFn free,
                uint32_t* inputBufferSize, void** handle);
int mszipDecompress(void* handle, const uint8_t* input, uint32_t inputSize, uint8_t* output,
                    uint32_t* outputSize);
int mszipReset(void* handle);
int mszipDestroy(void* handle);

// The codec table the cabinet decoder dispatches method 1 to.
extern const Codec mszipCodec;
