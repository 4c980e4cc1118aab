// Arbitrary bytes as a whole cabinet through cabCreate / cabExtract, the
// input being the only cabinet file (memory_cabinet.h).
#include "cab/cab.h"
#include "fuzz/memory_cabinet.h"

#include <cstdlib>

namespace {

int32_t fuzzOpen(const char*, int, int) { return fuzzcab::openCabinet(); }
int fuzzWrite(int32_t h, const void*, uint32_t count) { return fuzzcab::discardOutput(h, count); }
int reserveHook(CabReserveEvent*) { return 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzcab::useCabinet(data, size);
    CabError error{};
    CabDecoder* decoder =
        cabCreate(fuzzcab::allocate, fuzzcab::release, fuzzOpen, fuzzcab::readCabinet, fuzzWrite,
                  fuzzcab::closeCabinet, fuzzcab::seekCabinet, 1, &error);
    if (decoder == nullptr) std::abort();

    int32_t h = fuzzOpen("fuzz.cab", kCabOpenFlags, kCabOpenMode);
    CabInfo info{};
    cabIsCabinet(decoder, h, &info);
    fuzzcab::closeCabinet(h);

    const bool withHook = size > 0 && (data[size - 1] & 1);
    cabExtract(decoder, "fuzz.cab", "", fuzzcab::notify, withHook ? reserveHook : nullptr, nullptr);
    cabDestroy(decoder);
    fuzzcab::checkReleased();
    return 0;
}
