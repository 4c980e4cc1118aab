// Removing the file being written when the process is interrupted, so that
// no temporary file is left behind in the target directory.
#pragma once

namespace cabtool {

// SIGINT, SIGTERM and SIGHUP remove the registered file, then end the
// process as the signal would have. SIGXFSZ is ignored: a write past the
// file size limit then fails with EFBIG and the normal failure path cleans up.
void installInterruptCleanup();

// Creates `name` in `directoryFd` (openat with `flags` and `mode`) and
// registers it as the one file in progress, with the cleanup signals held
// meanwhile so that no signal falls between the two. The name is copied; it
// must be shorter than 64 characters. Returns the descriptor or -1 (errno).
int createFileInProgress(int directoryFd, const char* name, int flags, unsigned mode);
void unregisterFileInProgress();

}  // namespace cabtool
