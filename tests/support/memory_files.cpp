#include "tests/support/memory_files.h"

#include <cstdlib>
#include <cstring>

namespace memfiles {
namespace {

struct Handle {
    std::string path;
    bool output = false;
    int64_t position = 0;
    int openNumber = 0;
};

struct State {
    std::map<std::string, Bytes> files;
    std::map<std::string, Bytes> outputs;
    std::map<int32_t, Handle> handles;
    std::map<void*, uint32_t> blocks;
    std::vector<std::string> opened;
    Stats stats;
    int32_t nextHandle = 3;
    int failAllocationIn = -1;
    int writeLimit = -1;
    int failCloseOpenNumber = -1;
};

State& state() {
    static State s;
    return s;
}

}  // namespace

void reset() {
    for (auto& [block, size] : state().blocks) std::free(block);
    state() = State{};
}

void addFile(const std::string& path, Bytes contents) { state().files[path] = std::move(contents); }
void removeFile(const std::string& path) { state().files.erase(path); }
void failAllocation(int n) { state().failAllocationIn = n; }
void limitWrites(int limit) { state().writeLimit = limit; }
void failCloseOfOpen(int n) { state().failCloseOpenNumber = n; }

int32_t createOutput(const std::string& name) {
    State& s = state();
    s.outputs[name].clear();
    int32_t h = s.nextHandle++;
    s.handles[h] = Handle{name, true, 0, 0};
    return h;
}

const Bytes& output(const std::string& name) { return state().outputs.at(name); }
bool hasOutput(const std::string& name) { return state().outputs.count(name) != 0; }
bool isOpen(int32_t handle) { return state().handles.count(handle) != 0; }
const Stats& stats() { return state().stats; }
std::vector<std::string> openedPaths() { return state().opened; }

void* alloc(uint32_t size) {
    State& s = state();
    if (s.failAllocationIn == 0) {
        s.failAllocationIn = -1;
        return nullptr;
    }
    if (s.failAllocationIn > 0) s.failAllocationIn--;
    void* block = std::malloc(size ? size : 1);
    // Fill with a pattern so reads of memory never written show up.
    std::memset(block, 0xA5, size);
    s.blocks[block] = size;
    s.stats.allocations++;
    s.stats.liveBytes += size;
    return block;
}

void free(void* block) {
    if (block == nullptr) return;
    State& s = state();
    auto it = s.blocks.find(block);
    if (it == s.blocks.end()) std::abort();  // not ours, or freed twice
    s.stats.liveBytes -= it->second;
    s.stats.frees++;
    s.blocks.erase(it);
    std::free(block);
}

int32_t open(const char* path, int, int) {
    State& s = state();
    s.opened.push_back(path);
    s.stats.opens++;
    if (s.files.count(path) == 0) return -1;
    int32_t h = s.nextHandle++;
    s.handles[h] = Handle{path, false, 0, s.stats.opens};
    return h;
}

int read(int32_t handle, void* buffer, uint32_t count) {
    State& s = state();
    auto it = s.handles.find(handle);
    if (it == s.handles.end() || it->second.output) return -1;
    const Bytes& data = s.files[it->second.path];
    int64_t position = it->second.position;
    if (position >= int64_t(data.size())) return 0;
    uint32_t n = uint32_t(std::min<int64_t>(count, int64_t(data.size()) - position));
    std::memcpy(buffer, data.data() + position, n);
    it->second.position += n;
    return int(n);
}

int write(int32_t handle, const void* buffer, uint32_t count) {
    State& s = state();
    auto it = s.handles.find(handle);
    if (it == s.handles.end() || !it->second.output) return -1;
    uint32_t n = count;
    if (s.writeLimit >= 0 && n > uint32_t(s.writeLimit)) n = uint32_t(s.writeLimit);
    Bytes& data = s.outputs[it->second.path];
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    data.insert(data.end(), bytes, bytes + n);
    return int(n);
}

int close(int32_t handle) {
    State& s = state();
    auto it = s.handles.find(handle);
    if (it == s.handles.end()) return -1;
    bool fail = !it->second.output && it->second.openNumber == s.failCloseOpenNumber;
    s.handles.erase(it);
    s.stats.closes++;
    return fail ? -1 : 0;
}

int32_t seek(int32_t handle, int32_t offset, int origin) {
    State& s = state();
    auto it = s.handles.find(handle);
    if (it == s.handles.end() || it->second.output) return -1;
    int64_t base = origin == 0 ? 0 : origin == 1 ? it->second.position
                                                  : int64_t(s.files[it->second.path].size());
    int64_t position = base + offset;
    if (position < 0 || position > INT32_MAX) return -1;
    it->second.position = position;
    return int32_t(position);
}

CabDecoder* createDecoder(CabError* error) {
    return cabCreate(alloc, free, open, read, write, close, seek, 1, error);
}

int extractEveryFile(int kind, CabNotification* n) {
    switch (kind) {
        case OpenOutput: return createOutput(n->text1);
        case CloseOutput: return close(n->fileHandle) == 0 ? 1 : 0;
        case NeedCabinet: return n->lastError != 0 ? -1 : 0;
        default: return 0;
    }
}

}  // namespace memfiles
