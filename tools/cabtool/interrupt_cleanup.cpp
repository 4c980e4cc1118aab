#include "tools/cabtool/interrupt_cleanup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace cabtool {
namespace {

// Read by the signal handler: only plain storage, switched on last.
volatile std::sig_atomic_t gRegistered = 0;
int gDirectoryFd = -1;
char gName[64];

extern "C" void removeFileAndExit(int signal) {
    if (gRegistered) unlinkat(gDirectoryFd, gName, 0);
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

int createFileInProgress(int directoryFd, const char* name, int flags, unsigned mode) {
    sigset_t held, previous;
    sigemptyset(&held);
    for (const int signal : kCleanupSignals) sigaddset(&held, signal);
    sigprocmask(SIG_BLOCK, &held, &previous);
    const int fd = openat(directoryFd, name, flags, mode);
    const int openErrno = errno;
    if (fd >= 0) {
        gRegistered = 0;
        gDirectoryFd = directoryFd;
        std::strncpy(gName, name, sizeof gName - 1);
        gName[sizeof gName - 1] = '\0';
        gRegistered = 1;
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    errno = openErrno;
    return fd;
}

void unregisterFileInProgress() { gRegistered = 0; }

}  // namespace cabtool
