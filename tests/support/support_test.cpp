// The digest and the manifest reader that the corpus tests stand on: a wrong
// digest or a misread manifest would make every corpus case pass or fail
// for the wrong reason.
#include "tests/support/corpus.h"
#include "tests/support/sha256.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

std::string sha(const std::string& text) { return testsupport::sha256Hex(text.data(), text.size()); }

TEST(Sha256, KnownDigestsAcrossPaddingBoundaries) {
    EXPECT_EQ(sha(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first padding block.
    EXPECT_EQ(sha("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // 55 bytes fill the first block exactly with the marker and length;
    // 64 bytes need a block of padding alone.
    EXPECT_EQ(sha(std::string(55, 'a')),
              "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
    EXPECT_EQ(sha(std::string(64, 'a')),
              "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
    // A million bytes fed in uneven pieces give the digest of the whole.
    testsupport::Sha256 hash;
    std::string piece(997, 'a');
    size_t left = 1000000;
    while (left > 0) {
        size_t n = std::min(left, piece.size());
        hash.update(piece.data(), n);
        left -= n;
    }
    EXPECT_EQ(hash.hexDigest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

class ManifestReader : public ::testing::Test {
protected:
    void write(const std::string& text) {
        dir_ = std::filesystem::temp_directory_path() /
               ("qmora-manifest-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        std::ofstream(dir_ / "manifest.json") << text;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
};

TEST_F(ManifestReader, ReadsOkAndFailingCases) {
    write(R"({"codec": "lzx", "cases": [
      {"name": "a", "cabinets": ["a1.cab", "a2.cab"], "window_bits": [15, 21],
       "expect": "ok", "error": null,
       "files": [{"name": "x\\y.bin", "size": 4294967296, "sha256": "ab"}],
       "complete_before_failure": [], "note": "two \"parts\""},
      {"name": "b", "cabinets": ["b.cab"], "window_bits": [16], "expect": "fail",
       "error": "CodecFailed", "files": [{"name": "f", "size": 0, "sha256": "cd"},
       {"name": "g", "size": 7, "sha256": "ef"}], "complete_before_failure": ["f"], "note": ""}]})");
    corpus::Manifest manifest;
    std::string error;
    ASSERT_TRUE(corpus::readManifest(dir_, manifest, error)) << error;
    EXPECT_EQ(manifest.codec, "lzx");
    ASSERT_EQ(manifest.cases.size(), 2u);
    const corpus::Case& a = manifest.cases[0];
    EXPECT_TRUE(a.expectOk);
    EXPECT_EQ(a.cabinets, (std::vector<std::string>{"a1.cab", "a2.cab"}));
    EXPECT_EQ(a.windowBits, (std::vector<int>{15, 21}));
    ASSERT_EQ(a.files.size(), 1u);
    EXPECT_EQ(a.files[0].name, "x\\y.bin");
    EXPECT_EQ(a.files[0].size, 4294967296u);
    EXPECT_EQ(a.note, "two \"parts\"");
    const corpus::Case& b = manifest.cases[1];
    EXPECT_FALSE(b.expectOk);
    EXPECT_EQ(corpus::errorCodeByName(b.error), 7);
    EXPECT_EQ(b.completeBeforeFailure, (std::vector<std::string>{"f"}));
}

TEST_F(ManifestReader, RefusesMissingOrMalformedManifests) {
    corpus::Manifest manifest;
    std::string error;
    EXPECT_FALSE(corpus::readManifest("/nonexistent-qmora-corpus", manifest, error));
    EXPECT_FALSE(error.empty());
    for (const char* bad : {R"({"cases": [)", R"({"cases": [{"name": "a"}]})",
                            R"({"cases": [{"name": "a", "cabinets": ["a"], "expect": "maybe", "files": []}]})",
                            R"({"codec": "lzx"})", R"({"cases": []} trailing)"}) {
        write(bad);
        EXPECT_FALSE(corpus::readManifest(dir_, manifest, error)) << bad;
    }
}

TEST(CorpusPassRule, FailingCaseMayFinishOnlyTheNamedFiles) {
    corpus::Case c;
    c.expectOk = false;
    c.error = "CodecFailed";
    c.files = {{"done", 3, sha("abc")}, {"cut", 10, "00"}};
    c.completeBeforeFailure = {"done"};
    corpus::Run run;
    run.result = 0;
    run.errorCode = 7;
    run.finished["done"] = {'a', 'b', 'c'};
    EXPECT_EQ(corpus::checkRun(c, run), "");
    run.finished["cut"] = {'x'};
    EXPECT_NE(corpus::checkRun(c, run), "");
    run.finished.erase("cut");
    run.finished["done"] = {'a', 'b', 'd'};
    EXPECT_NE(corpus::checkRun(c, run), "");
    run.finished["done"] = {'a', 'b', 'c'};
    run.errorCode = 4;
    EXPECT_NE(corpus::checkRun(c, run), "");
}

}  // namespace
