// LZX codec entry points: creation (and the size query), one frame per
// decompress call, reset at a folder start, destroy.
#include "codecs/lzx/lzx.h"

#include "codecs/lzx/bit_reader.h"
#include "codecs/lzx/lzx_decoder.h"

#include <cstring>

namespace lzx {

void resetDecoder(Decoder& d) {
    std::memset(d.mainLengths, 0, d.mainSymbols);
    std::memset(d.priorMainLengths, 0, d.mainSymbols);
    std::memset(d.lengthLengths, 0, kLengthSymbols);
    std::memset(d.priorLengthLengths, 0, kLengthSymbols);
    d.repeatedOffsets[0] = d.repeatedOffsets[1] = d.repeatedOffsets[2] = 1;
    d.writePos = 0;
    d.windowFilled = false;
    d.blockState = HeaderDue;
    d.blockLeft = 0;
    d.blockType = NoBlock;
    d.translationPending = true;
    d.translationSize = 0;
    d.translationOffset = 0;
    d.inputExhausted = false;
    d.frameCount = 0;
}

}  // namespace lzx

namespace {

lzx::Handle* liveHandle(void* handle) {
    lzx::Handle* h = static_cast<lzx::Handle*>(handle);
    return (h != nullptr && h->signature == kLzxSignature) ? h : nullptr;
}

bool windowSizeUsable(uint32_t windowSize) {
    for (uint32_t bits = lzx::kMinWindowBits; bits <= lzx::kMaxWindowBits; ++bits) {
        if (windowSize == uint32_t(1) << bits) return true;
    }
    return false;
}

}  // namespace

int lzxCreate(uint32_t* outputBlockSize, const CodecParams* params, CodecAllocFn alloc,
              CodecFreeFn free, uint32_t* inputBufferSize, void** handle,
              const CodecFileCallbacks* /*files: not used*/) {
    // The input buffer size must stay representable.
    if (*outputBlockSize > UINT32_MAX - lzx::kInputOverhead) return CodecBadSize;
    *inputBufferSize = *outputBlockSize + lzx::kInputOverhead;
    // A window below 2^15 cannot hold a frame; one above 2^21 needs more
    // position slots than the tables hold.
    if (params == nullptr || !windowSizeUsable(params->windowSize)) return CodecBadParameter;
    if (handle == nullptr) return CodecOk;

    *handle = nullptr;
    auto* h = static_cast<lzx::Handle*>(alloc(sizeof(lzx::Handle)));
    if (h == nullptr) return CodecNoMemory;
    auto* d = static_cast<lzx::Decoder*>(alloc(sizeof(lzx::Decoder)));
    if (d == nullptr) {
        free(h);
        return CodecNoMemory;
    }
    h->alloc = alloc;
    h->free = free;
    h->maxBlockSize = *outputBlockSize;
    h->decoder = d;
    h->signature = kLzxSignature;

    d->alloc = alloc;
    d->free = free;
    d->windowSize = params->windowSize;
    d->windowMask = params->windowSize - 1;
    d->slotCount = lzx::slotCountFor(d->windowSize);
    d->mainSymbols = lzx::kLiteralCount + 8 * d->slotCount;
    d->window = static_cast<uint8_t*>(alloc(d->windowSize + lzx::kWindowSpare));
    if (d->window == nullptr) {
        free(d);
        free(h);
        return CodecNoMemory;
    }
    // The window is not cleared: no match may read a byte its folder has not
    // written (sourceInFolder), so what the allocation held never shows.
    d->blockSize = 0;
    d->bitBuffer = 0;
    d->spareBits = 16;
    d->carefulOnly = 0;
    lzx::resetDecoder(*d);
    *handle = h;
    return CodecOk;
}

int lzxDecompress(void* handle, const uint8_t* input, uint32_t inputSize, uint8_t* output,
                  uint32_t* outputSize) {
    lzx::Handle* h = liveHandle(handle);
    if (h == nullptr) return CodecBadHandle;
    if (*outputSize > h->maxBlockSize) return CodecBadSize;

    lzx::Decoder& d = *h->decoder;
    d.inPos = input;
    d.dataEnd = input + inputSize;
    d.inLimit = input + inputSize + 4;
    d.outBuffer = output;
    lzx::primeBits(d);
    const bool ok = lzx::decodeFrame(d, *outputSize);
    ++d.frameCount;
    if (!ok) {
        *outputSize = 0;
        return CodecBadData;
    }
    return CodecOk;
}

int lzxReset(void* handle) {
    lzx::Handle* h = liveHandle(handle);
    if (h == nullptr) return CodecBadHandle;
    lzx::resetDecoder(*h->decoder);
    return CodecOk;
}

int lzxDestroy(void* handle) {
    lzx::Handle* h = liveHandle(handle);
    if (h == nullptr) return CodecBadHandle;
    lzx::Decoder* d = h->decoder;
    if (d->window != nullptr) {
        d->free(d->window);
        d->window = nullptr;
    }
    h->signature = 0;
    CodecFreeFn free = h->free;
    free(d);
    free(h);
    return CodecOk;
}

const Codec lzxCodec = {lzxCreate, lzxDecompress, lzxReset, lzxDestroy, true};
