// A C++ program built against the installed decoder: prints "N files, B
// bytes" for one cabinet, the way `cabtool list` ends its listing.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "cab/cab_owner.h"

namespace {

uint64_t files = 0;
uint64_t bytes = 0;

void* allocBlock(uint32_t size) { return std::malloc(size ? size : 1); }
void freeBlock(void* block) { std::free(block); }
int32_t openFile(const char* path, int, int) { return open(path, O_RDONLY); }
int readFile(int32_t handle, void* buffer, uint32_t count) { return int(read(handle, buffer, count)); }
int writeFile(int32_t, const void*, uint32_t) { return -1; }
int closeFile(int32_t handle) { return close(handle); }
int32_t seekFile(int32_t handle, int32_t offset, int origin) {
    return int32_t(lseek(handle, offset, origin == 0 ? SEEK_SET : SEEK_CUR));
}

int notify(int kind, CabNotification* n) {
    if (kind == CabNotifyOpenOutput) {
        ++files;
        bytes += uint32_t(n->size);
    }
    return 0;  // declines every file: nothing is decompressed
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    CabError error{};
    CabDecoderOwner decoder(cabCreate(allocBlock, freeBlock, openFile, readFile, writeFile,
                                      closeFile, seekFile, 1, &error));
    if (!decoder || !cabExtract(decoder.get(), argv[2], argv[1], notify, nullptr, nullptr)) {
        std::fprintf(stderr, "count_files: %s\n", cabErrorText(error.errorCode));
        return 1;
    }
    std::printf("%llu files, %llu bytes\n", static_cast<unsigned long long>(files),
                static_cast<unsigned long long>(bytes));
    return 0;
}
