// The uniform decompressor interface every folder codec implements.
//
// A codec sees only the input and output buffers it is handed and the
// callbacks given to it at creation; it never sees cabinets or files of its
// own. This header stands alone so that codecs depend on nothing else of the
// cabinet decoder.
#pragma once

#include <cstdint>

enum CodecResult : int {
    CodecOk = 0,
    CodecNoMemory = 1,
    CodecBadHandle = 2,     // the handle is not an instance of this codec
    CodecBadSize = 3,       // a size is out of the codec's range
    CodecBadData = 4,       // the compressed data cannot be decoded
    CodecBadParameter = 5,  // a creation parameter is out of range
};

// A folder's 16-bit compression word: method in bits 0-3, parameter in 8-12.
typedef uint16_t CompressionType;

enum CompressionMethod : uint16_t {
    MethodNone = 0,
    MethodMszip = 1,
    MethodQuantum = 2,
    MethodLzx = 3,
    MethodNotLoaded = 15,  // the decoder's own value: no codec loaded
};

constexpr uint16_t compressionMethod(CompressionType type) { return type & 0x000F; }
constexpr uint16_t compressionParameter(CompressionType type) { return (type >> 8) & 0x1F; }

// Creation parameters of Quantum and LZX.
struct CodecParams {
    union {
        uint32_t windowBits;  // Quantum: the parameter as is
        uint32_t windowSize;  // LZX: 1 << parameter
    };
    int32_t cpuType;  // Quantum: the decoder's cpuType; LZX: unused
};

// Memory and file callbacks a codec may be given. They have the same shapes
// as the cabinet decoder's client callbacks, which are passed through as is.
// File handles are 32-bit integers, -1 meaning none or failure.
typedef void* (*CodecAllocFn)(uint32_t size);
typedef void (*CodecFreeFn)(void* block);
typedef int32_t (*CodecOpenFn)(const char* path, int flags, int mode);
typedef int (*CodecReadFn)(int32_t handle, void* buffer, uint32_t count);
typedef int (*CodecWriteFn)(int32_t handle, const void* buffer, uint32_t count);
typedef int (*CodecCloseFn)(int32_t handle);
typedef int32_t (*CodecSeekFn)(int32_t handle, int32_t offset, int origin);  // origin 0 start, 1 current

struct CodecFileCallbacks {
    CodecOpenFn open;
    CodecReadFn read;
    CodecWriteFn write;
    CodecCloseFn close;
    CodecSeekFn seek;
};

// Every input block handed to decompress is followed by this many readable
// bytes, all zero, beyond its size (and beyond the reported input buffer
// size), so a bit reader may look ahead without bounds checks. A codec must
// still never let those bytes change what it decodes.
constexpr uint32_t kCodecInputSlack = 16;

// The output block the decoder asks every codec for: 32,768 bytes.
constexpr uint32_t kOutputBlockSize = 0x8000;

// One codec, as a table of functions. `create` with a null handle pointer is
// the size query: it only reports the input buffer size it needs. The file
// callbacks are null for codecs that need none and during the size query.
struct Codec {
    int (*create)(uint32_t* outputBlockSize, const CodecParams* params, CodecAllocFn alloc,
                  CodecFreeFn free, uint32_t* inputBufferSize, void** handle,
                  const CodecFileCallbacks* files);
    int (*decompress)(void* handle, const uint8_t* input, uint32_t inputSize, uint8_t* output,
                      uint32_t* outputSize);
    int (*reset)(void* handle);
    int (*destroy)(void* handle);
    // Size passed to decompress: true for the block's exact uncompressed size,
    // false for the output buffer's capacity.
    bool wantsExactSize;
};

// The codec for a method, or null when the method has none (stored, or a
// method whose decompressor is not part of this build). Defined by the codec
// registry, the one place that knows every codec.
const Codec* codecForMethod(uint16_t method);
