#include "tools/cabtool/output/messages.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tools/cabtool/output/printable.h"
#include "tools/cabtool/output/progress.h"

namespace cabtool {
namespace {
constexpr const char* kProgram = "cabtool";

// A message never lands in the middle of the progress line.
void clearProgress() {
    if (Progress* progress = activeProgress()) progress->clear();
}
}  // namespace

// Messages carry names from cabinets and from the command line; every part
// is escaped so that no stored byte reaches the terminal raw.
void reportCabinetError(const std::string& cabinet, const std::string& what) {
    clearProgress();
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, printable(cabinet).c_str(),
                 printable(what).c_str());
}

void reportFileError(const std::string& cabinet, const std::string& file, const std::string& what) {
    clearProgress();
    // Names are shown as extraction writes them, '/' between directories.
    std::string shown = file;
    std::replace(shown.begin(), shown.end(), '\\', '/');
    std::fprintf(stderr, "%s: %s: %s: %s\n", kProgram, printable(cabinet).c_str(),
                 printable(shown).c_str(), printable(what).c_str());
}

void reportError(const std::string& what) {
    clearProgress();
    std::fprintf(stderr, "%s: %s\n", kProgram, printable(what).c_str());
}

std::string describeErrno(int error) { return std::strerror(error); }

}  // namespace cabtool
