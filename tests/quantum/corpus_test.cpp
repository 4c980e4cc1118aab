// The conformance corpus of Quantum cabinets made by an independent encoder:
// every case through the decoder in memory, and through cabtool's test and
// extract, with the window in one piece and paged with few buffers.
#include "tests/cabtool/tool_runner.h"
#include "tests/support/corpus.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;
using cabtooltest::runCabtool;
using cabtooltest::ScratchDirectory;

class QuantumCorpus : public ::testing::Test {
protected:
    void SetUp() override {
        directory_ = corpus::corpusRoot(QMORA_SOURCE_DIR) / "quantum";
        if (!fs::exists(directory_ / "manifest.json")) {
            GTEST_SKIP() << "no Quantum corpus at " << directory_
                         << " (set QMORA_CORPUS_DIR to the corpus root)";
        }
        std::string error;
        ASSERT_TRUE(corpus::readManifest(directory_, manifest_, error)) << error;
        ASSERT_FALSE(manifest_.cases.empty());
    }
    void TearDown() override { unsetenv("QMORA_QUANTUM_PAGES"); }

    // Copies the case's cabinets into a scratch directory, runs cabtool on
    // the first, and checks the exit status and, for extract, the files left.
    void runTool(const corpus::Case& testCase, const std::string& command) {
        ScratchDirectory scratch;
        for (const std::string& name : testCase.cabinets) {
            fs::copy_file(directory_ / name, scratch.path() / name);
        }
        const fs::path out = scratch.path() / "out";
        std::vector<std::string> args = {command};
        if (command == "extract") {
            args.insert(args.end(), {"-d", out.string()});
        }
        args.push_back(testCase.cabinets[0]);
        const cabtooltest::ToolResult result = runCabtool(args, scratch.path());
        EXPECT_EQ(result.exitStatus, testCase.expectOk ? 0 : 1)
            << testCase.name << " " << command << ": " << result.err;
        if (!testCase.expectOk) {
            EXPECT_FALSE(result.err.empty()) << testCase.name;
        }
        if (command != "extract") return;
        std::map<std::string, std::vector<uint8_t>> finished;
        if (fs::exists(out)) {
            for (const fs::directory_entry& entry : fs::recursive_directory_iterator(out)) {
                if (!entry.is_regular_file()) continue;
                std::ifstream in(entry.path(), std::ios::binary);
                finished[fs::relative(entry.path(), out).string()] =
                    std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
            }
        }
        EXPECT_EQ(corpus::checkFiles(testCase, finished), "") << testCase.name << " " << command;
    }

    fs::path directory_;
    corpus::Manifest manifest_;
};

TEST_F(QuantumCorpus, EveryCaseThroughTheDecoder) {
    for (const corpus::Case& testCase : manifest_.cases) {
        const corpus::Run run = corpus::runThroughDecoder(directory_, testCase);
        EXPECT_EQ(corpus::checkRun(testCase, run), "") << testCase.name << ": " << testCase.note;
    }
}

TEST_F(QuantumCorpus, EveryCaseThroughCabtoolTestAndExtract) {
    for (const corpus::Case& testCase : manifest_.cases) {
        runTool(testCase, "test");
        runTool(testCase, "extract");
    }
}

// Three buffers may legitimately fail a match whose source spans two pages
// while its output moves on to the next page, so the runs use four and more.
TEST_F(QuantumCorpus, EveryCaseThroughCabtoolWithThePagedWindow) {
    for (const char* pages : {"4", "7"}) {
        setenv("QMORA_QUANTUM_PAGES", pages, 1);
        for (const corpus::Case& testCase : manifest_.cases) {
            SCOPED_TRACE(std::string("pages ") + pages);
            runTool(testCase, "extract");
        }
    }
}

}  // namespace
