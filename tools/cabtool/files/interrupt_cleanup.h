// Tidying up when the process is interrupted: the extraction is asked to
// stop (the archive library then removes the file it was writing), the
// directories this run created and left empty are removed, and the
// progress line is cleared.
#pragma once

#include <csignal>
#include <string>

namespace cabtool {

// SIGINT, SIGTERM and SIGHUP outside an extraction remove the empty
// directories noted below, clear the progress line, then end the process
// as the signal would have. SIGXFSZ is ignored: a write past the file size
// limit then fails with EFBIG and the normal failure path cleans up.
void installInterruptCleanup();

// Notes that this run created the directory `path` (relative to
// `directoryFd`, which must stay open until forgetCreatedDirectories). An
// interrupt removes the noted directories that are empty then, the latest
// first. Notes beyond a fixed room are dropped: those directories stay.
void noteCreatedDirectory(int directoryFd, const std::string& path);
void forgetCreatedDirectories();

// Extraction through the archive library: while on, SIGINT, SIGTERM and
// SIGHUP only set the flag interruptStop() points to, so that the library
// stops, removes the file it was writing and the directories it made for
// it; endIfInterrupted() then clears the progress line and ends the process
// as the signal would have.
// The flag is also raised, without a signal, by stopForFailure() when the
// extraction must end at a failure, and lowered by clearFailureStop().
void stopOnInterrupt(bool on);
const volatile std::sig_atomic_t* interruptStop();
void endIfInterrupted();
void stopForFailure();
void clearFailureStop();

// The start of the temporary names of the files cabtool writes.
inline constexpr const char* kTemporaryPrefix = ".cabtool-";

// Whether the progress line is on the terminal now (an interrupt clears it).
void noteProgressLine(bool drawn);

}  // namespace cabtool
