#include "tools/cabtool/messages.h"

#include <cstdio>
#include <cstring>

namespace cabtool {
namespace {
constexpr const char* kProgram = "cabtool";
}

void reportCabinetError(const std::string& cabinet, const std::string& what) {
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, cabinet.c_str(), what.c_str());
}

void reportFileError(const std::string& cabinet, const std::string& file, const std::string& what) {
    std::fprintf(stderr, "%s: %s: %s: %s\n", kProgram, cabinet.c_str(), file.c_str(), what.c_str());
}

void reportError(const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", kProgram, what.c_str());
}

std::string describeErrno(int error) { return std::strerror(error); }

}  // namespace cabtool
