// A file built to make the search for embedded cabinets expensive: a real
// cabinet, then 64 hand-made headers whose reserve areas all lead to one
// table of 65,535 folder records (the last of them bad) and to one file
// entry, so that each candidate passes every other check and is refused only
// at its last record.
#pragma once

#include <cstdint>
#include <vector>

namespace cabtooltest {

struct CostlyCandidates {
    std::vector<uint8_t> bytes;
    size_t firstCandidate = 0;  // offset of the first hand-made header
    size_t lastRecord = 0;      // offset of the bad folder record
    static constexpr size_t kFolders = 65535;
};

inline CostlyCandidates costlyCandidatesAfter(const std::vector<uint8_t>& realCabinet) {
    auto put16 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
        b[at] = uint8_t(v);
        b[at + 1] = uint8_t(v >> 8);
    };
    auto put32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    CostlyCandidates c;
    c.firstCandidate = realCabinet.size() + 100;
    const size_t candidates = 64, spacing = 64;
    const size_t table = c.firstCandidate + candidates * spacing;
    const size_t fileEntry = table + CostlyCandidates::kFolders * 8;
    const size_t end = fileEntry + 18 + 1000;
    c.lastRecord = table + (CostlyCandidates::kFolders - 1) * 8;
    c.bytes.assign(end, 0);
    std::copy(realCabinet.begin(), realCabinet.end(), c.bytes.begin());
    for (size_t i = 0; i < CostlyCandidates::kFolders; ++i) {
        put32(c.bytes, table + i * 8, uint32_t(end - c.firstCandidate - 100));  // data start
        put16(c.bytes, table + i * 8 + 6, 0x0000);                             // stored
    }
    put16(c.bytes, c.lastRecord + 6, 0x0005);  // no such method
    put16(c.bytes, fileEntry + 8, 0);
    c.bytes[fileEntry + 16] = 'a';
    for (size_t n = 0; n < candidates; ++n) {
        const size_t at = c.firstCandidate + n * spacing;
        c.bytes[at] = 'M';
        c.bytes[at + 1] = 'S';
        c.bytes[at + 2] = 'C';
        c.bytes[at + 3] = 'F';
        put32(c.bytes, at + 8, uint32_t(end - at));         // cbCabinet
        put32(c.bytes, at + 16, uint32_t(fileEntry - at));  // coffFiles
        put16(c.bytes, at + 24, 0x0103);
        put16(c.bytes, at + 26, CostlyCandidates::kFolders);
        put16(c.bytes, at + 28, 1);
        put16(c.bytes, at + 30, 0x0004);                      // reserve present
        put16(c.bytes, at + 36, uint32_t(table - (at + 40)));  // cabinet reserve up to the table
    }
    return c;
}

}  // namespace cabtooltest
