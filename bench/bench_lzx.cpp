// LZX decoding speed next to zlib's inflate on the same source data.
//
// Each input is compressed twice: by the test LZX encoder (window 2^21,
// call translation for code, lazy matching with a 128-candidate chain, as
// zlib's level 6 parses) into 32,768-byte frames, and by zlib (level 6) into
// one raw Deflate stream. QMORA_BENCH_GREEDY=1 makes the LZX side the
// encoder's greedy parse with a 16-candidate chain instead, which yields
// many more, shorter matches than zlib's: a poorer parse, more symbols for
// the decoder per byte. The counters lzx_sym_per_KB and zlib_sym_per_KB
// give each stream's literals and matches per KB of output. One benchmark iteration decodes the whole
// input through lzxDecompress (one instance, reset once, one output buffer,
// as the cabinet decoder does) and through inflate, timing each frame and
// each same-sized stretch of inflate's output; the counters report both
// rates, from each piece's fastest time, in MB of output per second and
// their ratio (above 1 when the LZX decoder is the faster). Inputs: generated text,
// x86-like code and noise, and, where the system has them, C headers, ELF
// executables and licence texts (QMORA_BENCH_MB caps their size).
//
// For inputs with call translation, each iteration also runs the decoder's
// translation alone over the same frames as they stand before it (the
// encoder's side applied to the original), and the counter translation_pct
// gives its time as a share of the whole LZX decode; e8_per_frame counts the
// opcodes the translation examines in an average 32,768-byte frame, the
// work it does per hit rather than per byte.
//
// Likewise tables_pct gives the time of building the decoding tables of
// every block's main and length trees from their path lengths (not of
// reading those lengths) as a share of the whole LZX decode, and
// tables_us the time per block.
#include "bench/deflate_symbols.h"
#include "bench/fastest_times.h"
#include "bench/real_files.h"
#include "codecs/lzx/lzx.h"
#include "codecs/lzx/lzx_decoder.h"
#include "tests/support/sample_data.h"
#include "tools/cabwriter/lzx_encoder.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <tuple>

