// Writes the fuzzers' seed corpora: OUTDIR/mszip/ holds MSZIP block
// sequences in fuzz_mszip's input format, OUTDIR/cabinet/ cabinets made by
// the cabinet writer.
#include "bench/real_files.h"
#include "fuzz/lzx_fuzz_input.h"
#include "tests/support/sample_data.h"
#include "tests/mszip/test_data.h"
#include "tools/cabwriter/cab_writer.h"
#include "tools/cabwriter/quantum_encoder.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using cabwriter::Bytes;
using test_data::Kind;
namespace fs = std::filesystem;

void save(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

// The option byte, then each block behind its 2-byte length.
Bytes blockSequence(const std::vector<Bytes>& blocks, uint8_t option = 0) {
    Bytes out{option};
    for (const Bytes& block : blocks) {
        out.push_back(uint8_t(block.size()));
        out.push_back(uint8_t(block.size() >> 8));
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

cabwriter::File file(const std::string& name, Kind kind, size_t size, uint32_t seed) {
    cabwriter::File f;
    f.name = name;
    f.data = test_data::make(kind, size, seed);
    return f;
}

cabwriter::Folder folder(cabwriter::Method method, std::vector<cabwriter::File> files, int level,
                         int strategy) {
    cabwriter::Folder f;
    f.method = method;
    f.files = std::move(files);
    f.zlibLevel = level;
    f.zlibStrategy = strategy;
    return f;
}

// LZX frames from the test encoder in the LZX fuzzers' format: the same
// seeds serve the codec and the cabinet fuzzer. Plain data for the round
// trip: window byte, encoder options byte, the data.
int writeLzxSeeds(const fs::path& root) {
    using sample_data::Kind;
    using lzxenc::BlockKind;
    fs::create_directories(root / "lzx");
    fs::create_directories(root / "lzx_cabinet");
    fs::create_directories(root / "lzx_roundtrip");
    int count = 0;
    const Kind kinds[] = {Kind::Text, Kind::X86, Kind::Random, Kind::Runs, Kind::Binary};
    const std::vector<std::vector<BlockKind>> cycles = {
        {BlockKind::Best}, {BlockKind::Verbatim}, {BlockKind::Aligned},
        {BlockKind::Uncompressed, BlockKind::Verbatim}};
    for (int k = 0; k < 5; ++k) {
        for (size_t c = 0; c < cycles.size(); ++c) {
            lzxenc::Options options;
            options.windowBits = 15 + (k + int(c)) % 7;
            options.blockKinds = cycles[c];
            options.blockSize = 2000 + 500 * uint32_t(c);
            options.translationSize = kinds[k] == Kind::X86 ? 1000000 : 0;
            Bytes data = sample_data::make(kinds[k], 4000 + 900 * size_t(c), uint32_t(k * 10 + c));
            Bytes seed{uint8_t(options.windowBits - 15), 0};
            for (const auto& frame : lzxenc::encode(data.data(), data.size(), options)) {
                lzxfuzz::appendBlock(seed, frame.size, frame.data);
            }
            // A second folder after a reset marker.
            lzxfuzz::appendBlock(seed, 0xFFFF, {});
            Bytes small = sample_data::make(kinds[(k + 1) % 5], 300, uint32_t(k));
            for (const auto& frame : lzxenc::encode(small.data(), small.size(), options)) {
                lzxfuzz::appendBlock(seed, frame.size, frame.data);
            }
            const std::string name = "seed" + std::to_string(count++);
            save(root / "lzx" / name, seed);
            save(root / "lzx_cabinet" / name, seed);
        }
        Bytes roundTrip{uint8_t(k), uint8_t(k * 37)};
        Bytes plain = sample_data::make(kinds[k], 3000, uint32_t(k));
        roundTrip.insert(roundTrip.end(), plain.begin(), plain.end());
        save(root / "lzx_roundtrip" / ("seed" + std::to_string(count++)), roundTrip);
    }
    return count;
}

}  // namespace

// fuzz_quantum's records: window byte, store byte, then per block its
// output size, input length and bytes. fuzz_quantum_cabinet's inputs: an
// allocator byte and a cabinet.
int writeQuantumSeeds(const fs::path& root) {
    fs::create_directories(root / "quantum");
    fs::create_directories(root / "quantum_cabinet");
    int count = 0;
    const Kind kinds[] = {Kind::Text, Kind::Binary, Kind::Random, Kind::Runs, Kind::Skewed};
    for (uint32_t bits = 10; bits <= 21; ++bits) {
        const Kind kind = kinds[bits % 5];
        const Bytes data = test_data::make(kind, bits < 14 ? 3000 : 5000, bits);
        cabwriter::QuantumEncoder encoder(bits);
        const uint8_t stores[] = {0x00, 0x01, 0x0F};  // memory, 3 buffers, every buffer
        Bytes records = {uint8_t(bits - 10), stores[bits % 3]};
        const size_t blockSize = 1000 + 500 * (bits % 4);
        for (size_t start = 0; start < data.size(); start += blockSize) {
            const size_t size = std::min(blockSize, data.size() - start);
            const Bytes block = encoder.encodeBlock(data.data() + start, size);
            const uint8_t header[4] = {uint8_t(size), uint8_t(size >> 8), uint8_t(block.size()),
                                       uint8_t(block.size() >> 8)};
            records.insert(records.end(), header, header + 4);
            records.insert(records.end(), block.begin(), block.end());
        }
        save(root / "quantum" / ("seed" + std::to_string(count++)), records);

        cabwriter::Folder folder;
        folder.method = cabwriter::Method::Quantum;
        folder.quantumWindowBits = bits;
        folder.blockSize = uint32_t(blockSize);
        folder.files = {file("q" + std::to_string(bits), kind, bits < 14 ? 3000 : 5000, bits)};
        Bytes cabinet = {uint8_t(bits % 2 == 0 ? 0x00 : 0x03)};  // memory, or 4 buffers
        const Bytes image = cabwriter::writeCabinet({folder}).image;
        cabinet.insert(cabinet.end(), image.begin(), image.end());
        save(root / "quantum_cabinet" / ("seed" + std::to_string(bits) + ".cab"), cabinet);
    }
    return count;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    fs::create_directories(root / "mszip");
    fs::create_directories(root / "cabinet");

    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    int count = 0;
    for (Kind kind : {Kind::Text, Kind::Binary, Kind::Random, Kind::Skewed, Kind::Runs}) {
        // Two blocks, the second referring back into the first. A short
        // stretch of data repeated, so the seed stays small while its first
        // block fills the whole history.
        const Bytes chunk = test_data::make(kind, 600, uint32_t(count));
        Bytes data;
        while (data.size() < 32768 + 700) data.insert(data.end(), chunk.begin(), chunk.end());
        save(root / "mszip" / ("seed" + std::to_string(count++)),
             blockSequence(test_data::zlibFolder(data, 9, Z_DEFAULT_STRATEGY)));
        for (int strategy : strategies) {
            int level = 1 + count % 9;
            // One small block, decoded with a ring of 32,768 bytes, and the
            // same as the second of two blocks with a small ring (1,025 to
            // 4,097 bytes, the output size the option byte asks for).
            Bytes small = test_data::make(kind, 200, uint32_t(count));
            save(root / "mszip" / ("seed" + std::to_string(count++)),
                 blockSequence(test_data::zlibFolder(small, level, strategy)));
            const uint8_t ringOption = uint8_t(0x80 | 4 << (count % 3));
            const size_t ring = (ringOption & 0x7F) * 256u + 1;
            Bytes pair = test_data::make(kind, ring + 300, uint32_t(count));
            const Bytes first = test_data::zlibMszipBlock(pair.data(), ring, nullptr, 0, level, strategy);
            const Bytes second = test_data::zlibMszipBlock(pair.data() + ring, 300, pair.data(), ring,
                                                           level, strategy);
            save(root / "mszip" / ("seed" + std::to_string(count++)),
                 blockSequence({first, second}, ringOption));
        }
    }

    // Real files of the system, where present: a block of each kind.
    for (const real_files::Kind& kind : real_files::kinds()) {
        Bytes data = real_files::gather(kind, 3000);
        if (data.empty()) continue;
        save(root / "mszip" / ("seed" + std::to_string(count++)),
             blockSequence(test_data::zlibFolder(data, 6, Z_DEFAULT_STRATEGY)));
    }

    using cabwriter::Method;
    std::vector<std::vector<cabwriter::Folder>> cabinets = {
        {folder(Method::Mszip, {file("a.txt", Kind::Text, 3000, 1)}, 6, Z_DEFAULT_STRATEGY)},
        {folder(Method::Mszip,
                {file("b.txt", Kind::Text, 40000, 2), file("c.bin", Kind::Binary, 5000, 3)}, 9,
                Z_FILTERED),
         folder(Method::Stored, {file("d.bin", Kind::Random, 700, 4)}, 0, 0)},
        {folder(Method::Mszip, {file("e.bin", Kind::Runs, 9000, 5)}, 1, Z_RLE),
         folder(Method::Mszip, {file("f.bin", Kind::Skewed, 2000, 6)}, 9, Z_HUFFMAN_ONLY),
         folder(Method::Mszip, {file("g.txt", Kind::Text, 100, 7)}, 4, Z_FIXED)},
        {folder(Method::Stored, {file("h.txt", Kind::Text, 500, 8), file("i.txt", Kind::Text, 0, 9)},
                0, 0)},
    };
    int index = 0;
    for (const auto& folders : cabinets) {
        save(root / "cabinet" / ("seed" + std::to_string(index++) + ".cab"),
             cabwriter::writeCabinet(folders).image);
    }
    cabwriter::Options reserve;
    reserve.reserveFlag = true;
    reserve.cabinetReserve = Bytes(6, 0x11);
    reserve.cbCFFolder = 3;
    reserve.cbCFData = 2;
    auto reserved = cabinets[1];
    reserved[0].reserve = Bytes(3, 0x22);
    reserved[1].reserve = Bytes(3, 0x33);
    reserved[0].blockReserve = Bytes(2, 0x44);
    reserved[1].blockReserve = Bytes(2, 0x55);
    save(root / "cabinet" / ("seed" + std::to_string(index++) + ".cab"),
         cabwriter::writeCabinet(reserved, reserve).image);
    // The cabinets of a set, each on its own.
    for (const auto& cabinet : cabwriter::writeCabinetSet(cabinets[1], 4000, "set%d.cab")) {
        save(root / "cabinet" / ("seed" + std::to_string(index++) + ".cab"), cabinet.image);
    }
    const int lzxSeeds = writeLzxSeeds(root);
    const int quantumSeeds = writeQuantumSeeds(root);
    std::printf("%d MSZIP seeds, %d cabinet seeds, %d LZX seeds, %d Quantum seeds in %s\n", count,
                index, lzxSeeds, quantumSeeds, root.c_str());
    return 0;
}
