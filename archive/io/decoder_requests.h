// Recognising what the decoder asks of its memory and file callbacks, for
// clients that treat some requests specially.
#pragma once

#include <cstdint>
#include <vector>

namespace cabarchive {

// Whether an allocation of `size` bytes is the Quantum codec asking for a
// window in one piece (refusing it makes the codec page the window).
bool isQuantumWindowRequest(uint32_t size);

// Clears the 4-byte csum fields at `csumOffsets` (cabinet positions) that
// overlap the `count` bytes just read into `buffer` from position `at`, so
// that the decoder takes those blocks whatever their checksum.
void clearIgnoredChecksums(const std::vector<uint32_t>& csumOffsets, uint64_t at, uint8_t* buffer,
                           uint32_t count);

}  // namespace cabarchive
