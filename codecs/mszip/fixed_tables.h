// The decoding tables of Deflate's fixed codes, built once per process and
// shared by every MSZIP instance.
#pragma once

#include "codecs/mszip/huffman_table.h"

constexpr uint32_t kFixedLiteralCapacity = 520;  // the build uses 512
constexpr uint32_t kFixedDistanceCapacity = 32;
constexpr uint32_t kFixedLiteralBits = 9;
constexpr uint32_t kFixedDistanceBits = 5;

extern HuffmanEntry fixedLiteralTable[kFixedLiteralCapacity];
extern HuffmanEntry fixedDistanceTable[kFixedDistanceCapacity];
extern uint32_t fixedTablesBuilt;

// Builds both fixed tables. The distance code leaves codes 30 and 31 unused,
// which is accepted here (they decode as InvalidCode).
HuffmanResult buildFixedTables();
