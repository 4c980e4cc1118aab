// Puts the logging copy codec behind method 3. Defining codecForMethod here
// keeps the real registry out of the test executable.
#include "cab/codec.h"
#include "tests/cab/fake_codec.h"

#include <cstring>

namespace fakecodec {
namespace {

constexpr uint32_t kSignature = 0x454B4146;  // "FAKE" in memory order

struct Instance {
    uint32_t signature;
    CodecFreeFn free;
};

Behaviour behaviourNow;
std::vector<std::string> log;

int create(uint32_t* outputBlockSize, const CodecParams* params, CodecAllocFn alloc,
           CodecFreeFn free, uint32_t* inputBufferSize, void** handle,
           const CodecFileCallbacks* files) {
    *inputBufferSize = *outputBlockSize;
    std::string window = std::to_string(params->windowSize);
    if (handle == nullptr) {
        log.push_back("query " + window);
        return CodecOk;
    }
    log.push_back("create " + window + (files != nullptr && files->open != nullptr ? " files" : ""));
    if (behaviourNow.createResult != CodecOk) return behaviourNow.createResult;
    auto* instance = static_cast<Instance*>(alloc(sizeof(Instance)));
    if (instance == nullptr) return CodecNoMemory;
    instance->signature = kSignature;
    instance->free = free;
    *handle = instance;
    return CodecOk;
}

int decompress(void* handle, const uint8_t* input, uint32_t inputSize, uint8_t* output,
               uint32_t* outputSize) {
    if (static_cast<Instance*>(handle)->signature != kSignature) return CodecBadHandle;
    log.push_back("block " + std::to_string(*outputSize));
    if (behaviourNow.decompressResult != CodecOk) return behaviourNow.decompressResult;
    if (inputSize != *outputSize) return CodecBadData;
    memcpy(output, input, inputSize);
    return CodecOk;
}

int resetInstance(void* handle) {
    if (static_cast<Instance*>(handle)->signature != kSignature) return CodecBadHandle;
    log.push_back("reset");
    return behaviourNow.resetResult;
}

int destroy(void* handle) {
    auto* instance = static_cast<Instance*>(handle);
    if (instance->signature != kSignature) return CodecBadHandle;
    log.push_back("destroy");
    instance->signature = 0;
    instance->free(instance);
    return CodecOk;
}

const Codec copyCodec{create, decompress, resetInstance, destroy, true};

}  // namespace

void reset(Behaviour behaviour) {
    behaviourNow = behaviour;
    log.clear();
}

const std::vector<std::string>& calls() { return log; }

}  // namespace fakecodec

const Codec* codecForMethod(uint16_t method) {
    return method == MethodLzx ? &fakecodec::copyCodec : nullptr;
}