namespace {

using Bytes = std::vector<uint8_t>;
using bench::Clock;

constexpr size_t kGeneratedSize = 4u << 20;
constexpr size_t kRealSize = 4u << 20;
constexpr uint32_t kTranslationSize = 12000000;

struct Input {
    Bytes data;
    std::vector<lzxenc::Frame> frames;
    Bytes deflated;
    // The frames as the decoder holds them before undoing the translation,
    // one after another; empty without translation.
    Bytes translated;
    lzxenc::ParseCounts lzxSymbols;
    deflate_symbols::Counts zlibSymbols;
};

bool greedyParse() {
    const char* greedy = std::getenv("QMORA_BENCH_GREEDY");
    return greedy != nullptr && std::strcmp(greedy, "0") != 0;
}

Input prepare(Bytes data, bool code) {
    Input in;
    in.data = std::move(data);
    lzxenc::Options options;
    options.windowBits = 21;
    options.translationSize = code ? kTranslationSize : 0;
    options.lazy = !greedyParse();
    options.maxChain = options.lazy ? 128 : 16;
    in.frames = lzxenc::encode(in.data.data(), in.data.size(), options, &in.lzxSymbols);
    if (code) {
        in.translated = in.data;
        uint32_t at = 0;
        for (const lzxenc::Frame& frame : in.frames) {
            lzxenc::translateFrame(in.translated.data() + at, frame.size, at, kTranslationSize);
            at += frame.size;
        }
    }
    for (auto& frame : in.frames) frame.data.resize(frame.data.size() + kCodecInputSlack, 0);

    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) std::abort();
    in.deflated.resize(deflateBound(&z, uLong(in.data.size())));
    z.next_in = in.data.data();
    z.avail_in = uInt(in.data.size());
    z.next_out = in.deflated.data();
    z.avail_out = uInt(in.deflated.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
    in.deflated.resize(z.total_out);
    deflateEnd(&z);
    if (!deflate_symbols::count(in.deflated.data(), in.deflated.size(), in.zlibSymbols) ||
        in.zlibSymbols.bytes != in.data.size()) {
        std::abort();
    }
    return in;
}

void* benchAlloc(uint32_t size) { return std::malloc(size); }
void benchFree(void* block) { std::free(block); }

// Each 32,768-byte piece's time is kept at its fastest over all passes
// (bench/fastest_times.h). The pieces are LZX's frames and the same
// stretches of zlib's output.
using bench::PieceTimes;
using bench::keepFastest;
using bench::total;

void decodeWithLzx(void* handle, const Input& in, Bytes& output, PieceTimes& best) {
    if (lzxReset(handle) != CodecOk) std::abort();
    size_t at = 0;
    for (size_t i = 0; i < in.frames.size(); ++i) {
        const lzxenc::Frame& frame = in.frames[i];
        const auto start = Clock::now();
        uint32_t produced = frame.size;
        if (lzxDecompress(handle, frame.data.data(), uint32_t(frame.data.size() - kCodecInputSlack),
                          output.data() + at, &produced) != CodecOk ||
            produced != frame.size) {
            std::abort();
        }
        benchmark::DoNotOptimize(output[at + produced - 1]);
        keepFastest(best, i, start);
        at += produced;
    }
}

// Undoes the translation of every frame in `work`, a copy of
// in.translated, as the decoder does frame by frame.
void translateOnly(const Input& in, Bytes& work, PieceTimes& best) {
    std::memcpy(work.data(), in.translated.data(), work.size());
    uint32_t at = 0;
    for (size_t i = 0; i < in.frames.size(); ++i) {
        const uint32_t size = in.frames[i].size;
        const auto start = Clock::now();
        lzx::translateCalls(at, kTranslationSize, work.data() + at, size);
        benchmark::DoNotOptimize(work[at + size - 1]);
        keepFastest(best, i, start);
        at += size;
    }
}

// The 0xE8 bytes that the translation examines: those before each frame's
// last 6 bytes, an operand's 4 bytes skipped after each.
size_t examinedOpcodes(const Input& in) {
    size_t count = 0, at = 0;
    for (const lzxenc::Frame& frame : in.frames) {
        const uint8_t* data = in.translated.data() + at;
        for (uint32_t j = 0; j + 6 < frame.size; ++j) {
            if (data[j] == 0xE8) {
                ++count;
                j += 4;
            }
        }
        at += frame.size;
    }
    return count;
}

// The path lengths of a block's main and length trees as the decoder read
// them.
struct BlockTrees {
    Bytes main;
    Bytes length;
};

// Decodes the input once and keeps each block's trees: those the decoder
// holds after a frame, when they differ from the ones it held before. (A
// block that repeats its predecessor's trees exactly is not counted.)
std::vector<BlockTrees> gatherTrees(void* handle, const Input& in, Bytes& output) {
    const lzx::Decoder& d = *static_cast<lzx::Handle*>(handle)->decoder;
    std::vector<BlockTrees> trees;
    if (lzxReset(handle) != CodecOk) std::abort();
    size_t at = 0;
    for (const lzxenc::Frame& frame : in.frames) {
        uint32_t produced = frame.size;
        if (lzxDecompress(handle, frame.data.data(), uint32_t(frame.data.size() - kCodecInputSlack),
                          output.data() + at, &produced) != CodecOk) {
            std::abort();
        }
        at += produced;
        BlockTrees now{Bytes(d.mainLengths, d.mainLengths + d.mainSymbols),
                       Bytes(d.lengthLengths, d.lengthLengths + lzx::kLengthSymbols)};
        if (trees.empty() || now.main != trees.back().main || now.length != trees.back().length) {
            trees.push_back(std::move(now));
        }
    }
    return trees;
}

// Builds each block's length and main tables in `d`, as its header does.
void buildTablesOnly(const std::vector<BlockTrees>& trees, lzx::Decoder& d, PieceTimes& best) {
    for (size_t i = 0; i < trees.size(); ++i) {
        std::memcpy(d.mainLengths, trees[i].main.data(), trees[i].main.size());
        std::memcpy(d.lengthLengths, trees[i].length.data(), trees[i].length.size());
        const auto start = Clock::now();
        if (!lzx::buildTable(lzx::kLengthSymbols, d.lengthLengths, lzx::kLengthLookupBits,
                             d.lengthTable, d.lengthNodes) ||
            !lzx::buildMainTable(d)) {
            std::abort();
        }
        benchmark::DoNotOptimize(d.mainEntries[0]);
        keepFastest(best, i, start);
    }
}

void decodeWithZlib(z_stream* z, const Input& in, Bytes& output, PieceTimes& best) {
    inflateReset(z);
    z->next_in = const_cast<Bytef*>(in.deflated.data());
    z->avail_in = uInt(in.deflated.size());
    z->next_out = output.data();
    size_t at = 0;
    for (size_t i = 0; i < in.frames.size(); ++i) {
        const uInt size = in.frames[i].size;
        const auto start = Clock::now();
        z->avail_out = size;
        const int status = inflate(z, Z_NO_FLUSH);
        if ((status != Z_OK && status != Z_STREAM_END) || z->avail_out != 0) std::abort();
        benchmark::DoNotOptimize(output[at + size - 1]);
        keepFastest(best, i, start);
        at += size;
    }
}

void compareWithZlib(benchmark::State& state, const Input& in) {
    CodecParams params{};
    params.windowSize = 1u << 21;
    uint32_t blockSize = 32768, inputSize = 0;
    void* handle = nullptr;
    if (lzxCreate(&blockSize, &params, benchAlloc, benchFree, &inputSize, &handle, nullptr) !=
        CodecOk) {
        std::abort();
    }
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) std::abort();
    Bytes lzxOut(in.data.size()), zlibOut(in.data.size());

