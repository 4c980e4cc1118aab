// Directory extraction through the archive library on 1, 2 and 4 workers,
// over two cabinets of eight folders each, written once before anything is
// timed into a temporary directory removed at exit:
//
// - MSZIP: eight folders of 16 MB of real data, C headers and executables
//   in turn. Where the system has less than 64 MB of either kind, the
//   kind's first 16 MB are repeated in each of its folders and the label
//   says "repeated".
// - LZX: eight folders of 4 MB, the same kinds, window 2^21, from the test
//   LZX encoder (the decoder's window and buffers are then at their
//   largest, which is what a worker adds in memory).
//
// Each iteration extracts the whole cabinet into an emptied directory.
// Wall time (UseRealTime) and the CPU time of the whole process are
// reported. Counters:
// - cores_busy: CPU time / wall time. Well below the worker count, other
//   work on the machine had the cores (where the scheduler shares the CPU
//   out per session rather than per thread, as with autogroups, a busy
//   machine caps it whatever the number of workers).
// - with more than one worker, vs_1_worker and cpu_vs_1_worker: the wall
//   and CPU time of this run over the median of the one-worker runs of the
//   same cabinet so far (run with --benchmark_repetitions and read the
//   medians). cpu_vs_1_worker above 1 is extra work, or workers sharing a
//   core and evicting each other's windows from its caches.
//
// Two more uses, for measuring peak memory with /usr/bin/time -v:
//   bench_archive_workers --save-cabinets DIR
//       writes mszip.cab and lzx.cab into DIR and exits;
//   bench_archive_workers --extract CABINET THREADS DIR
//       extracts CABINET into DIR (which must exist) once and exits.
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/cab_archive.h"
#include "bench/real_files.h"
#include "tools/cabwriter/cab_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kFolders = 8;
constexpr size_t kFilesPerFolder = 4;
constexpr size_t kMszipFolderBytes = 16u << 20;
constexpr size_t kLzxFolderBytes = 4u << 20;
constexpr int kLzxWindowBits = 21;
constexpr int kLzxChain = 8;  // enough matching to give real frames, quick to encode

// The two kinds of real data the folders take in turn.
constexpr size_t kKinds = 2;  // headers, executables

// `folders` slices of `folderBytes` of one kind: distinct when the system
// has enough of it, else its first slice repeated.
struct Source {
    real_files::Bytes bytes;
    bool repeated = false;

    Source(const real_files::Kind& kind, size_t folders, size_t folderBytes) {
        bytes = real_files::gather(kind, folders * folderBytes);
        if (bytes.empty()) {
            bytes = real_files::gather(kind, folderBytes);
            repeated = !bytes.empty();
        }
    }

    bool usable() const { return !bytes.empty(); }

    const uint8_t* slice(size_t index, size_t folderBytes) const {
        return bytes.data() + (repeated ? 0 : index * folderBytes);
    }
};

// Eight folders of `method`, alternating the kinds, each cut into a few files.
std::vector<cabwriter::Folder> foldersOf(cabwriter::Method method, size_t folderBytes, bool& repeated) {
    std::vector<Source> sources;
    for (size_t k = 0; k < kKinds; ++k) sources.emplace_back(real_files::kinds()[k], kFolders / kKinds, folderBytes);
    std::vector<cabwriter::Folder> folders;
    repeated = false;
    for (const Source& source : sources) {
        if (!source.usable()) return folders;
        repeated = repeated || source.repeated;
    }
    for (size_t f = 0; f < kFolders; ++f) {
        cabwriter::Folder folder;
        folder.method = method;
        folder.lzx.windowBits = kLzxWindowBits;
        folder.lzx.maxChain = kLzxChain;
        const uint8_t* data = sources[f % kKinds].slice(f / kKinds, folderBytes);
        const size_t piece = folderBytes / kFilesPerFolder;
        for (size_t i = 0; i < kFilesPerFolder; ++i) {
            cabwriter::File file;
            file.name = "f" + std::to_string(f) + "\\part" + std::to_string(i);
            file.data.assign(data + i * piece, data + (i + 1) * piece);
            folder.files.push_back(std::move(file));
        }
        folders.push_back(std::move(folder));
    }
    return folders;
}

// One benchmark cabinet on disk.
struct Workload {
    fs::path cabinet;
    std::string label;
    size_t bytes = 0;  // 0: the system lacks the data

    Workload(const fs::path& directory, const std::string& name, cabwriter::Method method,
             size_t folderBytes, const std::string& description) {
        bool repeated = false;
        const std::vector<cabwriter::Folder> folders = foldersOf(method, folderBytes, repeated);
        if (folders.size() != kFolders) return;
        cabinet = directory / name;
        if (!cabwriter::saveCabinet(cabwriter::writeCabinet(folders, {}, name), directory.string())) return;
        bytes = kFolders * folderBytes;
        label = description + (repeated ? ", real data repeated" : "");
    }
};

// The temporary directory and both cabinets, made on first use.
struct Workloads {
    fs::path directory;
    Workload mszip;
    Workload lzx;

