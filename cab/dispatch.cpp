// Loading, switching, resetting and releasing the folder codec, and running
// it on one block.
#include "cab/decoder.h"

#include <cstring>

namespace cab {

namespace {

bool methodHasCodec(uint16_t method) {
    return method == MethodMszip || method == MethodQuantum || method == MethodLzx;
}

void freeBuffers(CabDecoder* d) {
    d->io.free(d->inputBuffer);
    d->io.free(d->outputBuffer);
    d->inputBuffer = nullptr;
    d->outputBuffer = nullptr;
}

bool failCreation(CabDecoder* d, int32_t code) {
    d->compressionType = MethodNotLoaded;
    d->codecTable = nullptr;
    d->codec = nullptr;
    return setError(d, code);
}

}  // namespace

bool setCompressionType(CabDecoder* d, uint16_t type) {
    if (type == d->compressionType) return true;
    if (!releaseCodec(d)) return setError(d, CodecFailed);
    d->compressionType = type;
    return createCodec(d);
}

bool releaseCodec(CabDecoder* d) {
    uint16_t method = compressionMethod(d->compressionType);
    if (method == MethodNotLoaded) return true;
    if (method == MethodNone) {
        freeBuffers(d);
        return true;
    }
    if (!methodHasCodec(method)) return setError(d, UnknownMethod);
    if (d->codecTable->destroy(d->codec) != CodecOk) return setError(d, CodecFailed);
    d->codec = nullptr;
    d->codecTable = nullptr;
    freeBuffers(d);
    return true;
}

bool createCodec(CabDecoder* d) {
    uint16_t method = compressionMethod(d->compressionType);
    d->outputBlockSize = kOutputBlockSize;
    if (method == MethodNotLoaded) return true;

    const Codec* codec = nullptr;
    if (method == MethodNone) {
        d->inputBufferSize = kOutputBlockSize;
    } else if (!methodHasCodec(method)) {
        return failCreation(d, UnknownMethod);
    } else {
        codec = codecForMethod(method);
        // A method whose decompressor is not part of this build cannot be
        // loaded: reported as a failed codec, like a refused size query.
        if (codec == nullptr) return failCreation(d, CodecFailed);
        uint32_t parameter = compressionParameter(d->compressionType);
        d->codecParams.cpuType = d->cpuType;
        if (method == MethodLzx) {
            d->codecParams.windowSize = uint32_t(1) << parameter;
        } else {
            d->codecParams.windowBits = parameter;
        }
        if (codec->create(&d->outputBlockSize, &d->codecParams, nullptr, nullptr,
                          &d->inputBufferSize, nullptr, nullptr) != CodecOk) {
            return failCreation(d, CodecFailed);
        }
    }

    d->inputBuffer = static_cast<uint8_t*>(d->io.alloc(d->inputBufferSize + kCodecInputSlack));
    if (d->inputBuffer == nullptr) return failCreation(d, NoMemory);
    d->outputBuffer = static_cast<uint8_t*>(d->io.alloc(d->outputBlockSize));
    if (d->outputBuffer == nullptr) {
        d->io.free(d->inputBuffer);
        d->inputBuffer = nullptr;
        return failCreation(d, NoMemory);
    }
    // Start from known contents: a damaged stream may read history before
    // the folder's first byte, and must see the same bytes every run.
    memset(d->inputBuffer, 0, d->inputBufferSize + kCodecInputSlack);
    memset(d->outputBuffer, 0, d->outputBlockSize);

    if (codec != nullptr) {
        CodecFileCallbacks files{d->io.open, d->io.read, d->io.write, d->io.close, d->io.seek};
        int result = codec->create(&d->outputBlockSize, &d->codecParams, d->io.alloc, d->io.free,
                                   &d->inputBufferSize, &d->codec, &files);
        if (result != CodecOk) {
            freeBuffers(d);
            return failCreation(d, result == CodecNoMemory ? NoMemory : CodecFailed);
        }
        d->codecTable = codec;
    }
    return true;
}

bool resetCodec(CabDecoder* d) {
    uint16_t method = compressionMethod(d->compressionType);
    if (method == MethodNone || method == MethodNotLoaded) return true;
    if (!methodHasCodec(method)) return setError(d, UnknownMethod);
    if (d->codecTable->reset(d->codec) != CodecOk) return setError(d, CodecFailed);
    return true;
}

bool decompressBlock(CabDecoder* d, uint16_t* size) {
    uint16_t method = compressionMethod(d->compressionType);
    uint16_t cbData = blockDataSize(d);
    if (method == MethodNone) {
        // The input buffer holds at most 32,768 bytes, the output buffer's size.
        memcpy(d->outputBuffer, d->inputBuffer, cbData);
        *size = cbData;
        return true;
    }
    if (!methodHasCodec(method)) return setError(d, UnknownMethod);
    uint32_t produced;
    if (d->codecTable->wantsExactSize) {
        // A block can never be larger than the output buffer.
        if (*size > d->outputBlockSize) return setError(d, CodecFailed);
        produced = *size;
    } else {
        produced = d->outputBlockSize;
    }
    if (d->codecTable->decompress(d->codec, d->inputBuffer, cbData, d->outputBuffer, &produced) !=
        CodecOk) {
        return setError(d, CodecFailed);
    }
    if (produced > d->outputBlockSize) return setError(d, CodecFailed);
    *size = uint16_t(produced);
    return true;
}

}  // namespace cab
