// The extraction target that writes entries below a directory, each through
// a temporary file renamed into place only when complete: at once, or, for
// a worker, later by the caller's thread in the order of the entries.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/extract/entry_target.h"
#include "archive/output/output_file.h"

namespace cabarchive {

// An entry's complete file a worker left under its temporary name.
struct HeldFile {
    uint32_t entry = 0;
    FinishedFile file;
    std::vector<std::string> madeDirectories;  // made for it, outermost first
};

class DirectoryTarget final : public EntryTarget {
public:
    // Opens `directory` for the extraction, naming temporary files with the
    // prefix `events` gives, if any; nothing, with the reason in `problem`,
    // when it cannot be opened.
    static std::optional<DirectoryTarget> open(const char* directory,
                                               const CabArchiveExtraction& request,
                                               std::string& problem,
                                               const CabArchiveEvents* events = nullptr);
    DirectoryTarget(DirectoryTarget&& other) noexcept;
    DirectoryTarget& operator=(DirectoryTarget&&) = delete;
    ~DirectoryTarget();

    Offer begin(uint32_t index, const CabArchiveEntry& entry) override;
    bool write(const uint8_t* data, uint32_t size) override;
    int32_t end(uint32_t index, int32_t outcome, std::string& reason) override;
    bool fillWithZeros(std::string& problem) override;

    // From now on complete files are finished but left under their
    // temporary names, collected for takeHeldFiles, instead of renamed.
    void holdCompleteFiles() { holding_ = true; }
    // The files held since the last call, in the order they were completed.
    std::vector<HeldFile> takeHeldFiles() { return std::exchange(held_, {}); }
    // The directories made, while holding, for entries that left no held
    // file, since the last call: outermost first per entry.
    std::vector<std::string> takeUnheldDirectories() { return std::exchange(unheld_, {}); }

private:
    // The client's temporary prefix, kept where moving the target leaves it.
    struct Naming {
        std::string prefix;
        OutputHooks hooks;
    };

    DirectoryTarget(int rootFd, bool keepExisting, bool lowercase)
        : rootFd_(rootFd), keepExisting_(keepExisting), lowercase_(lowercase) {}
    // Removes the directories made for the entry being written that are
    // empty, the deepest first.
    void removeEmptyDirectories();

    int rootFd_ = -1;
    bool keepExisting_ = false;
    bool lowercase_ = false;
    bool holding_ = false;
    std::vector<HeldFile> held_;
    std::optional<OutputFile> output_;
    CabArchiveEntry entry_{};
    std::string writeProblem_;  // why the bytes could not be written, or empty
    std::unique_ptr<Naming> naming_;  // null: the default temporary names
    std::vector<std::string> madeDirectories_;  // for the entry being written, outermost first
    std::vector<std::string> unheld_;  // see takeUnheldDirectories
};

}  // namespace cabarchive
