// Finding cabinets stored inside other files, such as self-extracting
// programs: every place that holds a sound cabinet header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cabarchive {

struct EmbeddedCabinet {
    uint64_t offset = 0;  // where the cabinet begins in the file
    uint32_t size = 0;    // its declared size (cbCabinet)
};

// Searches the whole file at `path` once, front to back, through a memory
// mapping. A candidate is accepted only when isSoundCabinet says so; the
// search then goes on after the cabinet's end, so a cabinet stored inside an
// accepted one is not reported again. False (and `problem` set) when the file
// cannot be read. A search that gives up early, on a file built to make the
// header checks expensive, keeps what it found and says where it stopped in
// `problem`; otherwise `problem` is left empty.
bool findEmbeddedCabinets(const std::string& path, std::vector<EmbeddedCabinet>& found,
                          std::string& problem);

// The same search over `size` bytes in memory; `problem` is set only when
// the search gives up early.
void findEmbeddedCabinetsIn(const uint8_t* bytes, size_t size, std::vector<EmbeddedCabinet>& found,
                            std::string& problem);

}  // namespace cabarchive
