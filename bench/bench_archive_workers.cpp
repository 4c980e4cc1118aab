// Directory extraction through the archive library with one and two
// workers: a cabinet of eight MSZIP folders of real data (headers and
// executables), each folder a job a worker decodes on its own. Wall time.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "archive/cab_archive.h"
#include "bench/real_files.h"
#include "tools/cabwriter/cab_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kFolders = 8;
constexpr size_t kFolderBytes = 4u << 20;
constexpr size_t kFilesPerFolder = 4;

// The cabinet, written once into a temporary directory.
struct Workload {
    fs::path directory;
    fs::path cabinet;
    size_t bytes = 0;

    Workload() {
        directory = fs::temp_directory_path() / ("bench-archive-workers-" + std::to_string(getpid()));
        fs::create_directories(directory);
        const real_files::Bytes headers = real_files::gather(real_files::kinds()[0], kFolderBytes * 4);
        const real_files::Bytes programs = real_files::gather(real_files::kinds()[1], kFolderBytes * 4);
        std::vector<cabwriter::Folder> folders;
        for (size_t f = 0; f < kFolders; ++f) {
            const real_files::Bytes& source = f % 2 == 0 ? headers : programs;
            if (source.size() < kFolderBytes * 4) continue;
            cabwriter::Folder folder;
            folder.method = cabwriter::Method::Mszip;
            const size_t start = (f / 2) * kFolderBytes;
            for (size_t i = 0; i < kFilesPerFolder; ++i) {
                cabwriter::File file;
                file.name = "f" + std::to_string(f) + "\\part" + std::to_string(i);
                const size_t piece = kFolderBytes / kFilesPerFolder;
                file.data.assign(source.begin() + long(start + i * piece), source.begin() + long(start + (i + 1) * piece));
                bytes += file.data.size();
                folder.files.push_back(std::move(file));
            }
            folders.push_back(std::move(folder));
        }
        cabinet = directory / "workers.cab";
        cabwriter::Cabinet written = cabwriter::writeCabinet(folders, {}, "workers.cab");
        cabwriter::saveCabinet(written, directory.string());
    }
    ~Workload() {
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }
};

const Workload& workload() {
    static const Workload w;
    return w;
}

void BM_ExtractToDirectory(benchmark::State& state) {
    const Workload& w = workload();
    CabArchive* archive = nullptr;
    CabArchiveError error{};
    if (w.bytes == 0 || cabArchiveOpenPath(w.cabinet.c_str(), nullptr, &archive, &error) != CabArchiveOk) {
        state.SkipWithError("no cabinet of real data on this system");
        return;
    }
    const fs::path out = w.directory / ("out" + std::to_string(state.range(0)));
    const std::string outName = out.string();
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(out);
        fs::create_directories(out);
        state.ResumeTiming();
        CabArchiveExtraction extraction{};
        extraction.directory = outName.c_str();
        extraction.threads = uint32_t(state.range(0));
        if (cabArchiveExtract(archive, &extraction, &error) != CabArchiveOk) {
            state.SkipWithError(error.message);
            break;
        }
    }
    cabArchiveClose(archive);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(w.bytes));
}
BENCHMARK(BM_ExtractToDirectory)->Arg(1)->Arg(2)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
