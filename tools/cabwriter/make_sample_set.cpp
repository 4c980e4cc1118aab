// Writes a small set of three cabinets for demonstrations and the examples'
// check: one MSZIP folder whose data runs on from disk1.cab through
// disk2.cab into disk3.cab, so that files continue from one cabinet into
// the next.
//
//   make_sample_set DIRECTORY   writes DIRECTORY/disk1.cab .. disk3.cab
//   make_sample_set --help      says so
#include "tools/cabwriter/cab_writer.h"
#include "tools/cabwriter/directory_argument.h"

#include <cstdio>

namespace {

// Letters drawn from a fixed generator: they compress to about two thirds,
// so a few tens of kilobytes fill several small cabinets. Lines keep the
// files readable in a pager.
cabwriter::Bytes letters(size_t size, unsigned seed) {
    cabwriter::Bytes data(size);
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1664525u + 1013904223u;
        data[i] = i % 64 == 63 ? '\n' : uint8_t('a' + (seed >> 24) % 26);
    }
    return data;
}

void printUsage(std::FILE* stream, const char* program) {
    std::fprintf(stream,
                 "usage: %s DIRECTORY\n"
                 "Writes DIRECTORY/disk1.cab, disk2.cab and disk3.cab, a set of cabinets\n"
                 "whose files continue from one cabinet into the next.\n",
                 program);
}

}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    const char* directory = cabwriter::directoryArgument(argc, argv, printUsage, status);
    if (directory == nullptr) return status;
    cabwriter::Folder folder;
    folder.method = cabwriter::Method::Mszip;
    const char* const names[] = {"setup.inf", "data\\first.bin", "data\\second.bin", "notes.txt"};
    const size_t sizes[] = {700, 40000, 30000, 2000};
    for (unsigned i = 0; i < 4; ++i) {
        cabwriter::File file;
        file.name = names[i];
        file.data = letters(sizes[i], i + 1);
        file.date = cabwriter::dosDate(2024, 5, 17);
        file.time = cabwriter::dosTime(14, 30, 0);
        folder.files.push_back(file);
    }
    for (const cabwriter::Cabinet& cabinet : cabwriter::writeCabinetSet({folder}, 20000, "disk%d.cab")) {
        if (!cabwriter::saveCabinet(cabinet, directory)) {
            std::fprintf(stderr, "cannot write %s in %s\n", cabinet.name.c_str(), directory);
            return 1;
        }
        std::printf("wrote %s/%s (%zu bytes)\n", directory, cabinet.name.c_str(), cabinet.image.size());
    }
    return 0;
}
