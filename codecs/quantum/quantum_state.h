// The state of one Quantum instance: callbacks, window, block cursors, the
// arithmetic decoder, the nine adaptive models and the page store. Every
// instance owns its own record, so several instances may be live at once.
#pragma once

#include "cab/codec.h"

#include <cstdint>

namespace quantum {

constexpr uint32_t kMaxModelSymbols = 64;
constexpr uint32_t kLengthSlots = 27;
constexpr uint32_t kPositionSlots = 42;
constexpr uint32_t kLiteralModels = 4;
constexpr uint32_t kPageSize = 4096;
constexpr uint32_t kMinPageBuffers = 3;

// A model whose total passes this after an update is rescaled.
constexpr uint32_t kRescaleThreshold = 3800;
constexpr uint32_t kFrequencyStep = 8;
constexpr int32_t kFirstRebuildCountdown = 4;
constexpr int32_t kRebuildInterval = 50;

struct ModelEntry {
    uint32_t cumFreq;  // sum of the frequencies of this entry and all after it
    uint32_t symbol;
};

// An adaptive frequency model over up to 64 symbols; entry symbolCount is
// the terminator with cumFreq 0.
struct Model {
    int32_t symbolCount;
    int32_t rescaleCountdown;
    ModelEntry entries[kMaxModelSymbols + 1];
};

struct WindowPage {
    WindowPage* prev;  // towards the most recently used
    WindowPage* next;  // towards the least recently used
    int32_t pageIndex;  // window page held, -1 for none
    uint32_t dirty;     // written since loaded: save before reuse
    uint8_t data[kPageSize];
};

struct PageSlot {
    WindowPage* page;  // buffer holding this page now, or null
    uint32_t spilled;  // contents are in the spill file
};

struct Decoder;
// Decodes one block with the window routines chosen at creation.
typedef bool (*BlockDecoderFn)(Decoder& d, const uint8_t* input, uint32_t inputSize);

struct Decoder {
    CodecAllocFn alloc;
    CodecFreeFn free;
    CodecFileCallbacks files;
    bool hasFiles;

    // Window.
    uint32_t windowBits;
    uint32_t windowSize;
    uint32_t windowMask;
    uint8_t* window;  // null when the window is paged
    // Bytes output since create or reset. A match's source is position -
    // distance: one that falls below 0 reaches before the folder's first
    // byte, where the window holds whatever memory held, and is refused.
    uint64_t position;
    BlockDecoderFn decodeBlock;

    // The current block (the arithmetic decoder and the block's input are
    // local to the block decoder).
    uint32_t outLeft;
    uint8_t* outPos;
    // A match was longer than the output still owed, or reached before the
    // folder's first byte; cleared at each block start.
    bool badMatch;
    bool pageFailure;  // cleared only at create and reset

    Model selectorModel;
    Model literalModels[kLiteralModels];
    Model lengthModel;
    Model positionModel;
    Model position3Model;
    Model position4Model;
    uint32_t lengthBase[kLengthSlots];
    uint32_t positionBase[kPositionSlots];

    // Paged window store.
    int32_t spillHandle;
    WindowPage* outPage;
    uint8_t* pagePos;
    uint8_t* pageEnd;
    int32_t pageCount;    // window pages: the window size in 4 KB pages, at least 1
    uint32_t pageLength;  // bytes of the window in each page: 4096, or the whole
                          // window when it is smaller than a page
    WindowPage* mruHead;
    WindowPage* mruTail;
    PageSlot* pageTable;
};

struct Handle {
    uint32_t signature;  // kQuantumSignature while live, 0 once destroyed
    uint32_t maxBlockSize;
    int32_t cpuType;  // kept, not used by decoding
    Decoder state;
};

extern const uint8_t kLengthExtraBits[kLengthSlots];
extern const uint8_t kPositionExtraBits[kPositionSlots];

// Bases, position model sizes and every model at its start state.
void initModels(Decoder& d);
// Halves the model's frequencies, or every so often rebuilds it sorted by
// frequency.
void rescaleModel(Model& m);

// The one-piece window, or the paged store when that cannot be allocated;
// picks the block decoder that goes with it. False when neither works.
bool setupWindow(Decoder& d, uint32_t windowBits);
void releaseWindow(Decoder& d);

}  // namespace quantum
