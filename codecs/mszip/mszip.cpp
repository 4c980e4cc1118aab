// MSZIP codec entry points: creation (and the size query), one block per
// decompress call, reset and destroy.
#include "codecs/mszip/mszip.h"

#include "codecs/mszip/mszip_decoder.h"

#include <cstring>

namespace {

using mszip::MszipDecoder;
using mszip::MszipHandle;

MszipHandle* liveHandle(void* handle) {
    MszipHandle* h = static_cast<MszipHandle*>(handle);
    return (h != nullptr && h->signature == kMszipSignature) ? h : nullptr;
}

// Runs the Deflate blocks of one MSZIP block until the last one ends or the
// output limit is reached; input after the last block is ignored.
bool decodeStream(MszipDecoder* d, uint32_t* outputSize) {
    const uint32_t requested = *outputSize < d->maxBlockSize ? *outputSize : d->maxBlockSize;
    d->outLeft = requested;
    while (d->lastBlock == 0 && d->outLeft != 0) {
        if (!mszip::decodeDeflateBlock(d)) return false;
    }
    *outputSize = requested - d->outLeft;
    return true;
}

int createAsCodec(uint32_t* outputBlockSize, const CodecParams* /*params*/, CodecAllocFn alloc,
                  CodecFreeFn free, uint32_t* inputBufferSize, void** handle,
                  const CodecFileCallbacks* /*files*/) {
    return mszipCreate(outputBlockSize, alloc, free, inputBufferSize, handle);
}

}  // namespace

int mszipCreate(uint32_t* outputBlockSize, CodecAllocFn alloc, CodecFreeFn free,
                uint32_t* inputBufferSize, void** handle) {
    if (*outputBlockSize == 0 || *outputBlockSize > mszip::kMszipMaxBlockSize) {
        *outputBlockSize = mszip::kMszipMaxBlockSize;
    }
    *inputBufferSize = *outputBlockSize + mszip::kMszipInputOverhead;
    if (handle == nullptr) return CodecOk;

    *handle = nullptr;
    MszipHandle* h = static_cast<MszipHandle*>(alloc(sizeof(MszipHandle)));
    if (h == nullptr) return CodecNoMemory;
    MszipDecoder* decoder = static_cast<MszipDecoder*>(alloc(sizeof(MszipDecoder)));
    if (decoder == nullptr) {
        free(h);
        return CodecNoMemory;
    }
    std::memset(static_cast<void*>(decoder), 0, sizeof(MszipDecoder));
    h->free = free;
    h->maxBlockSize = *outputBlockSize;
    h->decoder = decoder;
    h->signature = kMszipSignature;
    *handle = h;
    return CodecOk;
}

int mszipDecompress(void* handle, const uint8_t* input, uint32_t inputSize, uint8_t* output,
                    uint32_t* outputSize) {
    MszipHandle* h = liveHandle(handle);
    if (h == nullptr) return CodecBadHandle;
    MszipDecoder* d = h->decoder;
    // Whatever this call does, only its own output can be the next call's
    // history: none unless it succeeds.
    const uint32_t previousOutput = d->previousOutput;
    d->previousOutput = 0;
    if (inputSize > h->maxBlockSize + mszip::kMszipInputOverhead) return CodecBadSize;
    if (inputSize < 2 || input[0] != 'C' || input[1] != 'K') return CodecBadData;

    d->lastBlock = 0;
    d->input = input + 2;
    d->inputSize = inputSize - 2;
    d->inputUsed = 0;
    d->bitBuffer = 0;
    d->bitCount = 0;
    d->windowStart = output;
    d->outPos = 0;
    // The caller's output size is the buffer it hands over: the ring never
    // reaches outside it.
    d->ringSize = *outputSize < mszip::kHistoryRingSize ? *outputSize : mszip::kHistoryRingSize;
    d->ringReach = previousOutput == d->ringSize ? d->ringSize : 0;
    d->maxBlockSize = h->maxBlockSize;
    if (!decodeStream(d, outputSize)) return CodecBadData;
    d->previousOutput = *outputSize;
    return CodecOk;
}

int mszipReset(void* handle) {
    MszipHandle* h = liveHandle(handle);
    if (h == nullptr) return CodecBadHandle;
    // The buffer's bytes stay, but they are no longer this folder's history.
    h->decoder->previousOutput = 0;
    return CodecOk;
}

int mszipDestroy(void* handle) {
    MszipHandle* h = liveHandle(handle);
    if (h == nullptr) return CodecBadHandle;
    h->signature = 0;
    CodecFreeFn free = h->free;
    free(h->decoder);
    free(h);
    return CodecOk;
}

const Codec mszipCodec = {createAsCodec, mszipDecompress, mszipReset, mszipDestroy, false};
