#include "tools/cabtool/files/interrupt_cleanup.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

namespace cabtool {
namespace {

// The directories this run created: base descriptor and the offset of the
// path in gDirectoryPaths, each path NUL-terminated.
constexpr size_t kMaxDirectories = 1024;
constexpr size_t kDirectoryPathRoom = 64 * 1024;
struct CreatedDirectory {
    int baseFd;
    size_t pathAt;
};
CreatedDirectory gDirectories[kMaxDirectories];
char gDirectoryPaths[kDirectoryPathRoom];
size_t gDirectoryPathsUsed = 0;
volatile std::sig_atomic_t gDirectoryCount = 0;  // entries complete; raised last

volatile std::sig_atomic_t gProgressDrawn = 0;
volatile std::sig_atomic_t gStopMode = 0;
// The signal that asked to stop, once one did; kStoppedAtFailure when
// cabtool itself stopped the extraction.
constexpr std::sig_atomic_t kStoppedAtFailure = -1;
volatile std::sig_atomic_t gStopSignal = 0;
constexpr char kClearLine[] = "\r\033[K";

extern "C" void removeFileAndExit(int signal) {
    if (gStopMode && gStopSignal <= 0) {
        gStopSignal = signal;  // the extraction stops and tidies up itself
        return;
    }
    for (std::sig_atomic_t i = gDirectoryCount; i > 0; --i) {
        const CreatedDirectory& created = gDirectories[i - 1];
        unlinkat(created.baseFd, gDirectoryPaths + created.pathAt, AT_REMOVEDIR);  // fails unless empty
    }
    if (gProgressDrawn) {
        const ssize_t ignored = write(STDERR_FILENO, kClearLine, sizeof kClearLine - 1);
        (void)ignored;
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

void installInterruptCleanup() {
    for (const int signal : kCleanupSignals) {
        struct sigaction action {};
        action.sa_handler = removeFileAndExit;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
    std::signal(SIGXFSZ, SIG_IGN);
}

void noteCreatedDirectory(int directoryFd, const std::string& path) {
    const size_t count = size_t(gDirectoryCount);
    if (count == kMaxDirectories || gDirectoryPathsUsed + path.size() + 1 > kDirectoryPathRoom) return;
    std::memcpy(gDirectoryPaths + gDirectoryPathsUsed, path.c_str(), path.size() + 1);
    gDirectories[count] = CreatedDirectory{directoryFd, gDirectoryPathsUsed};
    gDirectoryPathsUsed += path.size() + 1;
    gDirectoryCount = std::sig_atomic_t(count + 1);
}

void forgetCreatedDirectories() {
    gDirectoryCount = 0;
    gDirectoryPathsUsed = 0;
}

void stopOnInterrupt(bool on) { gStopMode = on ? 1 : 0; }

const volatile std::sig_atomic_t* interruptStop() { return &gStopSignal; }

void endIfInterrupted() {
    const int signal = int(gStopSignal);
    if (signal <= 0) return;
    gStopMode = 0;
    removeFileAndExit(signal);
}

void stopForFailure() {
    if (gStopSignal == 0) gStopSignal = kStoppedAtFailure;
}

void clearFailureStop() {
    if (gStopSignal == kStoppedAtFailure) gStopSignal = 0;
}

void noteProgressLine(bool drawn) { gProgressDrawn = drawn ? 1 : 0; }

}  // namespace cabtool
