// A small reader of 32-bit Portable Executable files for the installer's
// tests: header facts and resources by numeric type and id.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Little-endian reads that stop at the end of the bytes: reading past it
// yields zeros and sets `overrun`.
struct ByteCursor {
    const std::vector<uint8_t>& bytes;
    size_t at = 0;
    bool overrun = false;

    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    std::string text();           // UTF-16 (ASCII) up to its NUL
    std::string nameOrOrdinal();  // "#<n>" for an ordinal, else the text
    void alignTo4() { at = (at + 3) & ~size_t{3}; }
};

struct PeImage {
    std::vector<uint8_t> bytes;
    uint16_t machine = 0, optionalMagic = 0, subsystem = 0;

    // Loads the file; false when it is no PE32 image with resources.
    bool load(const std::string& path);

    struct Resource {
        uint32_t language;
        std::vector<uint8_t> data;
    };
    // The first language of the resource with this type and id.
    std::optional<Resource> resource(uint32_t type, uint32_t id) const;

private:
    struct Section {
        uint32_t address, size, rawOffset;
    };
    std::vector<Section> sections_;
    uint32_t resourceBase_ = 0;  // file offset of the root resource directory
    std::optional<uint32_t> fileOffset(uint32_t rva) const;
    uint32_t u32(size_t at) const;
    std::optional<uint32_t> entry(uint32_t directory, std::optional<uint32_t> id) const;
};