    // Both decoders must give the original back before anything is timed.
    const size_t pieces = in.frames.size();
    PieceTimes lzxBest(pieces, 1e9), zlibBest(pieces, 1e9), translationBest(pieces, 1e9);
    decodeWithLzx(handle, in, lzxOut, lzxBest);
    decodeWithZlib(&z, in, zlibOut, zlibBest);
    if (lzxOut != in.data || zlibOut != in.data) std::abort();
    Bytes work(in.translated.size());
    if (!work.empty()) {
        translateOnly(in, work, translationBest);
        if (work != in.data) std::abort();
    }
    const std::vector<BlockTrees> trees = gatherTrees(handle, in, lzxOut);
    // A decoder of its own, so that the one timed keeps its state.
    auto tableDecoder = std::make_unique<lzx::Decoder>();
    tableDecoder->mainSymbols = static_cast<lzx::Handle*>(handle)->decoder->mainSymbols;
    PieceTimes tablesBest(trees.size(), 1e9);

    for (auto _ : state) {
        decodeWithLzx(handle, in, lzxOut, lzxBest);
        decodeWithZlib(&z, in, zlibOut, zlibBest);
        if (!work.empty()) translateOnly(in, work, translationBest);
        buildTablesOnly(trees, *tableDecoder, tablesBest);
    }
    const double lzxSeconds = total(lzxBest), zlibSeconds = total(zlibBest);
    if (!work.empty()) {
        state.counters["translation_pct"] = 100.0 * total(translationBest) / lzxSeconds;
        state.counters["e8_per_frame"] =
            double(examinedOpcodes(in)) * 32768.0 / double(in.data.size());
    }
    state.counters["tables_pct"] = 100.0 * total(tablesBest) / lzxSeconds;
    state.counters["tables_us"] = 1e6 * total(tablesBest) / double(std::max<size_t>(trees.size(), 1));
    const double megabytes = double(in.data.size()) / 1e6;
    state.counters["lzx_MBps"] = megabytes / lzxSeconds;
    state.counters["zlib_MBps"] = megabytes / zlibSeconds;
    state.counters["ratio"] = zlibSeconds / lzxSeconds;
    size_t compressed = 0;
    for (const auto& frame : in.frames) compressed += frame.data.size() - kCodecInputSlack;
    state.counters["lzx_pct"] = 100.0 * double(compressed) / double(in.data.size());
    state.counters["zlib_pct"] = 100.0 * double(in.deflated.size()) / double(in.data.size());
    const double kilobytes = double(in.data.size()) / 1024;
    state.counters["lzx_sym_per_KB"] =
        double(in.lzxSymbols.literals + in.lzxSymbols.matches) / kilobytes;
    state.counters["zlib_sym_per_KB"] =
        double(in.zlibSymbols.literals + in.zlibSymbols.matches) / kilobytes;
    state.counters["lzx_match_pct"] = 100.0 * double(in.lzxSymbols.matches) /
                                      double(in.lzxSymbols.literals + in.lzxSymbols.matches);
    state.counters["zlib_match_pct"] = 100.0 * double(in.zlibSymbols.matches) /
                                       double(in.zlibSymbols.literals + in.zlibSymbols.matches);
    inflateEnd(&z);
    lzxDestroy(handle);
}

}  // namespace

// An input is compressed only when a benchmark that uses it runs: with a
// filter, the others cost nothing.
struct LazyInput {
    std::function<Bytes()> data;
    bool code;
    std::optional<Input> prepared;

    const Input& get() {
        if (!prepared) {
            Bytes sample = data();
            prepared = sample.empty() ? Input{} : prepare(std::move(sample), code);
        }
        return *prepared;
    }
};

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // Inputs live until the end: the benchmarks refer to them.
    static std::vector<std::pair<std::string, LazyInput>> inputs;
    const size_t generated = real_files::capped(kGeneratedSize);
    for (const auto& [name, kind, code] :
         {std::tuple{"text", sample_data::Kind::Text, false},
          std::tuple{"x86", sample_data::Kind::X86, true},
          std::tuple{"random", sample_data::Kind::Random, false}}) {
        const sample_data::Kind k = kind;
        inputs.emplace_back(name, LazyInput{[k, generated] { return sample_data::make(k, generated, 7); },
                                            code, std::nullopt});
    }
    for (const real_files::Kind& kind : real_files::kinds()) {
        if (std::strcmp(kind.name, "images") == 0) continue;
        const bool code = std::strcmp(kind.name, "executables") == 0;
        const real_files::Kind* k = &kind;
        inputs.emplace_back(std::string("real_") + kind.name,
                            LazyInput{[k] {
                                          Bytes sample = real_files::gather(*k);
                                          if (sample.size() > kRealSize) sample.resize(kRealSize);
                                          return sample;
                                      },
                                      code, std::nullopt});
    }
    for (auto& [name, in] : inputs) {
        LazyInput* input = &in;
        const std::string benchmarkName = "lzxVersusZlib/" + name;
        benchmark::RegisterBenchmark(benchmarkName.c_str(), [input](benchmark::State& state) {
            const Input& prepared = input->get();
            if (prepared.data.empty()) {
                state.SkipWithError("too few such files on this system");
                return;
            }
            compareWithZlib(state, prepared);
        })->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
