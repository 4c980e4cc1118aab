// The conformance corpus of LZX cabinets, made by an independent encoder:
// every case through the decoder, and through cabtool test and extract as a
// user runs them.
#include "tests/cabtool/tool_runner.h"
#include "tests/support/corpus.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;

namespace {

class LzxCorpus : public ::testing::Test {
protected:
    void SetUp() override {
        directory_ = corpus::corpusRoot(QMORA_SOURCE_ROOT) / "lzx";
        if (!fs::exists(directory_ / "manifest.json")) {
            GTEST_SKIP() << "LZX corpus not found at " << directory_
                         << " (set QMORA_CORPUS_DIR to the corpus root)";
        }
        std::string error;
        ASSERT_TRUE(corpus::readManifest(directory_, manifest_, error)) << error;
        ASSERT_FALSE(manifest_.cases.empty());
    }
    fs::path directory_;
    corpus::Manifest manifest_;
};

std::map<std::string, std::vector<uint8_t>> filesBelow(const fs::path& root) {
    std::map<std::string, std::vector<uint8_t>> found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string name = fs::relative(entry.path(), root).string();
        found[name] = std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
    }
    return found;
}

TEST_F(LzxCorpus, EveryCaseThroughTheDecoder) {
    for (const corpus::Case& c : manifest_.cases) {
        corpus::Run run = corpus::runThroughDecoder(directory_, c);
        EXPECT_EQ(corpus::checkRun(c, run), "") << c.name << " (" << c.note << ")";
    }
}

TEST_F(LzxCorpus, EveryCaseThroughCabtoolTestAndExtract) {
    for (const corpus::Case& c : manifest_.cases) {
        cabtooltest::ScratchDirectory scratch;
        for (const std::string& cabinet : c.cabinets) {
            fs::copy_file(directory_ / cabinet, scratch.path() / cabinet);
            fs::permissions(scratch.path() / cabinet, fs::perms::owner_read | fs::perms::owner_write);
        }
        cabtooltest::ToolResult tested = cabtooltest::runCabtool({"test", c.cabinets.front()}, scratch.path());
        EXPECT_EQ(tested.exitStatus == 0, c.expectOk) << c.name << ": " << tested.out << tested.err;

        fs::path out = scratch.path() / "out";
        fs::create_directories(out);
        cabtooltest::ToolResult extracted =
            cabtooltest::runCabtool({"extract", "-d", out.string(), c.cabinets.front()}, scratch.path());
        EXPECT_EQ(extracted.exitStatus == 0, c.expectOk) << c.name << ": " << extracted.err;
        // Extracted names use the host's separator; the manifest's use '\'.
        auto found = filesBelow(out);
        std::map<std::string, std::vector<uint8_t>> finished;
        for (auto& [name, contents] : found) {
            std::string manifestName = name;
            for (char& ch : manifestName) {
                if (ch == '/') ch = '\\';
            }
            finished[manifestName] = std::move(contents);
        }
        EXPECT_EQ(corpus::checkFiles(c, finished), "") << c.name << " (" << c.note << ")";
    }
}

}  // namespace
