#include "pe_image.h"

#include <fstream>
#include <iterator>

namespace {
constexpr uint32_t kSubdirectoryFlag = 0x80000000u;
constexpr size_t kResourceDirectoryIndex = 2;
}  // namespace

uint16_t PeImage::u16(size_t at) const {
    if (at + 2 > bytes_.size()) return 0;
    return static_cast<uint16_t>(bytes_[at] | bytes_[at + 1] << 8);
}

uint32_t PeImage::u32(size_t at) const {
    return static_cast<uint32_t>(u16(at)) | static_cast<uint32_t>(u16(at + 2)) << 16;
}

bool PeImage::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return error_ = "cannot open " + path, false;
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (bytes_.size() < 0x40 || bytes_[0] != 'M' || bytes_[1] != 'Z') return error_ = "no MZ header", false;
    uint32_t pe = u32(0x3C);
    if (u32(pe) != 0x00004550) return error_ = "no PE signature", false;
    machine_ = u16(pe + 4);
    uint16_t sectionCount = u16(pe + 6);
    uint16_t optionalSize = u16(pe + 20);
    size_t optional = pe + 24;
    optionalMagic_ = u16(optional);
    if (optionalMagic_ != 0x10B) return error_ = "not a PE32 optional header", false;
    subsystem_ = u16(optional + 68);
    uint32_t resourceRva = u32(optional + 96 + 8 * kResourceDirectoryIndex);
    size_t table = optional + optionalSize;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        size_t at = table + 40u * i;
        sections_.push_back({u32(at + 12), u32(at + 8), u32(at + 20), u32(at + 16)});
    }
    auto base = fileOffset(resourceRva);
    if (resourceRva == 0 || !base) return error_ = "no resource directory", false;
    resourceBase_ = *base;
    return true;
}

std::optional<uint32_t> PeImage::fileOffset(uint32_t rva) const {
    for (const Section& s : sections_) {
        uint32_t span = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
        if (rva >= s.virtualAddress && rva - s.virtualAddress < span) {
            uint32_t offset = s.rawOffset + (rva - s.virtualAddress);
            if (offset < bytes_.size()) return offset;
        }
    }
    return std::nullopt;
}

// The OffsetToData of the directory entry with this id (or of the first
// entry), relative to the resource section.
std::optional<uint32_t> PeImage::findEntry(uint32_t directory, uint32_t id, bool first) const {
    size_t at = resourceBase_ + directory;
    uint32_t count = static_cast<uint32_t>(u16(at + 12)) + u16(at + 14);
    for (uint32_t i = 0; i < count; ++i) {
        size_t entry = at + 16 + 8u * i;
        if (first || u32(entry) == id) return u32(entry + 4);
    }
    return std::nullopt;
}

std::optional<PeImage::Resource> PeImage::resource(uint32_t type, uint32_t id) const {
    auto typeDir = findEntry(0, type, false);
    if (!typeDir || !(*typeDir & kSubdirectoryFlag)) return std::nullopt;
    auto nameDir = findEntry(*typeDir & ~kSubdirectoryFlag, id, false);
    if (!nameDir || !(*nameDir & kSubdirectoryFlag)) return std::nullopt;
    size_t languageDir = resourceBase_ + (*nameDir & ~kSubdirectoryFlag);
    if (static_cast<uint32_t>(u16(languageDir + 12)) + u16(languageDir + 14) == 0) return std::nullopt;
    uint32_t language = u32(languageDir + 16);
    uint32_t dataEntry = u32(languageDir + 20);
    if (dataEntry & kSubdirectoryFlag) return std::nullopt;
    size_t entry = resourceBase_ + dataEntry;
    auto offset = fileOffset(u32(entry));
    uint32_t size = u32(entry + 4);
    if (!offset || *offset + static_cast<size_t>(size) > bytes_.size()) return std::nullopt;
    return Resource{language, std::vector<uint8_t>(bytes_.begin() + *offset,
                                                   bytes_.begin() + *offset + size)};
}
