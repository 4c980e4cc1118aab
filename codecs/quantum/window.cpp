// Where an instance's history window lives: one block of memory when it can
// be had, else the paged store. Decided once, at creation.
#include "codecs/quantum/block_decoder.h"
#include "codecs/quantum/paged_window.h"
#include "codecs/quantum/quantum.h"

namespace quantum {

bool setupWindow(Decoder& d, uint32_t windowBits) {
    d.position = 0;
    d.pageFailure = false;
    d.windowBits = windowBits;
    d.windowSize = uint32_t(1) << windowBits;
    d.windowMask = d.windowSize - 1;
    d.window = static_cast<uint8_t*>(d.alloc(quantumWindowAllocationSize(windowBits)));
    if (d.window != nullptr) {
        // Not cleared: no match may read a byte its folder has not written.
        d.decodeBlock = memoryBlockDecoder();
    } else {
        if (!setupPagedWindow(d)) return false;
        d.decodeBlock = pagedBlockDecoder();
    }
    initModels(d);
    return true;
}

void releaseWindow(Decoder& d) {
    if (d.window != nullptr) {
        d.free(d.window);
        d.window = nullptr;
    } else {
        releasePages(d);
    }
}

}  // namespace quantum

uint32_t quantumPageAllocationSize() { return sizeof(quantum::WindowPage); }
