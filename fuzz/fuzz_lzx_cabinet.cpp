// LZX frames (lzx_fuzz_input.h gives the format) wrapped into a well-formed
// cabinet with valid checksums, so that mutations reach the codec through
// the whole decoder: one LZX folder per run of blocks between reset
// markers, one file per folder covering its output. Extraction must end in
// success or a recorded error; every block and cabinet handle must be
// released; the sanitizers watch everything else.
#include "cab/cab.h"
#include "fuzz/lzx_fuzz_input.h"
#include "fuzz/memory_cabinet.h"
#include "tools/cabwriter/cab_writer.h"

#include <cstdlib>

namespace {

int32_t fuzzOpen(const char*, int, int) { return fuzzcab::openCabinet(); }
int fuzzWrite(int32_t h, const void*, uint32_t count) { return fuzzcab::discardOutput(h, count); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lzxfuzz::Input in = lzxfuzz::parse(data, size);
    std::vector<cabwriter::Folder> folders(1);
    for (const lzxfuzz::Block& block : in.blocks) {
        if (block.reset) {
            if (folders.size() < 8) folders.emplace_back();
            continue;
        }
        cabwriter::Folder& folder = folders.back();
        folder.rawBlocks.push_back({cabwriter::Bytes(block.data, block.data + block.size),
                                    uint16_t(block.uncompressedSize)});
    }
    uint32_t index = 0;
    for (cabwriter::Folder& folder : folders) {
        folder.method = cabwriter::Method::Raw;
        folder.typeCompress = int32_t(3 | in.windowBits << 8);
        size_t total = 0;
        for (const auto& b : folder.rawBlocks) total += b.uncompressedSize;
        cabwriter::File file;
        file.name = "f" + std::to_string(index++);
        file.data.assign(total, 0);
        folder.files.push_back(file);
    }
    const cabwriter::Bytes image = cabwriter::writeCabinet(folders).image;
    fuzzcab::useCabinet(image.data(), image.size());
    CabError error{};
    CabDecoder* decoder =
        cabCreate(fuzzcab::allocate, fuzzcab::release, fuzzOpen, fuzzcab::readCabinet, fuzzWrite,
                  fuzzcab::closeCabinet, fuzzcab::seekCabinet, 1, &error);
    if (decoder == nullptr) std::abort();
    int32_t result = cabExtract(decoder, "fuzz.cab", "", fuzzcab::notify, nullptr, nullptr);
    if (result == 0 && error.errorCode == CabNoError) std::abort();  // failure without a reason
    cabDestroy(decoder);
    fuzzcab::checkReleased();
    return 0;
}
