// MSZIP decoding speed against zlib's inflate on the same Deflate data.
//
// Each input is a folder of 32 blocks of 32,768 bytes, compressed by zlib
// with the previous block as preset dictionary. One benchmark iteration
// decodes the whole folder through mszipDecompress (one instance, one
// output buffer, as the cabinet decoder does) and through zlib's inflate
// (with the same dictionary per block), timing each block; the counters
// report both rates, from each block's fastest time, in MB of output per
// second and their ratio (above 1 when
// mszipDecompress is the faster). "random" does not compress and comes out
// as stored blocks; "skewed" barely compresses and is all Huffman codes.
//
// Besides the generated inputs, real files of the system make folders of
// their own (headers, executables, prose, images; see real_files.h); a kind
// the system lacks enough files for is skipped with a message.
#include "bench/fastest_times.h"
#include "bench/real_files.h"
#include "codecs/mszip/mszip.h"
#include "tests/mszip/test_data.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>

namespace {

using test_data::Bytes;
using test_data::Kind;
using bench::Clock;

constexpr size_t kBlocks = 32;

struct Folder {
    Bytes data;  // a whole number of 32,768-byte blocks
    std::vector<Bytes> blocks;
};

Folder folderOf(Bytes data) {
    Folder folder;
    data.resize(data.size() / 32768 * 32768);
    folder.data = std::move(data);
    folder.blocks = test_data::zlibFolder(folder.data, 6, Z_DEFAULT_STRATEGY);
    return folder;
}

void* benchAlloc(uint32_t size) { return std::malloc(size); }
void benchFree(void* block) { std::free(block); }

// Each block's time is kept at its fastest over all passes
// (bench/fastest_times.h).
using BlockTimes = bench::PieceTimes;
using bench::keepFastest;
using bench::total;

void decodeWithMszip(void* handle, const Folder& folder, uint8_t* window, BlockTimes& best) {
    for (size_t i = 0; i < folder.blocks.size(); ++i) {
        const Bytes& block = folder.blocks[i];
        const auto start = Clock::now();
        uint32_t produced = 32768;
        if (mszipDecompress(handle, block.data(), uint32_t(block.size()), window, &produced) !=
                CodecOk ||
            produced != 32768) {
            std::abort();
        }
        benchmark::DoNotOptimize(window[produced - 1]);
        keepFastest(best, i, start);
    }
}

void decodeWithZlib(z_stream* z, const Folder& folder, uint8_t* output, BlockTimes& best) {
    for (size_t i = 0; i < folder.blocks.size(); ++i) {
        const Bytes& block = folder.blocks[i];
        const auto start = Clock::now();
        inflateReset(z);
        if (i > 0) inflateSetDictionary(z, folder.data.data() + (i - 1) * 32768, 32768);
        z->next_in = const_cast<Bytef*>(block.data() + 2);
        z->avail_in = uInt(block.size() - 2);
        z->next_out = output;
        z->avail_out = 32768;
        if (inflate(z, Z_FINISH) != Z_STREAM_END || z->avail_out != 0) std::abort();
        benchmark::DoNotOptimize(output[32767]);
        keepFastest(best, i, start);
    }
}

void compareWithZlib(benchmark::State& state, const Folder& folder) {
    uint32_t blockSize = 32768, inputSize = 0;
    void* handle = nullptr;
    if (mszipCreate(&blockSize, benchAlloc, benchFree, &inputSize, &handle) != CodecOk) {
        std::abort();
    }
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) std::abort();
    Bytes window(32768), output(32768);

    // Both decoders must agree with the original before anything is timed.
    BlockTimes mszipBest(folder.blocks.size(), 1e9), zlibBest(folder.blocks.size(), 1e9);
    decodeWithMszip(handle, folder, window.data(), mszipBest);
    decodeWithZlib(&z, folder, output.data(), zlibBest);
    if (std::memcmp(window.data(), folder.data.data() + folder.data.size() - 32768, 32768) != 0 ||
        window != output) {
        std::abort();
    }

    for (auto _ : state) {
        decodeWithMszip(handle, folder, window.data(), mszipBest);
        decodeWithZlib(&z, folder, output.data(), zlibBest);
    }
    const double mszipSeconds = total(mszipBest), zlibSeconds = total(zlibBest);
    const double megabytes = double(folder.data.size()) / 1e6;
    state.counters["mszip_MBps"] = megabytes / mszipSeconds;
    state.counters["zlib_MBps"] = megabytes / zlibSeconds;
    state.counters["ratio"] = zlibSeconds / mszipSeconds;
    size_t compressed = 0;
    for (const Bytes& block : folder.blocks) compressed += block.size();
    state.counters["compressed_pct"] = 100.0 * double(compressed) / double(folder.data.size());
    inflateEnd(&z);
    mszipDestroy(handle);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // Folders live until the end: the benchmarks refer to them.
    static std::vector<std::pair<std::string, Folder>> folders;
    for (Kind kind : {Kind::Text, Kind::Binary, Kind::Random, Kind::Skewed, Kind::Runs}) {
        folders.emplace_back(test_data::name(kind),
                             folderOf(test_data::make(kind, kBlocks * 32768, 7)));
    }
    for (const real_files::Kind& kind : real_files::kinds()) {
        Bytes sample = real_files::gather(kind);
        if (sample.empty()) {
            std::fprintf(stderr, "skipping %s: too few such files on this system\n", kind.name);
            continue;
        }
        folders.emplace_back(std::string("real_") + kind.name, folderOf(std::move(sample)));
    }
    for (const auto& [name, folder] : folders) {
        const Folder* input = &folder;
        benchmark::RegisterBenchmark(("compareWithZlib/" + name).c_str(),
                                     [input](benchmark::State& state) {
                                         compareWithZlib(state, *input);
                                     })
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
