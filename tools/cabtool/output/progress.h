// The progress line of a long extraction or test on a terminal: bytes done
// of the total and the file in hand, redrawn in place on standard error and
// cleared at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace cabtool {

// A run counts as long when it decodes more than this many bytes in all, or
// reads at least kLongCabinetCount cabinets.
constexpr uint64_t kLongRunBytes = 64ull << 20;
constexpr uint32_t kLongCabinetCount = 10;

// Workers of an extraction name their files from their own threads while
// the calling thread clears the line for messages: each call takes its turn.
class Progress {
public:
    // Shows progress only when `enabled` (standard error is a terminal and
    // the user did not ask for quiet) and the run is long.
    Progress(bool enabled, uint64_t totalBytes, uint32_t cabinets);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    bool shown() const { return shown_; }
    void startFile(const std::string& printableName);
    void addBytes(uint64_t count);
    // Removes the line, e.g. before a message is printed.
    void clear();

private:
    void draw(bool force);

    bool shown_;
    uint64_t total_;
    uint64_t done_ = 0;
    std::string file_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
    std::mutex lock_;
};

// The one progress display of the running command, or null; the decoder's
// write callback reports its bytes here.
Progress* activeProgress();
void setActiveProgress(Progress* progress);

}  // namespace cabtool
