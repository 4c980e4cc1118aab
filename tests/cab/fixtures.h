// Small builders for decoder test cabinets.
#pragma once

#include "tests/cab/recording_client.h"
#include "tools/cabwriter/cab_writer.h"

#include <cstdint>
#include <string>

namespace fixtures {

// Deterministic bytes, different for every seed.
inline cabwriter::Bytes pattern(size_t size, uint32_t seed) {
    cabwriter::Bytes b(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& byte : b) {
        x = x * 1664525u + 1013904223u;
        byte = uint8_t(x >> 24);
    }
    return b;
}

inline cabwriter::File file(const std::string& name, size_t size, uint32_t seed,
                            uint16_t attribs = 0x20) {
    cabwriter::File f;
    f.name = name;
    f.data = pattern(size, seed);
    f.attribs = attribs;
    return f;
}

inline cabwriter::Folder stored(std::vector<cabwriter::File> files, uint32_t blockSize = 32768) {
    cabwriter::Folder folder;
    folder.method = cabwriter::Method::Stored;
    folder.files = std::move(files);
    folder.blockSize = blockSize;
    return folder;
}

// A fresh in-memory world: files, recorder and a decoder with its error record.
struct World {
    CabError error{};
    CabDecoder* decoder = nullptr;
    World() {
        memfiles::reset();
        recording::reset();
        decoder = memfiles::createDecoder(&error);
    }
    ~World() {
        if (decoder != nullptr) cabDestroy(decoder);
        memfiles::reset();
    }
    World(const World&) = delete;
    World& operator=(const World&) = delete;
};

}  // namespace fixtures
