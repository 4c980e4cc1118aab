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

void putLiteralPaged(Decoder& d, uint8_t byte);
void copyMatchPaged(Decoder& d, uint32_t length, uint32_t distance);

// The block's output through the paged store, for the block decoder; the
// cursor stays in the instance, where the store's routines keep it.
class PagedWindow {
public:
    explicit PagedWindow(Decoder& d) : d_(d) {}
    uint32_t owed() const { return d_.outLeft; }
    void putLiteral(uint8_t byte) { putLiteralPaged(d_, byte); }
    void copyMatch(uint32_t length, uint32_t distance) { copyMatchPaged(d_, length, distance); }
    void finish() {}

private:
    Decoder& d_;
};

}  // namespace quantum
