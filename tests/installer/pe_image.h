// A small reader of Portable Executable files for the installer's tests:
// the file header facts and the resource directory (type / id / language).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class PeImage {
public:
    // Loads and checks the headers; false with a reason in error() otherwise.
    bool load(const std::string& path);
    const std::string& error() const { return error_; }

    uint16_t machine() const { return machine_; }
    uint16_t optionalMagic() const { return optionalMagic_; }
    uint16_t subsystem() const { return subsystem_; }

    struct Resource {
        uint32_t language;
        std::vector<uint8_t> data;
    };
    // The first language of the resource with this numeric type and id.
    std::optional<Resource> resource(uint32_t type, uint32_t id) const;

private:
    std::optional<uint32_t> fileOffset(uint32_t rva) const;
    std::optional<uint32_t> findEntry(uint32_t directory, uint32_t id, bool first) const;
    uint16_t u16(size_t at) const;
    uint32_t u32(size_t at) const;

    struct Section {
        uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
    };
    std::vector<uint8_t> bytes_;
    std::vector<Section> sections_;
    std::string error_;
    uint16_t machine_ = 0, optionalMagic_ = 0, subsystem_ = 0;
    uint32_t resourceBase_ = 0;  // file offset of the root resource directory
};
