// Extraction targets that hand entries' bytes to the client: its sink, or
// one buffer in memory.
#pragma once

#include <vector>

#include "archive/extract/entry_target.h"

namespace cabarchive {

// The client's begin, write and end callbacks.
class SinkTarget final : public EntryTarget {
public:
    explicit SinkTarget(const CabArchiveSink& sink) : sink_(sink) {}
    Offer begin(uint32_t index, const CabArchiveEntry& entry) override;
    bool write(const uint8_t* data, uint32_t size) override;
    int32_t end(uint32_t index, int32_t outcome, std::string& reason) override;

private:
    const CabArchiveSink& sink_;
    uint32_t current_ = 0;
};

// The bytes of the entries taken, each in a buffer of its own; only a
// completed entry's buffer is kept.
class MemoryTarget final : public EntryTarget {
public:
    Offer begin(uint32_t index, const CabArchiveEntry& entry) override;
    bool write(const uint8_t* data, uint32_t size) override;
    int32_t end(uint32_t index, int32_t outcome, std::string& reason) override;
    std::vector<uint8_t>& bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    bool outOfMemory_ = false;
};

}  // namespace cabarchive
