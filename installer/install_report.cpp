#include "installer/install_report.h"

#include <cstdio>

#include "installer/paths.h"

namespace {

constexpr char kCompletionMessage[] = "Installation Completed.";
// A file name and a directory of up to 511 characters each, and the words.
constexpr size_t kLineSize = 2 * kPathBufferSize + 128;

}  // namespace

void InstallReport::addLine(const char* line) {
    if (length_ > 0 && length_ + 1 < kCapacity) text_[length_++] = '\n';
    while (*line != '\0' && length_ + 1 < kCapacity) text_[length_++] = *line++;
}

void InstallReport::noTemporaryDirectory() {
    addLine("Nothing was installed: no temporary directory is set (temp or tmp).");
}

void InstallReport::noWindowsDirectory() {
    addLine("Nothing was installed: the Windows directory is not known (windir is not set).");
}

void InstallReport::stagingFailed(const char* cabinetName, const char* directory,
                                  const FailureReason& reason) {
    PathBuffer shown;
    char line[kLineSize];
    std::snprintf(line, sizeof line, "%s could not be written to %s: %s.", cabinetName,
                  displayPath(shown, directory), reasonText(reason));
    addLine(line);
}

void InstallReport::extractionFailed(const ExtractionFailure& failure) {
    PathBuffer shown;
    displayPath(shown, failure.directory);
    const char* format = failure.inCabinet ? "%s in %s could not be unpacked: %s."
                                           : "%s could not be installed in %s: %s.";
    char line[kLineSize];
    std::snprintf(line, sizeof line, format, failure.file, shown, reasonText(failure.reason));
    addLine(line);
}

const char* InstallReport::text() const { return length_ > 0 ? text_ : kCompletionMessage; }
