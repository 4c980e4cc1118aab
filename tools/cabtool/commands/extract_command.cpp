#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "archive/cab_archive.h"
#include "cab/cab.h"
#include "tools/cabtool/commands/commands.h"
#include "tools/cabtool/files/interrupt_cleanup.h"
#include "tools/cabtool/output/messages.h"
#include "tools/cabtool/output/printable.h"
#include "tools/cabtool/output/progress.h"
#include "tools/cabtool/commands/set_walk.h"

namespace cabtool {
namespace {

// Where a file named `name` (UTF-8) goes below the target: its name split
// into safe components, lowered with --lowercase; the name itself, with '/'
// between directories, when the library refuses it.
std::string placeBelowTarget(const std::string& name, bool lowercase) {
    std::vector<char> buffer(name.size() * 4 + 64);
    if (cabArchiveNamePath(name.c_str(), lowercase ? 1 : 0, buffer.data(), uint32_t(buffer.size())) ==
        CabArchiveOk) {
        return buffer.data();
    }
    std::string slashed = name;
    for (char& c : slashed) c = c == '\\' ? '/' : c;
    return slashed;
}

constexpr const char* kSalvagedNote = "salvaged, may be damaged";
// The library's reason for a file whose bytes the system would not take.
constexpr const char* kCannotWrite = "cannot write the file: ";

// Creates `path` and its missing parents, like mkdir -p; an interrupt
// removes those it made that are still empty.
bool makeDirectories(const std::string& path) {
    struct stat status;
    if (stat(path.c_str(), &status) == 0) return S_ISDIR(status.st_mode);
    const size_t slash = path.find_last_of('/', path.size() > 1 ? path.size() - 2 : 0);
    if (slash != std::string::npos && slash > 0 && !makeDirectories(path.substr(0, slash))) {
        return false;
    }
    if (mkdir(path.c_str(), 0777) == 0) {
        noteCreatedDirectory(AT_FDCWD, path);
        return true;
    }
    return errno == EEXIST;
}

// Writes all of `data` to standard output; false with errno set on failure.
bool writeOut(const void* data, uint32_t size) {
    const char* bytes = static_cast<const char*>(data);
    for (uint32_t done = 0; done < size;) {
        const ssize_t put = ::write(STDOUT_FILENO, bytes + done, size - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += uint32_t(put);
    }
    return true;
}

// Files written below the directory, or piped to standard output, and the
// counts of the summary.
struct ExtractFindings final : WalkFindings {
    ExtractFindings(const RunOptions& o, Progress& p) : WalkFindings(o, p) {
        damageFirst = true;
        blocksNamedWithFolderTableOnly = true;
    }

    std::string directory;
    int rootFd = -1;  // the target directory, for its free space
    uint64_t files = 0;
    uint64_t bytes = 0;
    uint64_t failures = 0;
    uint64_t kept = 0;      // --keep: files not written because the name was taken
    uint64_t salvaged = 0;  // --salvage: files written that may be damaged
    std::set<uint32_t> pipeFailed;  // piped files standard output would not take
    std::string pipeProblem;

    const char* doneWord() const override { return "extracted"; }

    void fail(const FileEntry& file, const std::string& why) {
        reportFileError(file.cabinet, slashNameOf(file), why);
        ++failures;
    }

    void passed(const FileEntry& file, uint32_t index, int32_t outcome) override {
        if (options.pipe) {
            if (pipeFailed.count(index) != 0) return fail(file, pipeProblem);
        } else {
            const std::string path = placeBelowTarget(nameOf(file), options.lowercase);
            if (outcome == CabOutcomeSalvaged) {
                ++salvaged;
                if (options.quiet) {
                    reportFileError(file.cabinet, path, kSalvagedNote);
                } else {
                    lines.add(file, "salvaged   " + printable(path) + "  (may be damaged)");
                }
            } else if (!options.quiet) {
                lines.add(file, "extracted  " + printable(path));
            }
        }
        ++files;
        bytes += file.size;
    }
    void failed(const FileEntry& file) override { fail(file, "not extracted"); }
    void refused(const FileEntry& file, const std::string& reason) override { fail(file, reason); }
    bool notWritten(const FileEntry& file, uint32_t, int32_t, const std::string& reason) override {
        if (reason.rfind(kCannotWrite, 0) == 0) {
            // A file that cannot be written (a full disk, a size limit)
            // ends the extraction, as a failed write always has.
            reportCabinetError(file.cabinet, cabErrorText(CabErrOutputFailed));
            fail(file, "not extracted");
            stopForFailure();
            return true;
        }
        if (reason != CAB_ARCHIVE_REASON_EXISTS_KEPT) {
            fail(file, reason);
            return false;
        }
        if (!options.quiet) reportFileError(file.cabinet, slashNameOf(file), CAB_ARCHIVE_REASON_EXISTS_KEPT);
        ++kept;
        return false;
    }

    void configure(CabArchiveExtraction& extraction, CabArchiveEvents& events) override {
        extraction.salvage = options.salvage ? 1 : 0;
        clearFailureStop();  // each walk starts anew
        events.stop = interruptStop();
        if (options.pipe) return;  // the walk's sink: write() below
        extraction.directory = directory.c_str();
        extraction.keepExisting = options.keep ? 1 : 0;
        extraction.lowercase = options.lowercase ? 1 : 0;
        events.temporaryPrefix = kTemporaryPrefix;
        // What cannot be decoded is written as zeros, the file kept.
        events.salvageFillsWithZeros = options.salvage ? 1 : 0;
    }

    // Refuses a cabinet whose files would not fit in the free space left.
    bool cabinetReady(const CabArchive* archive, uint32_t cabinet,
                      const std::vector<uint32_t>& entries) override {
        if (options.pipe) return true;
        uint64_t needed = 0;
        for (const uint32_t index : entries) {
            CabArchiveEntry entry{};
            if (cabArchiveEntry(archive, index, &entry) == CabArchiveOk) needed += entry.size;
        }
        struct statvfs status;
        if (needed == 0 || fstatvfs(rootFd, &status) != 0) return true;
        const uint64_t available = uint64_t(status.f_bavail) * status.f_frsize;
        if (needed <= available) return true;
        CabArchiveCabinet facts{};
        cabArchiveCabinet(archive, cabinet, &facts);
        reportCabinetError(facts.name, "not extracted: its files need " + std::to_string(needed) +
                                           " bytes, but '" + directory + "' has " +
                                           std::to_string(available) + " bytes free");
        return false;
    }

    int write(uint32_t index, const void* data, uint32_t size) override {
        progress.addBytes(size);
        if (!options.pipe || pipeFailed.count(index) != 0) return 0;
        if (!writeOut(data, size)) {
            pipeProblem = "cannot write to standard output: " + describeErrno(errno);
            pipeFailed.insert(index);
        }
        return 0;
    }
    void ended(uint32_t, int32_t) override {}
};

}  // namespace

int extractCabinets(const std::vector<CabinetSource>& sources, const RunOptions& options) {
    installInterruptCleanup();
    const Workload load = workloadOf(sources, options);
    Progress progress(progressWanted(options), load.bytes, load.cabinets);
    ExtractFindings extraction(options, progress);
    if (!options.pipe) {
        const std::string& directory = options.directory;
        if (!makeDirectories(directory)) {
            reportError("cannot create directory '" + directory + "': " + describeErrno(errno));
            return kExitFailure;
        }
        extraction.directory = directory;
        extraction.rootFd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (extraction.rootFd < 0) {
            reportError("cannot open directory '" + directory + "': " + describeErrno(errno));
            return kExitFailure;
        }
    }
    setActiveProgress(&progress);
    stopOnInterrupt(true);
    bool complete = true;
    for (const CabinetSource& source : sources) {
        complete = walkSource(extraction, source) && complete;
        if (*interruptStop() > 0) break;  // interrupted
    }
    progress.clear();
    stopOnInterrupt(false);
    endIfInterrupted();
    setActiveProgress(nullptr);
    forgetCreatedDirectories();
    if (extraction.rootFd >= 0) ::close(extraction.rootFd);
    if (!options.quiet) {
        // Piped, standard output carries the files' contents only.
        std::FILE* summary = options.pipe ? stderr : stdout;
        std::fprintf(summary, "%" PRIu64 " file%s extracted, %" PRIu64 " bytes", extraction.files,
                     extraction.files == 1 ? "" : "s", extraction.bytes);
        if (extraction.kept != 0) std::fprintf(summary, ", %" PRIu64 " kept", extraction.kept);
        if (extraction.salvaged != 0) {
            std::fprintf(summary, ", %" PRIu64 " %s", extraction.salvaged, kSalvagedNote);
        }
        if (extraction.failures != 0) std::fprintf(summary, ", %" PRIu64 " failed", extraction.failures);
        if (extraction.notReached != 0) {
            std::fprintf(summary, ", %" PRIu64 " not reached", extraction.notReached);
        }
        std::fprintf(summary, "\n");
    }
    const bool clean = complete && extraction.failures == 0 && extraction.salvaged == 0;
    return clean ? kExitSuccess : kExitFailure;
}

}  // namespace cabtool
