// The window kept in 4 KB pages: as many buffers as memory allows (at least
// three) hold the most recently used pages, and pages pushed out while they
// hold unsaved bytes go to a spill file the client opens for the decoder.
#pragma once

#include "codecs/quantum/quantum_state.h"

namespace quantum {

// Opens the spill file and allocates the page table and buffers; false (with
// everything released) when fewer than three buffers can be had.
bool setupPagedWindow(Decoder& d);
// Forgets every page: the window counts as never written; page 0 is output.
void resetPages(Decoder& d);
// Frees the table and buffers and closes the spill file.
void releasePages(Decoder& d);
// The buffer holding the page, brought in (and another spilled) if needed;
// null when the page cannot be had.
WindowPage* getPage(Decoder& d, int32_t index, bool forWrite);

struct PagedWindow {
    static void putLiteral(Decoder& d, uint8_t byte);
    static void copyMatch(Decoder& d, uint32_t length, uint32_t distance);
};

}  // namespace quantum
