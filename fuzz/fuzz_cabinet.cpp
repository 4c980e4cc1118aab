// Arbitrary bytes as a whole cabinet through cabCreate / cabExtract.
//
// The input is the only file: every open of a cabinet reads it. Every
// OpenOutput is accepted into a sink that discards what is written; a next
// cabinet is never supplied (NeedCabinet is answered -1). Memory comes from
// malloc/free, so the leak checker sees anything the decoder fails to free.
#include "cab/cab.h"

#include <cstdlib>
#include <cstring>

namespace {

const uint8_t* cabinetData = nullptr;
size_t cabinetSize = 0;

constexpr int32_t kFirstCabinetHandle = 10;
constexpr int32_t kCabinetHandles = 8;
constexpr int32_t kOutputHandle = 100;
int64_t positions[kCabinetHandles];
bool opened[kCabinetHandles];

bool isCabinetHandle(int32_t h) {
    return h >= kFirstCabinetHandle && h < kFirstCabinetHandle + kCabinetHandles &&
           opened[h - kFirstCabinetHandle];
}

void* fuzzAlloc(uint32_t size) { return std::malloc(size ? size : 1); }
void fuzzFree(void* block) { std::free(block); }

int32_t fuzzOpen(const char*, int, int) {
    for (int32_t i = 0; i < kCabinetHandles; ++i) {
        if (!opened[i]) {
            opened[i] = true;
            positions[i] = 0;
            return kFirstCabinetHandle + i;
        }
    }
    return -1;
}

int fuzzRead(int32_t h, void* buffer, uint32_t count) {
    if (!isCabinetHandle(h)) return -1;
    int64_t& position = positions[h - kFirstCabinetHandle];
    if (position >= int64_t(cabinetSize)) return 0;
    size_t n = count;
    if (n > cabinetSize - size_t(position)) n = cabinetSize - size_t(position);
    std::memcpy(buffer, cabinetData + position, n);
    position += int64_t(n);
    return int(n);
}

int fuzzWrite(int32_t h, const void*, uint32_t count) {
    return h == kOutputHandle ? int(count) : -1;
}

int fuzzClose(int32_t h) {
    if (h == kOutputHandle) return 0;
    if (!isCabinetHandle(h)) return -1;
    opened[h - kFirstCabinetHandle] = false;
    return 0;
}

int32_t fuzzSeek(int32_t h, int32_t offset, int origin) {
    if (!isCabinetHandle(h)) return -1;
    int64_t& position = positions[h - kFirstCabinetHandle];
    int64_t target = (origin == 0 ? 0 : origin == 1 ? position : int64_t(cabinetSize)) + offset;
    if (target < 0 || target > INT32_MAX) return -1;
    position = target;
    return int32_t(target);
}

int notify(int kind, CabNotification* n) {
    switch (kind) {
        case OpenOutput: return kOutputHandle;
        case CloseOutput: return n->fileHandle == kOutputHandle ? 1 : 0;
        case NeedCabinet: return -1;
        default: return 0;
    }
}

int reserveHook(CabReserveEvent*) { return 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    cabinetData = data;
    cabinetSize = size;
    std::memset(opened, 0, sizeof opened);
    CabError error{};
    CabDecoder* decoder = cabCreate(fuzzAlloc, fuzzFree, fuzzOpen, fuzzRead, fuzzWrite, fuzzClose,
                                    fuzzSeek, 1, &error);
    if (decoder == nullptr) std::abort();

    int32_t h = fuzzOpen("fuzz.cab", kCabOpenFlags, kCabOpenMode);
    CabInfo info{};
    cabIsCabinet(decoder, h, &info);
    fuzzClose(h);

    const bool withHook = size > 0 && (data[size - 1] & 1);
    cabExtract(decoder, "fuzz.cab", "", notify, withHook ? reserveHook : nullptr, nullptr);
    cabDestroy(decoder);
    for (bool isOpen : opened) {
        if (isOpen) std::abort();  // a cabinet handle left open
    }
    return 0;
}
