// Literals and matches into a window held in one block of memory. Each byte
// goes to the caller's output and to the window at once.
#pragma once

#include "codecs/quantum/copy_run.h"
#include "codecs/quantum/quantum_state.h"

namespace quantum {

// The block's output cursor over a one-piece window. Kept in locals while a
// block is decoded, so that the stores into the output and the window do not
// send it back to memory after every byte; finish() hands it back.
class MemoryWindow {
public:
    explicit MemoryWindow(Decoder& d)
        : d_(d), window_(d.window), mask_(d.windowMask), position_(d.position),
          outPos_(d.outPos), outLeft_(d.outLeft) {}

    uint32_t owed() const { return outLeft_; }

    void putLiteral(uint8_t byte) {
        --outLeft_;
        *outPos_++ = byte;
        window_[uint32_t(position_) & mask_] = byte;
        ++position_;
    }

    void copyMatch(uint32_t length, uint32_t distance) {
        if (outLeft_ < length || distance > position_) {
            // Matches never run across blocks nor before the folder's start:
            // the block is damaged.
            d_.badMatch = true;
            outLeft_ = 0;
            return;
        }
        outLeft_ -= length;
        uint32_t source = uint32_t(position_ - distance) & mask_;
        uint32_t target = uint32_t(position_) & mask_;
        position_ += length;
        uint8_t* out = outPos_;
        outPos_ += length;
        if (source + length <= mask_ + 1 && target + length <= mask_ + 1) {
            // Neither run wraps: the common case, without index masking.
            const uint8_t* from = window_ + source;
            uint8_t* to = window_ + target;
            if (wordCopyIsSafe(source, target, length)) {
                copyRunByWords(to, out, from, length);
                return;
            }
            // A source close behind the target: byte by byte, so a distance
            // below the length repeats its last bytes.
            for (uint32_t k = 0; k < length; ++k) {
                const uint8_t byte = from[k];
                to[k] = byte;
                out[k] = byte;
            }
            return;
        }
        for (uint32_t k = 0; k < length; ++k) {
            const uint8_t byte = window_[source];
            window_[target] = byte;
            out[k] = byte;
            source = (source + 1) & mask_;
            target = (target + 1) & mask_;
        }
    }

    void finish() {
        d_.position = position_;
        d_.outPos = outPos_;
        d_.outLeft = outLeft_;
    }

private:
    Decoder& d_;
    uint8_t* const window_;
    const uint32_t mask_;
    uint64_t position_;
    uint8_t* outPos_;
    uint32_t outLeft_;
};

}  // namespace quantum
