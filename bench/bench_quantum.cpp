// Quantum decoding speed next to zlib's inflate on the same source data.
//
// Each input is a folder of 32 blocks of 32,768 bytes. The Quantum side is
// made by the test encoder (window 2^21, as cabinets usually use) and decoded
// block by block through quantumDecompress, one instance, as the cabinet
// decoder does; the zlib side is the same bytes deflated (level 6) per block
// with the previous block as dictionary and inflated likewise. The counters
// report MB of output per second of CPU time for both and their ratio (quantum / zlib;
// below 1 when Quantum is the slower). "paged" decodes the text folder with
// the window in 4 KB pages, all of them in memory.
#include "codecs/quantum/quantum.h"
#include "tests/mszip/test_data.h"
#include "tools/cabwriter/quantum_encoder.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <ctime>
#include <cstdlib>
#include <cstring>

namespace {

using test_data::Bytes;
using test_data::Kind;

// Time this thread spent on the CPU: the machine may be shared, and time
// spent waiting for it would otherwise be counted against whichever decoder
// happened to be running.
double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

constexpr size_t kBlocks = 32;
constexpr size_t kBlockSize = 32768;
constexpr uint32_t kWindowBits = 21;

struct Folder {
    Bytes data;
    std::vector<Bytes> quantumBlocks;
    std::vector<Bytes> zlibBlocks;
};

const Folder& folderFor(Kind kind) {
    static Folder folders[int(Kind::Runs) + 1];  // one per kind of sample data
    Folder& folder = folders[int(kind)];
    if (folder.quantumBlocks.empty()) {
        folder.data = test_data::make(kind, kBlocks * kBlockSize, 7);
        cabwriter::QuantumEncoder encoder(kWindowBits);
        for (size_t start = 0; start < folder.data.size(); start += kBlockSize) {
            folder.quantumBlocks.push_back(encoder.encodeBlock(folder.data.data() + start, kBlockSize));
        }
        folder.zlibBlocks = test_data::zlibFolder(folder.data, 6, Z_DEFAULT_STRATEGY);
    }
    return folder;
}

bool refuseWindow = false;
void* benchAlloc(uint32_t size) {
    if (refuseWindow && size == quantumWindowAllocationSize(kWindowBits)) return nullptr;
    return std::malloc(size);
}
void benchFree(void* block) { std::free(block); }

// An in-memory spill file; with every page in memory it is never used.
int32_t spillOpen(const char*, int, int) { return 3; }
int spillRead(int32_t, void*, uint32_t) { return -1; }
int spillWrite(int32_t, const void*, uint32_t) { return -1; }
int spillClose(int32_t) { return 0; }
int32_t spillSeek(int32_t, int32_t, int) { return -1; }
const CodecFileCallbacks kSpill = {spillOpen, spillRead, spillWrite, spillClose, spillSeek};

double decodeWithQuantum(void* handle, const Folder& folder, uint8_t* output) {
    const double start = cpuSeconds();
    quantumReset(handle);
    for (const Bytes& block : folder.quantumBlocks) {
        uint32_t size = kBlockSize;
        if (quantumDecompress(handle, block.data(), uint32_t(block.size()), output, &size) !=
            CodecOk) {
            std::abort();
        }
        benchmark::DoNotOptimize(output[kBlockSize - 1]);
    }
    return cpuSeconds() - start;
}

double decodeWithZlib(z_stream* z, const Folder& folder, uint8_t* output) {
    const double start = cpuSeconds();
    for (size_t i = 0; i < folder.zlibBlocks.size(); ++i) {
        const Bytes& block = folder.zlibBlocks[i];
        inflateReset(z);
        if (i > 0) inflateSetDictionary(z, folder.data.data() + (i - 1) * kBlockSize, kBlockSize);
        z->next_in = const_cast<Bytef*>(block.data() + 2);
        z->avail_in = uInt(block.size() - 2);
        z->next_out = output;
        z->avail_out = kBlockSize;
        if (inflate(z, Z_FINISH) != Z_STREAM_END || z->avail_out != 0) std::abort();
        benchmark::DoNotOptimize(output[kBlockSize - 1]);
    }
    return cpuSeconds() - start;
}

void compareWithZlib(benchmark::State& state, Kind kind, bool paged) {
    const Folder& folder = folderFor(kind);
    uint32_t blockSize = kBlockSize, inputSize = 0;
    void* handle = nullptr;
    CodecParams params{};
    params.windowBits = kWindowBits;
    refuseWindow = paged;
    if (quantumCreate(&blockSize, &params, benchAlloc, benchFree, &inputSize, &handle, &kSpill) !=
        CodecOk) {
        std::abort();
    }
    refuseWindow = false;
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) std::abort();
    Bytes quantumOut(kBlockSize), zlibOut(kBlockSize);

    // Both decoders must agree with the original before anything is timed.
    decodeWithQuantum(handle, folder, quantumOut.data());
    decodeWithZlib(&z, folder, zlibOut.data());
    if (std::memcmp(quantumOut.data(), folder.data.data() + folder.data.size() - kBlockSize,
                    kBlockSize) != 0 ||
        quantumOut != zlibOut) {
        std::abort();
    }

    double quantumSeconds = 0, zlibSeconds = 0;
    for (auto _ : state) {
        quantumSeconds += decodeWithQuantum(handle, folder, quantumOut.data());
        zlibSeconds += decodeWithZlib(&z, folder, zlibOut.data());
    }
    const double megabytes = double(state.iterations()) * double(folder.data.size()) / 1e6;
    state.counters["quantum_MBps"] = megabytes / quantumSeconds;
    state.counters["zlib_MBps"] = megabytes / zlibSeconds;
    state.counters["ratio"] = zlibSeconds / quantumSeconds;
    size_t compressed = 0;
    for (const Bytes& block : folder.quantumBlocks) compressed += block.size();
    state.counters["quantum_pct"] = 100.0 * double(compressed) / double(folder.data.size());
    inflateEnd(&z);
    quantumDestroy(handle);
}

BENCHMARK_CAPTURE(compareWithZlib, text, Kind::Text, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(compareWithZlib, binary, Kind::Binary, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(compareWithZlib, random, Kind::Random, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(compareWithZlib, paged_text, Kind::Text, true)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
