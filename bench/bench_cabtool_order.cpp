// cabtool test over one MSZIP folder of many small files, its directory in
// folder order against shuffled and reversed: the walk hands the decoder
// the files in data order, so the three should cost about the same.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>

#include "tests/cabtool/cabinet_edit.h"
#include "tools/cabtool/commands/commands.h"
#include "tools/cabwriter/cab_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kFiles = 16000;
constexpr size_t kFileSize = 200;

enum Order { FolderOrder, Shuffled, Reversed };

// The three cabinets, written once into a temporary directory.
struct Cabinets {
    fs::path directory;
    Cabinets() {
        directory = fs::temp_directory_path() / ("bench-cabtool-" + std::to_string(getpid()));
        fs::create_directories(directory);
        cabwriter::Folder folder;
        folder.method = cabwriter::Method::Mszip;
        std::mt19937 random(11);
        for (size_t i = 0; i < kFiles; ++i) {
            cabwriter::File file;
            file.name = "dir\\file" + std::to_string(i) + ".txt";
            for (size_t j = 0; j < kFileSize; ++j) file.data.push_back(uint8_t('a' + random() % 16));
            folder.files.push_back(std::move(file));
        }
        std::vector<size_t> order(kFiles);
        std::iota(order.begin(), order.end(), 0);
        save(cabwriter::writeCabinet({folder}, {}, "folder-order.cab"), order);
        std::shuffle(order.begin(), order.end(), random);
        save(cabwriter::writeCabinet({folder}, {}, "shuffled.cab"), order);
        std::iota(order.rbegin(), order.rend(), 0);
        save(cabwriter::writeCabinet({folder}, {}, "reversed.cab"), order);
    }
    ~Cabinets() { fs::remove_all(directory); }
    void save(cabwriter::Cabinet cabinet, const std::vector<size_t>& order) {
        cabtooltest::reorderDirectory(cabinet, order);
        if (!cabwriter::saveCabinet(cabinet, directory.string())) std::abort();
    }
    std::string path(Order order) const {
        static const char* const names[] = {"folder-order.cab", "shuffled.cab", "reversed.cab"};
        return (directory / names[order]).string();
    }
};

const Cabinets& cabinets() {
    static const Cabinets made;
    return made;
}

// Runs `cabtool test` with its per-file lines sent to /dev/null.
int testQuietly(const std::string& path) {
    std::fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
    const int status = cabtool::testCabinets(cabtool::planSources({path}, true).sources, {});
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    return status;
}

void BM_CabtoolTest(benchmark::State& state) {
    const std::string path = cabinets().path(Order(state.range(0)));
    for (auto _ : state) {
        if (testQuietly(path) != cabtool::kExitSuccess) state.SkipWithError("cabtool test failed");
    }
    state.SetItemsProcessed(int64_t(state.iterations() * kFiles));
    state.SetLabel(state.range(0) == FolderOrder ? "folder order"
                   : state.range(0) == Shuffled  ? "shuffled"
                                                 : "reversed");
}

}  // namespace

BENCHMARK(BM_CabtoolTest)->Arg(FolderOrder)->Arg(Shuffled)->Arg(Reversed)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
