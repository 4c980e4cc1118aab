// Reading, verifying and decompressing a folder's data blocks, including
// blocks whose bytes are split across two cabinets.
#include "cab/bytes.h"
#include "cab/decoder.h"

#include <cstring>

namespace cab {

// CFDATA header fields, read from the held header. cbData is rewritten after
// a split block is joined, so that it always gives the bytes in inputBuffer.
constexpr uint32_t kBlockCsumOffset = 0;
constexpr uint32_t kBlockCbDataOffset = 4;
constexpr uint32_t kBlockCbUncompOffset = 6;

uint16_t blockDataSize(const CabDecoder* d) { return readLe16(d->blockHeader + kBlockCbDataOffset); }

uint16_t blockUncompressedSize(const CabDecoder* d) {
    return readLe16(d->blockHeader + kBlockCbUncompOffset);
}

bool readBlock(CabDecoder* d, uint16_t offset) {
    if (d->io.read(d->dataHandle, d->blockHeader, d->blockHeaderSize) != int(d->blockHeaderSize)) {
        return setError(d, DamagedCabinet);
    }
    uint16_t cbData = blockDataSize(d);
    if (uint32_t(offset) + cbData > d->inputBufferSize) return setError(d, DamagedCabinet);
    uint8_t* data = d->inputBuffer + offset;
    if (d->io.read(d->dataHandle, data, cbData) != int(cbData)) return setError(d, DamagedCabinet);

    uint32_t csum = readLe32(d->blockHeader + kBlockCsumOffset);
    if (csum != 0) {
        uint32_t sum = cabBlockChecksum(data, cbData, 0);
        sum = cabBlockChecksum(d->blockHeader + kBlockCbDataOffset,
                            d->blockHeaderSize - kBlockCbDataOffset, sum);
        if (sum != csum) return setError(d, DamagedCabinet);
    }
    uint16_t joined = uint16_t(offset + cbData);
    writeLe16(d->blockHeader + kBlockCbDataOffset, joined);
    // Codecs may look a few bytes past the data; they must find zeros there.
    memset(d->inputBuffer + joined, 0, kCodecInputSlack);
    return raiseDataBlockEvent(d, offset);
}

bool nextBlock(CabDecoder* d) {
    d->blockStart += blockUncompressedSize(d);
    if (d->blocksLeft == 0 && !moveToNextCabinet(d)) return false;
    if (d->blocksLeft == 0) return setError(d, DamagedCabinet);  // the next cabinet has none
    d->blocksLeft--;
    if (!readBlock(d, 0)) return false;
    if (blockUncompressedSize(d) == 0) {
        // The first piece of a block that continues in the next cabinet: its
        // second piece is the first block of folder 0 there.
        uint16_t firstPiece = blockDataSize(d);
        if (!moveToNextCabinet(d)) return false;
        if (d->blocksLeft == 0) return setError(d, DamagedCabinet);
        if (!readBlock(d, firstPiece)) return false;
        d->blocksLeft--;
    }
    uint16_t expected = blockUncompressedSize(d);
    uint16_t produced = expected;
    if (!decompressBlock(d, &produced)) return false;
    if (produced != expected) return setError(d, CodecFailed);
    return true;
}

}  // namespace cab
