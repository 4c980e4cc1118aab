// The conformance corpus: cabinets made by an independent encoder, each
// folder (lzx/, quantum/) with a manifest.json giving every file's size and
// SHA-256 and the cases that must fail. This reads the manifests, runs a
// case through the decoder over in-memory files and applies the pass rule:
// an "ok" case gives every file with its size and digest; a "fail" case gives
// exactly the files finished before the bad block, ends with the error named
// and finishes no other file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace corpus {

struct ExpectedFile {
    std::string name;
    uint64_t size = 0;
    std::string sha256;  // lowercase hex
};

struct Case {
    std::string name;
    std::vector<std::string> cabinets;  // extract from the first; the rest continue the set
    std::vector<int> windowBits;        // one per folder
    bool expectOk = true;
    std::string error;  // for a failing case: the CabErrorCode name that ends the walk
    std::vector<ExpectedFile> files;
    std::vector<std::string> completeBeforeFailure;
    std::string note;
};

struct Manifest {
    std::string codec;
    std::vector<Case> cases;
};

// The corpus root: $QMORA_CORPUS_DIR, else ../shared/corpus seen from the
// source root.
std::filesystem::path corpusRoot(const std::string& sourceRoot);

// Reads directory/manifest.json. False, with the reason in `error`, when the
// file is missing or is not a manifest.
bool readManifest(const std::filesystem::path& directory, Manifest& manifest, std::string& error);

// The CabErrorCode value for its name ("CodecFailed" -> 7); -1 when unknown.
int32_t errorCodeByName(const std::string& name);

// What one walk of a case's cabinets through the decoder produced.
struct Run {
    int32_t result = 0;     // cabExtract's result
    int32_t errorCode = 0;  // CabError.errorCode after the walk
    std::map<std::string, std::vector<uint8_t>> finished;  // outputs that got CloseOutput
    std::vector<std::string> opened;                       // every OpenOutput, in order
};

// Loads every cabinet of the case from `directory` into in-memory files and
// extracts from the first with the decoder.
Run runThroughDecoder(const std::filesystem::path& directory, const Case& testCase);

// Empty when the run meets the pass rule; otherwise what differs, one fault
// per line. `finished` maps names to contents (from a decoder run or from
// files on disk).
std::string checkFiles(const Case& testCase,
                       const std::map<std::string, std::vector<uint8_t>>& finished);
std::string checkRun(const Case& testCase, const Run& run);

}  // namespace corpus
