// What an Install tells the user when it ends: "Installation Completed."
// when every payload it set out to install is in place, otherwise one short
// sentence per failure, naming the file, the directory and the reason.
#pragma once

#include <cstddef>

#include "installer/extraction_driver.h"
#include "installer/failure_reason.h"

class InstallReport {
public:
    // Install could not start: neither directory variable gives a place.
    void noTemporaryDirectory();
    void noWindowsDirectory();
    // A payload cabinet could not be written to the temporary directory.
    void stagingFailed(const char* cabinetName, const char* directory, const FailureReason& reason);
    // A staged cabinet could not be unpacked.
    void extractionFailed(const ExtractionFailure& failure);

    bool hasFailures() const { return length_ > 0; }
    // The message box text.
    const char* text() const;

private:
    void addLine(const char* line);

    static constexpr size_t kCapacity = 4096;
    char text_[kCapacity] = {};
    size_t length_ = 0;
};