    explicit Workloads(const fs::path& where)
        : directory(where),
          mszip(makeDirectory(where), "mszip.cab", cabwriter::Method::Mszip, kMszipFolderBytes,
                "8 MSZIP folders x 16 MB"),
          lzx(where, "lzx.cab", cabwriter::Method::Lzx, kLzxFolderBytes, "8 LZX folders x 4 MB, window 2 MB") {}

    static const fs::path& makeDirectory(const fs::path& where) {
        fs::create_directories(where);
        return where;
    }
};

struct TemporaryWorkloads : Workloads {
    TemporaryWorkloads()
        : Workloads(fs::temp_directory_path() / ("bench-archive-workers-" + std::to_string(getpid()))) {}
    ~TemporaryWorkloads() {
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }
};

TemporaryWorkloads& workloads() {
    static TemporaryWorkloads w;
    return w;
}

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Seconds per iteration of each one-worker run so far: wall and CPU time.
struct OneWorkerTimes {
    std::vector<double> wall;
    std::vector<double> cpu;
};

// Per cabinet.
std::map<std::string, OneWorkerTimes>& oneWorkerTimes() {
    static std::map<std::string, OneWorkerTimes> times;
    return times;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int32_t extractOnce(CabArchive* archive, const std::string& directory, uint32_t threads, CabArchiveError& error) {
    CabArchiveExtraction extraction{};
    extraction.directory = directory.c_str();
    extraction.threads = threads;
    return cabArchiveExtract(archive, &extraction, &error);
}

void extractToDirectory(benchmark::State& state, const Workload& w) {
    const uint32_t threads = uint32_t(state.range(0));
    CabArchive* archive = nullptr;
    CabArchiveError error{};
    if (w.bytes == 0 || cabArchiveOpenPath(w.cabinet.c_str(), nullptr, &archive, &error) != CabArchiveOk) {
        state.SkipWithError("no cabinet of real data on this system");
        return;
    }
    const fs::path out = w.cabinet.parent_path() / ("out-" + w.cabinet.stem().string() + std::to_string(threads));
    const std::string outName = out.string();
    double wall = 0;
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(out);
        fs::create_directories(out);
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = processCpuSeconds();
        if (extractOnce(archive, outName, threads, error) != CabArchiveOk) {
            state.SkipWithError(error.message);
            break;
        }
        cpu += processCpuSeconds() - cpuStart;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    cabArchiveClose(archive);
    std::error_code ignored;
    fs::remove_all(out, ignored);
    if (state.iterations() == 0 || wall <= 0) return;
    const double wallPerIteration = wall / double(state.iterations());
    const double cpuPerIteration = cpu / double(state.iterations());
    OneWorkerTimes& ones = oneWorkerTimes()[w.cabinet.string()];
    if (threads == 1) {
        ones.wall.push_back(wallPerIteration);
        ones.cpu.push_back(cpuPerIteration);
    }
    if (threads > 1 && !ones.wall.empty()) {
        state.counters["vs_1_worker"] = wallPerIteration / median(ones.wall);
        state.counters["cpu_vs_1_worker"] = cpuPerIteration / median(ones.cpu);
    }
    state.counters["cores_busy"] = cpu / wall;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(w.bytes));
    state.SetLabel(w.label);
}

void BM_ExtractMszipFolders(benchmark::State& state) { extractToDirectory(state, workloads().mszip); }
void BM_ExtractLzxFolders(benchmark::State& state) { extractToDirectory(state, workloads().lzx); }

BENCHMARK(BM_ExtractMszipFolders)->Arg(1)->Arg(2)->Arg(4)->UseRealTime()->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractLzxFolders)->Arg(1)->Arg(2)->Arg(4)->UseRealTime()->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

// --extract CABINET THREADS DIR: one extraction, for a peak-memory reading.
int extractCommand(const char* cabinet, const char* threads, const char* directory) {
    CabArchive* archive = nullptr;
    CabArchiveError error{};
    if (cabArchiveOpenPath(cabinet, nullptr, &archive, &error) != CabArchiveOk) {
        std::fprintf(stderr, "%s\n", error.message);
        return 1;
    }
    const int32_t status = extractOnce(archive, directory, uint32_t(std::strtoul(threads, nullptr, 10)), error);
    cabArchiveClose(archive);
    if (status != CabArchiveOk) std::fprintf(stderr, "%s\n", error.message);
    return status == CabArchiveOk ? 0 : 1;
}

// --save-cabinets DIR: the benchmark's cabinets, kept.
int saveCommand(const char* directory) {
    const Workloads kept{fs::path(directory)};
    for (const Workload* w : {&kept.mszip, &kept.lzx}) {
        if (w->bytes == 0) {
            std::fprintf(stderr, "not enough real data on this system\n");
            return 1;
        }
        std::printf("%s: %s\n", w->cabinet.c_str(), w->label.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--extract") == 0) return extractCommand(argv[2], argv[3], argv[4]);
    if (argc == 3 && std::strcmp(argv[1], "--save-cabinets") == 0) return saveCommand(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
