// The frame driver: one call's output, made of the runs of the blocks it
// crosses. Blocks and frames are independent: a block may begin anywhere in
// a frame and run on through later ones.
#include "codecs/lzx/lzx_decoder.h"

namespace lzx {

bool decodeFrame(Decoder& d, uint32_t requested) {
    // A frame is written to the window without wrapping; one that would pass
    // the window's end cannot be a frame of a valid folder.
    if (requested > d.windowSize - d.writePos) return false;
    const uint32_t frameSize = requested;
    while (requested > 0) {
        if (d.blockState == HeaderDue) {
            if (!readBlockHeader(d)) return false;
            d.blockState = InBlock;
        }
        while (d.blockLeft > 0 && requested > 0) {
            const uint32_t n =
                uint32_t(d.blockLeft) < requested ? uint32_t(d.blockLeft) : requested;
            bool ok;
            switch (d.blockType) {
                case Verbatim: ok = expandVerbatim(d, d.writePos, n); break;
                case AlignedOffset: ok = expandAligned(d, d.writePos, n); break;
                default: ok = copyStored(d, d.writePos, n); break;
            }
            if (!ok) return false;
            if (d.writePos == 0) d.windowFilled = true;  // the run ended at the window's end
            d.blockLeft -= int32_t(n);
            requested -= n;
        }
        if (d.blockLeft == 0) d.blockState = HeaderDue;
    }
    emitFrame(d, frameSize);
    return true;
}

}  // namespace lzx
