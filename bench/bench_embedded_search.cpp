// Speed of the search for cabinets inside other files (cabtool on a
// self-extracting program or a disk image): a 64 MB file of random bytes
// holding one cabinet near its end, and the same with a stray "MSCF" (with
// the cabinet version word after it) every 4 KB, so that the header checks
// run often. Reported in MB/s of file searched; "signature_only" is a bare
// memmem pass over the same mapping, the floor the search is measured
// against.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "archive/embedded/embedded_search.h"
#include "tools/cabwriter/cab_writer.h"

namespace {

constexpr size_t kFileSize = 64 << 20;

std::string makeHost(bool straySignatures) {
    const std::string path = "/tmp/bench-embedded-" + std::to_string(getpid()) +
                             (straySignatures ? "-stray" : "-plain") + ".bin";
    std::mt19937 random(99);
    std::vector<uint8_t> host(kFileSize);
    for (auto& byte : host) byte = uint8_t(random());
    if (straySignatures) {
        for (size_t at = 0; at + 32 < host.size(); at += 4096) {
            std::memcpy(&host[at], "MSCF", 4);
            host[at + 24] = 0x03;
            host[at + 25] = 0x01;
        }
    }
    cabwriter::Folder folder;
    cabwriter::File file;
    file.name = "payload.bin";
    file.data.assign(100000, 'x');
    folder.files.push_back(file);
    const cabwriter::Cabinet cabinet = cabwriter::writeCabinet({folder});
    std::copy(cabinet.image.begin(), cabinet.image.end(), host.end() - long(cabinet.image.size()) - 1000);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(host.data()), long(host.size()));
    return path;
}

void searchFile(benchmark::State& state, bool straySignatures) {
    const std::string path = makeHost(straySignatures);
    for (auto _ : state) {
        std::vector<cabarchive::EmbeddedCabinet> found;
        std::string problem;
        if (!cabarchive::findEmbeddedCabinets(path, found, problem) || found.size() != 1) {
            state.SkipWithError("the cabinet was not found exactly once");
            break;
        }
        benchmark::DoNotOptimize(found.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFileSize));
    unlink(path.c_str());
}

void signatureOnly(benchmark::State& state) {
    const std::string path = makeHost(false);
    for (auto _ : state) {
        const int fd = open(path.c_str(), O_RDONLY);
        void* data = mmap(nullptr, kFileSize, PROT_READ, MAP_PRIVATE, fd, 0);
        size_t hits = 0;
        const auto* bytes = static_cast<const char*>(data);
        for (size_t at = 0; at < kFileSize;) {
            const void* hit = memmem(bytes + at, kFileSize - at, "MSCF", 4);
            if (hit == nullptr) break;
            ++hits;
            at = size_t(static_cast<const char*>(hit) - bytes) + 1;
        }
        benchmark::DoNotOptimize(hits);
        munmap(data, kFileSize);
        close(fd);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFileSize));
    unlink(path.c_str());
}

void BM_search_random(benchmark::State& state) { searchFile(state, false); }
void BM_search_stray_signatures(benchmark::State& state) { searchFile(state, true); }
void BM_signature_only(benchmark::State& state) { signatureOnly(state); }

BENCHMARK(BM_search_random)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_search_stray_signatures)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_signature_only)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
