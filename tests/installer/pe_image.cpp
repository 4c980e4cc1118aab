#include "pe_image.h"

#include <algorithm>
#include <fstream>
#include <iterator>

uint8_t ByteCursor::u8() {
    if (at >= bytes.size()) return overrun = true, 0;
    return bytes[at++];
}

uint16_t ByteCursor::u16() {
    uint16_t low = u8();
    return static_cast<uint16_t>(low | u8() << 8);
}

uint32_t ByteCursor::u32() {
    uint32_t low = u16();
    return low | static_cast<uint32_t>(u16()) << 16;
}

std::string ByteCursor::text() {
    std::string s;
    for (uint16_t c = u16(); c != 0 && !overrun; c = u16()) s += static_cast<char>(c);
    return s;
}

std::string ByteCursor::nameOrOrdinal() {
    if (at + 1 < bytes.size() && bytes[at] == 0xFF && bytes[at + 1] == 0xFF) {
        at += 2;
        return "#" + std::to_string(u16());
    }
    return text();
}

uint32_t PeImage::u32(size_t at) const {
    ByteCursor c{bytes, at};
    return c.u32();
}

bool PeImage::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return false;
    ByteCursor c{bytes, u32(0x3C)};
    if (c.u32() != 0x00004550) return false;  // "PE\0\0"
    machine = c.u16();
    uint16_t sectionCount = c.u16();
    c.at += 12;
    uint16_t optionalSize = c.u16();
    c.at += 2;
    size_t optional = c.at;
    optionalMagic = c.u16();
    c.at = optional + 68;
    subsystem = c.u16();
    uint32_t resourceRva = u32(optional + 96 + 2 * 8);  // data directory 2
    for (uint16_t i = 0; i < sectionCount; ++i) {
        size_t at = optional + optionalSize + 40u * i;
        sections_.push_back({u32(at + 12), std::max(u32(at + 8), u32(at + 16)), u32(at + 20)});
    }
    auto base = fileOffset(resourceRva);
    resourceBase_ = base.value_or(0);
    return optionalMagic == 0x10B && resourceRva != 0 && base;
}

std::optional<uint32_t> PeImage::fileOffset(uint32_t rva) const {
    for (const Section& s : sections_) {
        if (rva >= s.address && rva - s.address < s.size) return s.rawOffset + (rva - s.address);
    }
    return std::nullopt;
}

// OffsetToData of the entry with this id (any entry without an id), relative
// to the resource directory.
std::optional<uint32_t> PeImage::entry(uint32_t directory, std::optional<uint32_t> id) const {
    size_t at = resourceBase_ + directory;
    ByteCursor c{bytes, at + 12};
    uint32_t count = c.u16();
    count += c.u16();
    for (uint32_t i = 0; i < count; ++i) {
        if (!id || u32(at + 16 + 8u * i) == *id) return u32(at + 20 + 8u * i);
    }
    return std::nullopt;
}

std::optional<PeImage::Resource> PeImage::resource(uint32_t type, uint32_t id) const {
    constexpr uint32_t kSubdirectory = 0x80000000u;
    auto names = entry(0, type);
    if (!names || !(*names & kSubdirectory)) return std::nullopt;
    auto languages = entry(*names & ~kSubdirectory, id);
    if (!languages || !(*languages & kSubdirectory)) return std::nullopt;
    uint32_t languageDir = *languages & ~kSubdirectory;
    auto data = entry(languageDir, std::nullopt);
    if (!data || (*data & kSubdirectory)) return std::nullopt;
    uint32_t language = u32(resourceBase_ + languageDir + 16);
    auto offset = fileOffset(u32(resourceBase_ + *data));
    uint32_t size = u32(resourceBase_ + *data + 4);
    if (!offset || *offset + static_cast<size_t>(size) > bytes.size()) return std::nullopt;
    return Resource{language, {bytes.begin() + *offset, bytes.begin() + *offset + size}};
}
