// SHA-256 of a byte string, for checking decoded files against the digests
// a corpus manifest records.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace testsupport {

// Incremental SHA-256: feed bytes with update(), then take the digest once.
class Sha256 {
public:
    Sha256();
    void update(const void* data, size_t size);
    std::array<uint8_t, 32> digest();
    std::string hexDigest();  // 64 lowercase hex digits

private:
    void compress(const uint8_t* block);
    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> pending_{};
    size_t pendingSize_ = 0;
    uint64_t totalBytes_ = 0;
};

std::string sha256Hex(const void* data, size_t size);

}  // namespace testsupport
