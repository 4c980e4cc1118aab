// The extraction target that writes entries below a directory, each through
// a temporary file renamed into place only when complete.
#pragma once

#include <optional>

#include "archive/extract/entry_target.h"
#include "archive/output/output_file.h"

namespace cabarchive {

class DirectoryTarget final : public EntryTarget {
public:
    // Opens `directory` for the extraction; nothing, with the reason in
    // `problem`, when it cannot be opened.
    static std::optional<DirectoryTarget> open(const char* directory,
                                               const CabArchiveExtraction& request,
                                               std::string& problem);
    DirectoryTarget(DirectoryTarget&& other) noexcept;
    DirectoryTarget& operator=(DirectoryTarget&&) = delete;
    ~DirectoryTarget();

    Offer begin(uint32_t index, const CabArchiveEntry& entry) override;
    bool write(const uint8_t* data, uint32_t size) override;
    int32_t end(uint32_t index, int32_t outcome, std::string& reason) override;

private:
    DirectoryTarget(int rootFd, bool keepExisting, bool lowercase)
        : rootFd_(rootFd), keepExisting_(keepExisting), lowercase_(lowercase) {}

    int rootFd_ = -1;
    bool keepExisting_ = false;
    bool lowercase_ = false;
    std::optional<OutputFile> output_;
    CabArchiveEntry entry_{};
    std::string writeProblem_;  // why the bytes could not be written, or empty
};

}  // namespace cabarchive
