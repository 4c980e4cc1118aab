// The decoder's memory and file callbacks over POSIX, and decoder creation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cab/cab.h"
#include "cab/cab_owner.h"

namespace cabtool {

// A handle that accepts and discards everything written to it: `test`
// decodes files into it. No file descriptor ever has this value.
constexpr int32_t kDiscardHandle = 0x7FFF0000;

// Creates a decoder over the POSIX callbacks, destroyed with its owner;
// empty when out of memory.
CabDecoderOwner createPosixDecoder(CabError* error);

// The callbacks that decoder works through, for reading a cabinet's
// directory as the decoder would: a cabinet inside another file is read from
// where it begins, and salvaged checksums read as the decoder sees them.
const CabIoCallbacks& posixCallbacks();

// Salvage: every handle the decoder opens on the cabinet `path` from now on
// reads the 4-byte csum fields at `csumOffsets` (positions in the cabinet)
// as 0, so that those blocks, whose checksum does not match, are decoded
// anyway. Replaces what was set for `path` before.
void ignoreChecksumsAt(const std::string& path, const std::vector<uint32_t>& csumOffsets);

// Whether checksums are ignored anywhere in the cabinet `path`.
bool ignoresChecksumsIn(const std::string& path);

// Why the temporary file for a paged Quantum window could not be created
// since the last call, or empty. The codec reports that failure as running
// out of memory; this says where and why instead.
std::string takeWindowFileProblem();

}  // namespace cabtool
