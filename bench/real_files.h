// Sample inputs gathered from files every Debian system carries: C headers,
// executables, PNG images and plain-text licences. Each sample is the files
// of its kind, taken in sorted path order and concatenated up to a fixed
// size, so the same machine always yields the same bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

namespace real_files {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

struct Kind {
    const char* name;
    std::vector<const char*> roots;
    std::function<bool(const fs::path&, const Bytes& head)> wanted;
    size_t size;
};

inline bool hasExtension(const fs::path& path, const char* extension) {
    return path.extension() == extension;
}

inline bool isElf(const Bytes& head) {
    return head.size() >= 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' &&
           head[3] == 'F';
}

// QMORA_BENCH_MB, when set, caps every sample (handy under callgrind).
inline size_t capped(size_t size) {
    if (const char* cap = std::getenv("QMORA_BENCH_MB")) {
        size_t limit = size_t(std::atof(cap) * 1024 * 1024);
        if (limit != 0) return std::min(size, limit);
    }
    return size;
}

inline const std::vector<Kind>& kinds() {
    static const std::vector<Kind> all = {
        {"headers", {"/usr/include"},
         [](const fs::path& p, const Bytes&) { return hasExtension(p, ".h"); }, 16u << 20},
        {"executables", {"/usr/bin"}, [](const fs::path&, const Bytes& head) { return isElf(head); },
         16u << 20},
        {"prose", {"/usr/share/common-licenses", "/usr/share/doc"},
         [](const fs::path& p, const Bytes&) {
             return p.parent_path() == "/usr/share/common-licenses" || p.filename() == "copyright";
         },
         512u << 10},
        {"images", {"/usr/share"},
         [](const fs::path& p, const Bytes&) { return hasExtension(p, ".png"); }, 4u << 20},
    };
    return all;
}

inline Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The sample of one kind, `size` bytes long (the kind's own size when 0), or
// an empty vector when the system has too few such files to fill it.
inline Bytes gather(const Kind& kind, size_t size = 0) {
    size = capped(size != 0 ? size : kind.size);
    std::vector<fs::path> paths;
    for (const char* root : kind.roots) {
        std::error_code error;
        fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied,
                                            error);
        for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
            // Regular files only: symbolic links would repeat their targets.
            if (it->is_regular_file(error) && !it->is_symlink(error)) paths.push_back(it->path());
        }
    }
    std::sort(paths.begin(), paths.end());
    Bytes sample;
    for (const fs::path& path : paths) {
        if (sample.size() >= size) break;
        Bytes head;
        {
            std::ifstream in(path, std::ios::binary);
            head.resize(4);
            in.read(reinterpret_cast<char*>(head.data()), 4);
            head.resize(size_t(in.gcount()));
        }
        if (!kind.wanted(path, head)) continue;
        Bytes content = readFile(path);
        sample.insert(sample.end(), content.begin(), content.end());
    }
    if (sample.size() < size) return {};
    sample.resize(size);
    return sample;
}

}  // namespace real_files
