#include "archive/open/header_facts.h"

#include <unistd.h>

#include <cstring>

namespace cabarchive {
namespace {

constexpr size_t kFixedHeader = 36;    // signature to iCabinet
constexpr size_t kReserveSizes = 4;    // cbCFHeader, cbCFFolder, cbCFData
constexpr uint16_t kReservePresent = 0x0004;

uint16_t le16(const uint8_t* at) { return uint16_t(at[0] | (at[1] << 8)); }

// Reads up to `size` bytes at `offset`; the number read.
size_t readAt(int fd, uint64_t offset, uint8_t* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t got = pread(fd, buffer + done, size - done, off_t(offset + done));
        if (got <= 0) break;
        done += size_t(got);
    }
    return done;
}

}  // namespace

bool readHeaderFacts(int fd, uint64_t offset, CabArchiveHeaderFacts& facts, std::string& problem) {
    uint8_t header[kFixedHeader + kReserveSizes] = {};
    const size_t got = readAt(fd, offset, header, sizeof header);
    if (got < 4 || std::memcmp(header, "MSCF", 4) != 0) {
        problem = "no cabinet signature";
        return false;
    }
    if (got < kFixedHeader) {
        problem = "the cabinet header is cut short";
        return false;
    }
    facts.versionMinor = header[24];
    facts.versionMajor = header[25];
    facts.flags = le16(header + 30);
    facts.setId = le16(header + 32);
    facts.indexInSet = le16(header + 34);
    facts.headerReserve = facts.folderReserve = facts.blockReserve = 0;
    if ((facts.flags & kReservePresent) != 0) {
        if (got < kFixedHeader + kReserveSizes) {
            problem = "the reserve sizes are cut short";
            return false;
        }
        facts.headerReserve = le16(header + 36);
        facts.folderReserve = header[38];
        facts.blockReserve = header[39];
    }
    return true;
}

}  // namespace cabarchive
