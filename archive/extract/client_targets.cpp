#include "archive/extract/client_targets.h"

#include <new>

namespace cabarchive {
namespace {
constexpr const char* kDeclined = "declined by the client";
constexpr const char* kStopped = "stopped by the client";
}  // namespace

Offer SinkTarget::begin(uint32_t index, const CabArchiveEntry& entry) {
    current_ = index;
    const int answer = sink_.begin != nullptr ? sink_.begin(sink_.context, index, &entry) : 1;
    if (answer < 0) return Offer{Offer::Action::Stop, CabOutcomeStopped, kStopped};
    if (answer == 0) return Offer{Offer::Action::Settle, CabOutcomeSkipped, kDeclined};
    return Offer{};
}

bool SinkTarget::write(const uint8_t* data, uint32_t size) {
    return sink_.write == nullptr || sink_.write(sink_.context, current_, data, size) == 0;
}

int32_t SinkTarget::end(uint32_t index, int32_t outcome, std::string& /*reason*/) {
    if (sink_.end != nullptr) sink_.end(sink_.context, index, outcome);
    return outcome;
}

Offer MemoryTarget::begin(uint32_t /*index*/, const CabArchiveEntry& /*entry*/) {
    bytes_.clear();
    outOfMemory_ = false;
    return Offer{};
}

bool MemoryTarget::write(const uint8_t* data, uint32_t size) {
    if (outOfMemory_) return true;
    try {
        bytes_.insert(bytes_.end(), data, data + size);
    } catch (const std::bad_alloc&) {
        outOfMemory_ = true;
        bytes_ = std::vector<uint8_t>();
    }
    return true;
}

int32_t MemoryTarget::end(uint32_t /*index*/, int32_t outcome, std::string& reason) {
    if (outcome == CabOutcomeExtracted && outOfMemory_) {
        outcome = CabOutcomeOutputFailed;
        reason = "out of memory";
    }
    if (outcome != CabOutcomeExtracted) bytes_ = std::vector<uint8_t>();
    return outcome;
}

}  // namespace cabarchive
