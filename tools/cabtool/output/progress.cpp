#include "tools/cabtool/output/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "tools/cabtool/files/interrupt_cleanup.h"

namespace cabtool {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr const char* kClearLine = "\r\033[K";
Progress* active = nullptr;

std::string megabytes(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1e6);
    return text;
}

size_t terminalWidth() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col;
    return 80;
}

}  // namespace

Progress* activeProgress() { return active; }
void setActiveProgress(Progress* progress) { active = progress; }

Progress::Progress(bool enabled, uint64_t totalBytes, uint32_t cabinets)
    : shown_(enabled && (totalBytes > kLongRunBytes || cabinets >= kLongCabinetCount)),
      total_(totalBytes) {}

Progress::~Progress() { clear(); }

void Progress::startFile(const std::string& printableName) {
    const std::lock_guard<std::mutex> guard(lock_);
    file_ = printableName;
    draw(true);
}

void Progress::addBytes(uint64_t count) {
    const std::lock_guard<std::mutex> guard(lock_);
    done_ += count;
    draw(false);
}

void Progress::clear() {
    const std::lock_guard<std::mutex> guard(lock_);
    if (!drawn_) return;
    std::fputs(kClearLine, stderr);
    std::fflush(stderr);
    drawn_ = false;
    noteProgressLine(false);
}

void Progress::draw(bool force) {
    if (!shown_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && drawn_ && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    const unsigned percent = total_ == 0 ? 100 : unsigned(std::min<uint64_t>(done_, total_) * 100 / total_);
    std::string line = std::to_string(percent) + "%  " + megabytes(done_) + " of " +
                       megabytes(total_) + "  ";
    // The name is cut on the left to keep the line within the terminal.
    const size_t width = terminalWidth() - 1;
    std::string name = file_;
    if (line.size() + name.size() > width) {
        const size_t room = width > line.size() + 3 ? width - line.size() - 3 : 0;
        size_t cut = name.size() - std::min(room, name.size());
        while (cut < name.size() && (uint8_t(name[cut]) & 0xC0) == 0x80) ++cut;  // whole characters
        name = "..." + name.substr(cut);
    }
    noteProgressLine(true);  // before the line shows, so that an interrupt never misses it
    std::fputs(kClearLine, stderr);
    std::fputs((line + name).c_str(), stderr);
    std::fflush(stderr);
    drawn_ = true;
}

}  // namespace cabtool
