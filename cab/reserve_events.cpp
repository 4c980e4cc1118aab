// The optional reserve hook: told of every cabinet, folder and data block
// together with its reserve bytes.
#include "cab/decoder.h"

namespace cab {

namespace {

bool raise(CabDecoder* d, CabReserveEventKind kind, uint8_t* reserve, uint32_t reserveSize) {
    CabReserveEvent& e = d->reserveEvent;
    e.kind = kind;
    e.userContext = d->userContext;
    e.reserve = reserve;
    e.reserveSize = uint16_t(reserveSize);
    if (d->reserveHook(&e) == -1) return setError(d, ClientAbort);
    return true;
}

}  // namespace

bool raiseCabinetEvent(CabDecoder* d) {
    if (d->reserveHook == nullptr) return true;
    d->reserveEvent.cabinet.setId = d->cabinet.header.setID;
    d->reserveEvent.cabinet.cabinetIndex = d->cabinet.header.iCabinet;
    return raise(d, CabinetReserve, d->cabinetReserve, d->cabinetReserveSize);
}

bool raiseFolderEvent(CabDecoder* d) {
    if (d->reserveHook == nullptr) return true;
    uint32_t size = d->folderRecordSize - kFolderFixedSize;
    d->reserveEvent.folder.folderIndex = d->currentFolder;
    return raise(d, FolderReserve, size ? d->folderRecord + kFolderFixedSize : nullptr, size);
}

bool raiseDataBlockEvent(CabDecoder* d, uint16_t offset) {
    if (d->reserveHook == nullptr) return true;
    uint32_t size = d->blockHeaderSize - kBlockFixedSize;
    auto& block = d->reserveEvent.dataBlock;
    block.data = d->inputBuffer + offset;
    block.dataSize = blockDataSize(d);
    block.split = (offset != 0 || blockUncompressedSize(d) == 0) ? 1 : 0;
    block.firstPartSize = offset;
    return raise(d, DataBlockReserve, size ? d->blockHeader + kBlockFixedSize : nullptr, size);
}

}  // namespace cab
