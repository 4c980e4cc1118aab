// The conformance corpus through the archive: every "ok" case opened from
// its first cabinet gives every file whole; a "fail" case extracts exactly
// the files finished before its bad block and settles every other one with
// a reason.
#include <map>

#include "tests/archive/archive_test_support.h"
#include "tests/support/corpus.h"

namespace {

void runCorpus(const std::string& codec) {
    const std::filesystem::path directory = corpus::corpusRoot(QMORA_SOURCE_ROOT) / codec;
    if (!std::filesystem::exists(directory / "manifest.json")) {
        GTEST_SKIP() << codec << " corpus not found at " << directory;
    }
    corpus::Manifest manifest;
    std::string problem;
    ASSERT_TRUE(corpus::readManifest(directory, manifest, problem)) << problem;
    ASSERT_FALSE(manifest.cases.empty());
    for (const corpus::Case& testCase : manifest.cases) {
        SCOPED_TRACE(testCase.name);
        CabArchive* archive = nullptr;
        CabArchiveError error{};
        const std::string first = (directory / testCase.cabinets.front()).string();
        ASSERT_EQ(cabArchiveOpenPath(first.c_str(), nullptr, &archive, &error), CabArchiveOk) << error.message;
        EXPECT_EQ(cabArchiveCabinetCount(archive), testCase.cabinets.size());
        archivetest::RecordingSink sink;
        const CabArchiveSink s = sink.sink();
        CabArchiveExtraction extraction{};
        extraction.sink = &s;
        const int32_t status = cabArchiveExtract(archive, &extraction, &error);
        EXPECT_EQ(status, testCase.expectOk ? CabArchiveOk : CabArchiveIncomplete);
        std::map<std::string, std::vector<uint8_t>> finished;
        for (uint32_t i = 0; i < cabArchiveEntryCount(archive); ++i) {
            CabArchiveEntry entry{};
            ASSERT_EQ(cabArchiveEntry(archive, i, &entry), CabArchiveOk);
            const char* reason = nullptr;
            const int32_t outcome = cabArchiveOutcome(archive, i, &reason);
            if (outcome == CabOutcomeExtracted) {
                const std::string& bytes = sink.written[i];
                finished[reinterpret_cast<const char*>(entry.rawName)] = {bytes.begin(), bytes.end()};
            } else {
                EXPECT_NE(reason, nullptr) << entry.name;
            }
        }
        EXPECT_EQ(corpus::checkFiles(testCase, finished), "");
        cabArchiveClose(archive);
    }
}

}  // namespace

TEST(ArchiveCorpus, LzxCabinetsFromAnIndependentEncoder) { runCorpus("lzx"); }

TEST(ArchiveCorpus, QuantumCabinetsFromAnIndependentEncoder) { runCorpus("quantum"); }
