// The paged window store: page table, most-recently-used list of buffers,
// spill file, and the literal and match routines that write through it.
//
// Window page p holds window offsets p * 4096 onwards and lives at byte
// offset p * 4096 of the spill file. The output runs through the window's
// own pages only: a window of 1 or 2 KB is one short page, one of 4 or 8 KB
// one or two whole pages, so the output wraps at the window's end exactly
// where a match's source does, as in the in-memory window. Such windows
// still get three buffers.
#include "codecs/quantum/paged_window.h"

#include "cab/cab.h"
#include "codecs/quantum/copy_run.h"

namespace quantum {
namespace {

constexpr int kSeekFromStart = 0;

void moveToHead(Decoder& d, WindowPage* page) {
    if (d.mruHead == page) return;
    // Unlink; page is not the head, so it has a prev.
    page->prev->next = page->next;
    if (page->next != nullptr) {
        page->next->prev = page->prev;
    } else {
        d.mruTail = page->prev;
    }
    page->prev = nullptr;
    page->next = d.mruHead;
    d.mruHead->prev = page;
    d.mruHead = page;
}

bool transferPage(Decoder& d, int32_t index, WindowPage* page, bool write) {
    const int32_t offset = index * int32_t(kPageSize);
    if (d.files.seek(d.spillHandle, offset, kSeekFromStart) != offset) return false;
    const int moved = write ? d.files.write(d.spillHandle, page->data, kPageSize)
                            : d.files.read(d.spillHandle, page->data, kPageSize);
    return moved == int(kPageSize);
}

// Makes the page after the output page the new output page.
bool advanceOutputPage(Decoder& d) {
    int32_t next = d.outPage->pageIndex + 1;
    if (next >= d.pageCount) next = 0;
    WindowPage* page = getPage(d, next, true);
    if (page == nullptr) {
        d.pageFailure = true;
        d.outLeft = 0;
        return false;
    }
    d.outPage = page;
    d.pagePos = page->data;
    d.pageEnd = page->data + d.pageLength;
    return true;
}

void failBlock(Decoder& d) {
    d.pageFailure = true;
    d.outLeft = 0;
}

}  // namespace

bool setupPagedWindow(Decoder& d) {
    if (!d.hasFiles || d.files.open == nullptr) return false;
    // The name reads as "*", with the size of file wanted right behind it.
    char request[6] = {'*', 0, 0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) request[2 + i] = char((d.windowSize >> (8 * i)) & 0xFF);
    d.spillHandle = d.files.open(request, kCabSpillFlags, kCabOpenMode);
    if (d.spillHandle == -1) return false;

    d.pageLength = d.windowSize < kPageSize ? d.windowSize : kPageSize;
    d.pageCount = int32_t((d.windowSize + kPageSize - 1) / kPageSize);
    d.mruHead = nullptr;
    d.mruTail = nullptr;
    d.pageTable = static_cast<PageSlot*>(d.alloc(uint32_t(d.pageCount) * sizeof(PageSlot)));
    if (d.pageTable == nullptr) {
        d.files.close(d.spillHandle);
        return false;
    }
    // At most one buffer per window page, but three at least, so that a
    // match's source pages never have to evict the output page.
    const int32_t wanted = d.pageCount > int32_t(kMinPageBuffers) ? d.pageCount
                                                                   : int32_t(kMinPageBuffers);
    for (int32_t obtained = 0; obtained < wanted; ++obtained) {
        WindowPage* page = static_cast<WindowPage*>(d.alloc(sizeof(WindowPage)));
        if (page == nullptr) {
            if (obtained >= int32_t(kMinPageBuffers)) break;
            releasePages(d);
            return false;
        }
        page->prev = nullptr;
        page->next = d.mruHead;
        if (d.mruHead != nullptr) d.mruHead->prev = page;
        d.mruHead = page;
        if (d.mruTail == nullptr) d.mruTail = page;
    }
    resetPages(d);
    return true;
}

void resetPages(Decoder& d) {
    for (WindowPage* page = d.mruHead; page != nullptr; page = page->next) {
        page->pageIndex = -1;
        page->dirty = 0;
    }
    for (int32_t i = 0; i < d.pageCount; ++i) {
        d.pageTable[i].page = nullptr;
        d.pageTable[i].spilled = 0;
    }
    d.outPage = nullptr;
    // Every buffer is empty and none is being written: this cannot fail.
    d.outPage = getPage(d, 0, true);
    d.pagePos = d.outPage->data;
    d.pageEnd = d.outPage->data + d.pageLength;
}

void releasePages(Decoder& d) {
    d.free(d.pageTable);
    d.pageTable = nullptr;
    WindowPage* page = d.mruHead;
    while (page != nullptr) {
        WindowPage* next = page->next;
        d.free(page);
        page = next;
    }
    d.mruHead = nullptr;
    d.mruTail = nullptr;
    d.outPage = nullptr;
    d.files.close(d.spillHandle);
    d.spillHandle = -1;
}

WindowPage* getPage(Decoder& d, int32_t index, bool forWrite) {
    PageSlot& slot = d.pageTable[index];
    if (slot.page != nullptr) {
        moveToHead(d, slot.page);
        if (forWrite) slot.page->dirty = 1;
        return slot.page;
    }
    // The buffer being written is never given up to bring in another page.
    if (d.outPage == d.mruTail) return nullptr;

    WindowPage* victim = d.mruTail;
    if (victim->pageIndex != -1) {
        PageSlot& old = d.pageTable[victim->pageIndex];
        old.page = nullptr;
        if (victim->dirty) {
            if (!transferPage(d, victim->pageIndex, victim, true)) return nullptr;
            old.spilled = 1;
        }
        victim->pageIndex = -1;
        victim->dirty = 0;
    }
    moveToHead(d, victim);
    if (slot.spilled) {
        if (!transferPage(d, index, victim, false)) return nullptr;
    } else if (!forWrite) {
        // Never written since the last reset: nothing to read.
        return nullptr;
    }
    slot.page = victim;
    victim->dirty = forWrite ? 1 : 0;
    victim->pageIndex = index;
    return victim;
}

void putLiteralPaged(Decoder& d, uint8_t byte) {
    --d.outLeft;
    *d.outPos++ = byte;
    ++d.position;
    *d.pagePos++ = byte;
    if (d.pagePos == d.pageEnd) advanceOutputPage(d);
}

void copyMatchPaged(Decoder& d, uint32_t length, uint32_t distance) {
    if (d.outLeft < length || distance > d.position) {
        d.badMatch = true;
        d.outLeft = 0;
        return;
    }
    d.outLeft -= length;
    uint32_t source = uint32_t(d.position - distance) & d.windowMask;
    d.position += length;
    // Keep the output page off the tail while source pages are fetched.
    if (getPage(d, d.outPage->pageIndex, false) == nullptr) return failBlock(d);
    while (length != 0) {
        uint32_t chunk = uint32_t(d.pageEnd - d.pagePos);
        if (chunk > length) chunk = length;
        const WindowPage* from = getPage(d, int32_t(source / kPageSize), false);
        if (from == nullptr) return failBlock(d);
        const uint32_t offset = source % kPageSize;
        if (chunk > d.pageLength - offset) chunk = d.pageLength - offset;
        length -= chunk;
        source = (source + chunk) & d.windowMask;
        const uint8_t* src = from->data + offset;
        // A source in another buffer than the output page never overlaps it.
        if (from != d.outPage ||
            wordCopyIsSafe(offset, uint32_t(d.pagePos - d.outPage->data), chunk)) {
            copyRunByWords(d.pagePos, d.outPos, src, chunk);
        } else {
            for (uint32_t k = 0; k < chunk; ++k) {
                const uint8_t byte = src[k];
                d.pagePos[k] = byte;
                d.outPos[k] = byte;
            }
        }
        d.pagePos += chunk;
        d.outPos += chunk;
        if (d.pagePos == d.pageEnd && !advanceOutputPage(d)) return;
    }
}

}  // namespace quantum
