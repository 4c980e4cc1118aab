// Files, folders and cabinets the cabtool tests make with the cabinet writer.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tools/cabwriter/cab_writer.h"

namespace cabtooltest {

// A file of `size` bytes that differ from one seed to another.
inline cabwriter::File makeFile(std::string name, size_t size, uint8_t seed,
                                uint16_t attribs = 0x20) {
    cabwriter::File f;
    f.name = std::move(name);
    for (size_t i = 0; i < size; ++i) f.data.push_back(uint8_t(seed + i * 13 + i / 97));
    f.attribs = attribs;
    return f;
}

inline std::string text(const cabwriter::Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

inline cabwriter::Folder storedFolder(std::vector<cabwriter::File> files,
                                      uint32_t blockSize = 1000) {
    cabwriter::Folder folder;
    folder.blockSize = blockSize;
    folder.files = std::move(files);
    return folder;
}

inline void save(const cabwriter::Cabinet& cabinet, const std::filesystem::path& directory) {
    ASSERT_TRUE(cabwriter::saveCabinet(cabinet, directory.string()));
}

}  // namespace cabtooltest
