#include "tests/support/corpus.h"

#include "cab/cab.h"
#include "tests/support/memory_files.h"
#include "tests/support/sha256.h"

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

namespace corpus {
namespace {

// A JSON value: just enough of the format for the manifests.
struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json* member(const std::string& key) const {
        auto it = members.find(key);
        return it == members.end() ? nullptr : &it->second;
    }
};

class JsonReader {
public:
    explicit JsonReader(const std::string& text) : text_(text) {}

    bool readDocument(Json& value) {
        if (!readValue(value, 0)) return false;
        skipSpace();
        return pos_ == text_.size();
    }

private:
    void skipSpace() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\n' ||
                                       text_[pos_] == '\r' || text_[pos_] == '\t')) {
            ++pos_;
        }
    }

    bool take(char c) {
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    bool takeWord(const char* word) {
        std::string w(word);
        if (text_.compare(pos_, w.size(), w) != 0) return false;
        pos_ += w.size();
        return true;
    }

    bool readString(std::string& out) {
        if (!take('"')) return false;
        while (pos_ < text_.size()) {
            char c = text_[pos_++];
            if (c == '"') return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= text_.size()) return false;
            char e = text_[pos_++];
            switch (e) {
                case '"': case '\\': case '/': out += e; break;
                case 'n': out += '\n'; break;
                case 't': out += '\t'; break;
                case 'r': out += '\r'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'u': {
                    if (pos_ + 4 > text_.size()) return false;
                    unsigned code = std::stoul(text_.substr(pos_, 4), nullptr, 16);
                    pos_ += 4;
                    // Names in the manifests are ASCII; other characters are
                    // kept as UTF-8 of the basic plane.
                    if (code < 0x80) {
                        out += char(code);
                    } else if (code < 0x800) {
                        out += char(0xC0 | (code >> 6));
                        out += char(0x80 | (code & 0x3F));
                    } else {
                        out += char(0xE0 | (code >> 12));
                        out += char(0x80 | ((code >> 6) & 0x3F));
                        out += char(0x80 | (code & 0x3F));
                    }
                    break;
                }
                default: return false;
            }
        }
        return false;
    }

    bool readValue(Json& value, int depth) {
        if (depth > 64) return false;
        skipSpace();
        if (pos_ >= text_.size()) return false;
        char c = text_[pos_];
        if (c == '{') {
            ++pos_;
            value.kind = Json::Object;
            if (take('}')) return true;
            do {
                std::string key;
                skipSpace();
                if (!readString(key) || !take(':')) return false;
                if (!readValue(value.members[key], depth + 1)) return false;
            } while (take(','));
            return take('}');
        }
        if (c == '[') {
            ++pos_;
            value.kind = Json::Array;
            if (take(']')) return true;
            do {
                value.items.emplace_back();
                if (!readValue(value.items.back(), depth + 1)) return false;
            } while (take(','));
            return take(']');
        }
        if (c == '"') {
            value.kind = Json::String;
            return readString(value.text);
        }
        if (takeWord("null")) return true;
        if (takeWord("true")) {
            value.kind = Json::Bool;
            value.boolean = true;
            return true;
        }
        if (takeWord("false")) {
            value.kind = Json::Bool;
            return true;
        }
        size_t end = pos_;
        while (end < text_.size() && std::string("+-0123456789.eE").find(text_[end]) != std::string::npos) {
            ++end;
        }
        if (end == pos_) return false;
        value.kind = Json::Number;
        value.number = std::strtod(text_.substr(pos_, end - pos_).c_str(), nullptr);
        pos_ = end;
        return true;
    }

    const std::string& text_;
    size_t pos_ = 0;
};

std::string stringOf(const Json* value) {
    return value && value->kind == Json::String ? value->text : std::string();
}

std::vector<std::string> stringsOf(const Json* value) {
    std::vector<std::string> out;
    if (value && value->kind == Json::Array) {
        for (const Json& item : value->items) out.push_back(stringOf(&item));
    }
    return out;
}

bool readCase(const Json& json, Case& testCase) {
    if (json.kind != Json::Object) return false;
    testCase.name = stringOf(json.member("name"));
    testCase.cabinets = stringsOf(json.member("cabinets"));
    if (const Json* bits = json.member("window_bits"); bits && bits->kind == Json::Array) {
        for (const Json& b : bits->items) testCase.windowBits.push_back(int(b.number));
    }
    std::string expect = stringOf(json.member("expect"));
    if (expect != "ok" && expect != "fail") return false;
    testCase.expectOk = expect == "ok";
    testCase.error = stringOf(json.member("error"));
    const Json* files = json.member("files");
    if (!files || files->kind != Json::Array) return false;
    for (const Json& f : files->items) {
        ExpectedFile file;
        file.name = stringOf(f.member("name"));
        const Json* size = f.member("size");
        if (!size || size->kind != Json::Number) return false;
        file.size = uint64_t(size->number);
        file.sha256 = stringOf(f.member("sha256"));
        testCase.files.push_back(file);
    }
    testCase.completeBeforeFailure = stringsOf(json.member("complete_before_failure"));
    testCase.note = stringOf(json.member("note"));
    return !testCase.name.empty() && !testCase.cabinets.empty();
}

