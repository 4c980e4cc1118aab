#include "tests/archive/archive_test_support.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace archivetest {

cabwriter::File makeFile(std::string name, size_t size, uint8_t seed) {
    cabwriter::File f;
    f.name = std::move(name);
    f.data.reserve(size);
    for (size_t i = 0; i < size; ++i) f.data.push_back(uint8_t(seed + i * 7 + (i / 251) * 3 + (i % 31)));
    return f;
}

cabwriter::Folder folderOf(cabwriter::Method method, std::vector<cabwriter::File> files,
                           uint32_t blockSize) {
    cabwriter::Folder folder;
    folder.method = method;
    folder.files = std::move(files);
    folder.blockSize = blockSize;
    if (method == cabwriter::Method::Mszip) folder.presetDictionary = false;
    return folder;
}

std::string text(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

ScratchDirectory::ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "archive-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    // Read-only extracted files must not keep their directory from going.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path_, ignored);
}

void ScratchDirectory::save(const cabwriter::Cabinet& cabinet, const std::string& name) const {
    std::ofstream out(path_ / (name.empty() ? cabinet.name : name), std::ios::binary);
    out.write(reinterpret_cast<const char*>(cabinet.image.data()), std::streamsize(cabinet.image.size()));
    ASSERT_TRUE(out.good());
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

CabArchiveStream CountingStream::stream() {
    CabArchiveStream s{};
    s.context = this;
    s.read = [](void* context, void* buffer, uint32_t count) -> int32_t {
        auto& self = *static_cast<CountingStream*>(context);
        if (self.position < 0 || uint64_t(self.position) >= self.bytes.size()) return 0;
        const size_t n = std::min<size_t>(count, self.bytes.size() - size_t(self.position));
        std::memcpy(buffer, self.bytes.data() + self.position, n);
        ++self.readsStartingAt[self.position];
        self.position += int64_t(n);
        self.bytesRead += n;
        return int32_t(n);
    };
    s.seek = [](void* context, int64_t offset, int origin) -> int64_t {
        auto& self = *static_cast<CountingStream*>(context);
        const int64_t base = origin == 0 ? 0 : origin == 1 ? self.position : int64_t(self.bytes.size());
        if (base + offset < 0) return -1;
        self.position = base + offset;
        return self.position;
    };
    s.close = [](void* context) { static_cast<CountingStream*>(context)->closed = true; };
    return s;
}

CabArchiveSink RecordingSink::sink() {
    CabArchiveSink s{};
    s.context = this;
    s.begin = [](void* context, uint32_t index, const CabArchiveEntry*) -> int {
        auto& self = *static_cast<RecordingSink*>(context);
        self.begun.push_back(index);
        self.written[index].clear();
        const auto answer = self.beginAnswer.find(index);
        return answer == self.beginAnswer.end() ? 1 : answer->second;
    };
    s.write = [](void* context, uint32_t index, const void* data, uint32_t size) -> int {
        auto& self = *static_cast<RecordingSink*>(context);
        self.written[index].append(static_cast<const char*>(data), size);
        self.bytesSeen += size;
        return self.stopAfterBytes >= 0 && self.bytesSeen >= uint64_t(self.stopAfterBytes) ? -1 : 0;
    };
    s.end = [](void* context, uint32_t index, int32_t outcome) {
        static_cast<RecordingSink*>(context)->ended[index] = outcome;
    };
    return s;
}

CabArchive* openMemory(const Bytes& image, const CabArchiveOptions* options) {
    CabArchive* archive = nullptr;
    CabArchiveError error{};
    const int32_t status = cabArchiveOpenMemory(image.data(), image.size(), options, &archive, &error);
    EXPECT_EQ(status, CabArchiveOk) << error.message;
    return archive;
}

std::string extractText(CabArchive* archive, uint32_t index) {
    void* data = nullptr;
    size_t size = 0;
    CabArchiveError error{};
    const int32_t status = cabArchiveExtractToMemory(archive, index, &data, &size, &error);
    EXPECT_EQ(status, CabArchiveOk) << error.message;
    std::string result = data != nullptr ? std::string(static_cast<const char*>(data), size) : "";
    cabArchiveFree(data);
    return result;
}

uint32_t entryNamed(const CabArchive* archive, const std::string& name) {
    for (uint32_t i = 0; i < cabArchiveEntryCount(archive); ++i) {
        CabArchiveEntry entry{};
        if (cabArchiveEntry(archive, i, &entry) == CabArchiveOk && name == entry.name) return i;
    }
    return UINT32_MAX;
}

}  // namespace archivetest
