// How the archive drives the decoder: one forward pass per folder whatever
// the order asked, shared data decoded once, the Quantum window paged on
// request, and independent archives on several threads at once.
#include <cstdlib>
#include <thread>

#include "tests/archive/archive_test_support.h"

using namespace archivetest;
using cabwriter::Method;

namespace {

std::vector<std::string> extractEverything(const Bytes& image) {
    CabArchive* archive = nullptr;
    CabArchiveError error{};
    if (cabArchiveOpenMemory(image.data(), image.size(), nullptr, &archive, &error) != CabArchiveOk) {
        return {std::string("open failed: ") + error.message};
    }
    RecordingSink sink;
    const CabArchiveSink s = sink.sink();
    CabArchiveExtraction extraction{};
    extraction.sink = &s;
    const int32_t status = cabArchiveExtract(archive, &extraction, &error);
    std::vector<std::string> result{std::to_string(status)};
    for (uint32_t i = 0; i < cabArchiveEntryCount(archive); ++i) result.push_back(sink.written[i]);
    // The same entries into a directory of this call's own: temporary names
    // are drawn on every thread at once.
    ScratchDirectory scratch;
    const std::string directory = scratch.path().string();
    CabArchiveExtraction toDisk{};
    toDisk.directory = directory.c_str();
    result.push_back(std::to_string(cabArchiveExtract(archive, &toDisk, &error)));
    for (uint32_t i = 0; i < cabArchiveEntryCount(archive); ++i) {
        CabArchiveEntry entry{};
        cabArchiveEntry(archive, i, &entry);
        result.push_back(readFile(scratch.path() / entry.name));
    }
    cabArchiveClose(archive);
    return result;
}

}  // namespace

TEST(ArchiveDecoding, EachBlockIsReadOnceWhateverTheOrderAsked) {
    std::vector<cabwriter::File> files;
    for (int i = 0; i < 8; ++i) files.push_back(makeFile("f" + std::to_string(i), 3000, uint8_t(i)));
    // "copy" names the same bytes as f2: its data is decoded once for both.
    cabwriter::File copy = makeFile("copy", 0, 0);
    copy.sizeOverride = 3000;
    copy.folderStartOverride = 6000;
    files.push_back(copy);
    const cabwriter::Cabinet cabinet = cabwriter::writeCabinet({folderOf(Method::Mszip, files, 4096)});
    ASSERT_GE(cabinet.layout.blockOffsets.size(), 5u);

    CountingStream counting;
    counting.bytes = cabinet.image;
    const CabArchiveStream stream = counting.stream();
    CabArchive* archive = nullptr;
    CabArchiveError error{};
    ASSERT_EQ(cabArchiveOpenStream(&stream, nullptr, &archive, &error), CabArchiveOk) << error.message;
    counting.readsStartingAt.clear();

    const uint32_t reversed[] = {8, 7, 6, 5, 4, 3, 2, 1, 0};
    RecordingSink sink;
    const CabArchiveSink s = sink.sink();
    CabArchiveExtraction extraction{};
    extraction.entries = reversed;
    extraction.entryCount = 9;
    extraction.sink = &s;
    struct Progress {
        uint64_t calls = 0, lastDone = 0, total = 0;
    } progress;
    extraction.context = &progress;
    extraction.progress = [](void* context, uint64_t done, uint64_t total) {
        auto& p = *static_cast<Progress*>(context);
        EXPECT_GE(done, p.lastDone);
        p.lastDone = done;
        p.total = total;
        ++p.calls;
    };
    ASSERT_EQ(cabArchiveExtract(archive, &extraction, &error), CabArchiveOk) << error.message;
    for (const uint32_t offset : cabinet.layout.blockOffsets) {
        EXPECT_EQ(counting.readsStartingAt[offset], 1) << "block at " << offset;
    }
    EXPECT_EQ(sink.written[8], text(files[2].data));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(sink.written[uint32_t(i)], text(files[size_t(i)].data)) << i;
    EXPECT_EQ(progress.total, 27000u);
    EXPECT_EQ(progress.lastDone, 27000u);
    EXPECT_GE(progress.calls, cabinet.layout.blockOffsets.size());
    cabArchiveClose(archive);
}

TEST(ArchiveDecoding, APagedQuantumWindowGivesTheSameBytesThroughItsTemporaryFile) {
    cabwriter::Folder folder = folderOf(Method::Quantum, {makeFile("q1", 90000, 1), makeFile("q2", 50000, 2)});
    folder.quantumWindowBits = 17;
    const cabwriter::Cabinet cabinet = cabwriter::writeCabinet({folder});
    CabArchiveOptions options;
    cabArchiveDefaultOptions(&options);
    options.quantumWindowPages = 3;
    CabArchive* paged = openMemory(cabinet.image, &options);
    ASSERT_NE(paged, nullptr);
    EXPECT_EQ(extractText(paged, 0), text(folder.files[0].data));
    EXPECT_EQ(extractText(paged, 1), text(folder.files[1].data));

    // Where no temporary file can be made, only the paged window fails, and
    // says why.
    const char* saved = std::getenv("TMPDIR");
    const std::string savedValue = saved != nullptr ? saved : "";
    setenv("TMPDIR", "/nonexistent-directory", 1);
    void* data = nullptr;
    size_t size = 0;
    CabArchiveError error{};
    const int32_t pagedStatus = cabArchiveExtractToMemory(paged, 0, &data, &size, &error);
    CabArchive* whole = openMemory(cabinet.image);
    const std::string wholeBytes = whole != nullptr ? extractText(whole, 0) : "";
    if (saved != nullptr) setenv("TMPDIR", savedValue.c_str(), 1); else unsetenv("TMPDIR");
    EXPECT_EQ(pagedStatus, CabArchiveIncomplete);
    EXPECT_NE(std::string(error.message).find("Quantum window"), std::string::npos) << error.message;
    EXPECT_EQ(wholeBytes, text(folder.files[0].data));
    cabArchiveFree(data);
    cabArchiveClose(paged);
    cabArchiveClose(whole);
}

TEST(ArchiveDecoding, ArchivesOnFourThreadsAtOnceGiveWhatOneThreadGives) {
    cabwriter::Folder quantum = folderOf(Method::Quantum, {makeFile("q", 60000, 3), makeFile("q2", 7000, 4)});
    std::vector<Bytes> images{
        cabwriter::writeCabinet({folderOf(Method::Mszip, {makeFile("m", 80000, 1), makeFile("m2", 9000, 2)})}).image,
        cabwriter::writeCabinet({quantum}).image,
        cabwriter::writeCabinet({folderOf(Method::Lzx, {makeFile("l", 100000, 5), makeFile("l2", 3000, 6)})}).image,
        cabwriter::writeCabinet({folderOf(Method::Stored, {makeFile("s", 20000, 7)}),
                                 folderOf(Method::Lzx, {makeFile("t", 40000, 8)})}).image,
    };
    std::vector<std::vector<std::string>> expected;
    for (const Bytes& image : images) expected.push_back(extractEverything(image));
    for (const auto& e : expected) ASSERT_EQ(e.front(), "0") << e.front();

    constexpr int kThreads = 4;
    constexpr int kRounds = 6;
    std::vector<std::vector<std::vector<std::string>>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                seen[size_t(t)].push_back(extractEverything(images[size_t((t + round) % images.size())]));
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) {
        for (int round = 0; round < kRounds; ++round) {
            EXPECT_EQ(seen[size_t(t)][size_t(round)], expected[size_t((t + round) % images.size())])
                << "thread " << t << " round " << round;
        }
    }
}