std::vector<uint8_t> readBinary(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

// The walk's bookkeeping; the callbacks carry no context of their own.
Run* currentRun = nullptr;
std::map<int32_t, std::string> openNames;

int notify(int kind, CabNotification* n) {
    switch (kind) {
        case OpenOutput: {
            currentRun->opened.push_back(n->text1);
            int32_t handle = memfiles::createOutput(n->text1);
            openNames[handle] = n->text1;
            return handle;
        }
        case CloseOutput: {
            std::string name = openNames[n->fileHandle];
            currentRun->finished[name] = memfiles::output(name);
            return memfiles::close(n->fileHandle) == 0 ? 1 : 0;
        }
        case NeedCabinet: return n->lastError != 0 ? -1 : 0;
        default: return 0;
    }
}

}  // namespace

std::filesystem::path corpusRoot(const std::string& sourceRoot) {
    if (const char* dir = std::getenv("QMORA_CORPUS_DIR"); dir && *dir) return dir;
    return std::filesystem::path(sourceRoot) / ".." / "shared" / "corpus";
}

bool readManifest(const std::filesystem::path& directory, Manifest& manifest, std::string& error) {
    std::ifstream in(directory / "manifest.json", std::ios::binary);
    if (!in) {
        error = "cannot read " + (directory / "manifest.json").string();
        return false;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string text = buffer.str();
    Json root;
    if (!JsonReader(text).readDocument(root) || root.kind != Json::Object) {
        error = "manifest.json is not valid JSON";
        return false;
    }
    manifest.codec = stringOf(root.member("codec"));
    const Json* cases = root.member("cases");
    if (!cases || cases->kind != Json::Array) {
        error = "manifest.json has no list of cases";
        return false;
    }
    manifest.cases.clear();
    for (const Json& c : cases->items) {
        Case testCase;
        if (!readCase(c, testCase)) {
            error = "manifest.json has a malformed case after " +
                    (manifest.cases.empty() ? std::string("the start") : manifest.cases.back().name);
            return false;
        }
        manifest.cases.push_back(testCase);
    }
    return true;
}

int32_t errorCodeByName(const std::string& name) {
    static const std::map<std::string, int32_t> codes = {
        {"CannotOpen", CannotOpen},         {"BadSignature", BadSignature},
        {"BadVersion", BadVersion},         {"DamagedCabinet", DamagedCabinet},
        {"NoMemory", NoMemory},             {"UnknownMethod", UnknownMethod},
        {"CodecFailed", CodecFailed},       {"OutputFailed", OutputFailed},
        {"ReserveSizeChanged", ReserveSizeChanged}, {"NotNextInSet", NotNextInSet},
        {"ClientAbort", ClientAbort},
    };
    auto it = codes.find(name);
    return it == codes.end() ? -1 : it->second;
}

Run runThroughDecoder(const std::filesystem::path& directory, const Case& testCase) {
    Run run;
    memfiles::reset();
    for (const std::string& cabinet : testCase.cabinets) {
        memfiles::addFile(cabinet, readBinary(directory / cabinet));
    }
    currentRun = &run;
    openNames.clear();
    CabError error{};
    CabDecoder* decoder = memfiles::createDecoder(&error);
    if (decoder) {
        run.result = cabExtract(decoder, testCase.cabinets.front().c_str(), "", notify, nullptr,
                                nullptr);
        cabDestroy(decoder);
    }
    run.errorCode = error.errorCode;
    currentRun = nullptr;
    return run;
}

std::string checkFiles(const Case& testCase,
                       const std::map<std::string, std::vector<uint8_t>>& finished) {
    std::ostringstream faults;
    std::vector<std::string> wanted;
    if (testCase.expectOk) {
        for (const ExpectedFile& f : testCase.files) wanted.push_back(f.name);
    } else {
        wanted = testCase.completeBeforeFailure;
    }
    for (const std::string& name : wanted) {
        auto got = finished.find(name);
        if (got == finished.end()) {
            faults << name << ": missing\n";
            continue;
        }
        for (const ExpectedFile& f : testCase.files) {
            if (f.name != name) continue;
            if (got->second.size() != f.size) {
                faults << name << ": " << got->second.size() << " bytes, expected " << f.size
                       << "\n";
            } else if (testsupport::sha256Hex(got->second.data(), got->second.size()) != f.sha256) {
                faults << name << ": wrong contents (SHA-256 differs)\n";
            }
        }
    }
    for (const auto& [name, contents] : finished) {
        bool expected = false;
        for (const std::string& w : wanted) expected = expected || w == name;
        if (!expected) faults << name << ": finished but should not be\n";
    }
    return faults.str();
}

std::string checkRun(const Case& testCase, const Run& run) {
    std::ostringstream faults;
    faults << checkFiles(testCase, run.finished);
    if (testCase.expectOk) {
        if (run.result != 1) faults << "walk failed: " << cabErrorText(run.errorCode) << "\n";
    } else {
        if (run.result != 0) faults << "walk succeeded but should fail\n";
        if (run.errorCode != errorCodeByName(testCase.error)) {
            faults << "walk ended with " << cabErrorText(run.errorCode) << ", expected "
                   << testCase.error << "\n";
        }
    }
    return faults.str();
}

}  // namespace corpus
