// A small reader of cabinet images, written apart from the writer so that
// the tests check the bytes rather than the writer's own bookkeeping; and
// zlib's inflate as the reference for MSZIP blocks.
#pragma once

#include "cab/cab.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace parsed {

using Bytes = std::vector<uint8_t>;

struct Block {
    uint32_t offset;
    uint32_t csum;
    uint16_t cbData, cbUncomp;
    Bytes reserve, data;
    bool checksumOk;  // csum matches data and header (or csum is 0)
};

struct Folder {
    uint32_t offset, coffCabStart;
    uint16_t cCFData, typeCompress;
    Bytes reserve;
    std::vector<Block> blocks;
};

struct File {
    uint32_t offset, cbFile, uoffFolderStart;
    uint16_t iFolder, date, time, attribs;
    std::string name;
};

struct Cabinet {
    uint32_t cbCabinet, coffFiles;
    uint16_t version, cFolders, cFiles, flags, setId, iCabinet;
    uint16_t cbCFHeader = 0;
    uint8_t cbCFFolder = 0, cbCFData = 0;
    Bytes cabinetReserve;
    std::string previousCabinet, previousDisk, nextCabinet, nextDisk;
    uint32_t folderTableOffset;
    std::vector<Folder> folders;
    std::vector<File> files;
};

// Reads fields at a cursor; running off the image throws.
class Reader {
public:
    Reader(const Bytes& image, size_t at) : image_(image), at_(at) {}
    uint32_t u(int bytes) {
        need(size_t(bytes));
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) v |= uint32_t(image_[at_ + size_t(i)]) << (8 * i);
        at_ += size_t(bytes);
        return v;
    }
    Bytes take(size_t n) {
        need(n);
        Bytes b(image_.begin() + long(at_), image_.begin() + long(at_ + n));
        at_ += n;
        return b;
    }
    std::string name() {
        std::string s;
        for (uint8_t c; (c = uint8_t(u(1))) != 0;) s += char(c);
        return s;
    }
    size_t at() const { return at_; }

private:
    void need(size_t n) const {
        if (at_ + n > image_.size()) throw std::out_of_range("read past the cabinet image");
    }
    const Bytes& image_;
    size_t at_;
};

inline Cabinet parse(const Bytes& image) {
    Cabinet cab{};
    Reader r(image, 0);
    if (r.u(4) != 0x4643534D) throw std::runtime_error("no MSCF signature");
    r.u(4);
    cab.cbCabinet = r.u(4);
    r.u(4);
    cab.coffFiles = r.u(4);
    r.u(4);
    cab.version = uint16_t(r.u(2));
    cab.cFolders = uint16_t(r.u(2));
    cab.cFiles = uint16_t(r.u(2));
    cab.flags = uint16_t(r.u(2));
    cab.setId = uint16_t(r.u(2));
    cab.iCabinet = uint16_t(r.u(2));
    if (cab.flags & 4) {
        cab.cbCFHeader = uint16_t(r.u(2));
        cab.cbCFFolder = uint8_t(r.u(1));
        cab.cbCFData = uint8_t(r.u(1));
        cab.cabinetReserve = r.take(cab.cbCFHeader);
    }
    if (cab.flags & 1) {
        cab.previousCabinet = r.name();
        cab.previousDisk = r.name();
    }
    if (cab.flags & 2) {
        cab.nextCabinet = r.name();
        cab.nextDisk = r.name();
    }
    cab.folderTableOffset = uint32_t(r.at());
    for (int i = 0; i < cab.cFolders; ++i) {
        Folder f{};
        f.offset = uint32_t(r.at());
        f.coffCabStart = r.u(4);
        f.cCFData = uint16_t(r.u(2));
        f.typeCompress = uint16_t(r.u(2));
        f.reserve = r.take(cab.cbCFFolder);
        Reader blocks(image, f.coffCabStart);
        for (int b = 0; b < f.cCFData; ++b) {
            Block k{};
            k.offset = uint32_t(blocks.at());
            k.csum = blocks.u(4);
            k.cbData = uint16_t(blocks.u(2));
            k.cbUncomp = uint16_t(blocks.u(2));
            k.reserve = blocks.take(cab.cbCFData);
            k.data = blocks.take(k.cbData);
            uint32_t sum = blockChecksum(k.data.data(), k.cbData, 0);
            sum = blockChecksum(image.data() + k.offset + 4, 4u + cab.cbCFData, sum);
            k.checksumOk = k.csum == 0 || k.csum == sum;
            f.blocks.push_back(std::move(k));
        }
        cab.folders.push_back(std::move(f));
    }
    Reader files(image, cab.coffFiles);
    for (int i = 0; i < cab.cFiles; ++i) {
        File f{};
        f.offset = uint32_t(files.at());
        f.cbFile = files.u(4);
        f.uoffFolderStart = files.u(4);
        f.iFolder = uint16_t(files.u(2));
        f.date = uint16_t(files.u(2));
        f.time = uint16_t(files.u(2));
        f.attribs = uint16_t(files.u(2));
        f.name = files.name();
        cab.files.push_back(std::move(f));
    }
    return cab;
}

// Inflates one MSZIP block with `history` as the Deflate dictionary; the
// Deflate stream must end exactly at the end of the block.
inline Bytes inflateMszip(const Bytes& block, const Bytes& history) {
    EXPECT_GE(block.size(), 2u);
    EXPECT_EQ(block[0], 'C');
    EXPECT_EQ(block[1], 'K');
    z_stream s{};
    EXPECT_EQ(inflateInit2(&s, -15), Z_OK);
    if (!history.empty()) {
        EXPECT_EQ(inflateSetDictionary(&s, history.data(), uInt(history.size())), Z_OK);
    }
    Bytes out(65536);
    s.next_in = const_cast<Bytef*>(block.data() + 2);
    s.avail_in = uInt(block.size() - 2);
    s.next_out = out.data();
    s.avail_out = uInt(out.size());
    EXPECT_EQ(inflate(&s, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(s.avail_in, 0u) << "bytes after the end of the Deflate stream";
    out.resize(s.total_out);
    inflateEnd(&s);
    return out;
}

}  // namespace parsed
