// Runs a fuzz target's entry point over saved inputs, without libFuzzer:
// every file named on the command line, and every file in a directory
// named there. Fails when there is nothing to replay, so that a replay test
// cannot pass by running nothing.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

void replay(const fs::path& path, int& count) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> input((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(input.data(), input.size());
    ++count;
}

}  // namespace

int main(int argc, char** argv) {
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path path = argv[i];
        if (fs::is_directory(path)) {
            for (const auto& entry : fs::directory_iterator(path)) {
                if (entry.is_regular_file()) replay(entry.path(), count);
            }
        } else {
            replay(path, count);
        }
    }
    std::printf("%d inputs replayed\n", count);
    return count > 0 ? 0 : 1;
}
