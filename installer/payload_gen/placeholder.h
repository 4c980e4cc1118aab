// Placeholder contents for the installer's payload files.
#pragma once

#include <cstdint>
#include <vector>

#include "installer/payload_gen/payload_files.h"

// The file's contents: its headline, then 256-byte segments that are either
// word-like text or pseudo-random bytes, so that Deflate shrinks the whole to
// roughly half. The same file always gives the same bytes.
std::vector<uint8_t> placeholderContents(const PayloadFile& file);
