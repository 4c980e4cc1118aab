#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <map>
#include <optional>

#include "tools/cabtool/cabinet_walk.h"
#include "tools/cabtool/commands.h"
#include "tools/cabtool/dos_time.h"
#include "tools/cabtool/interrupt_cleanup.h"
#include "tools/cabtool/messages.h"
#include "tools/cabtool/ordered_lines.h"
#include "tools/cabtool/output_file.h"
#include "tools/cabtool/posix_io.h"
#include "tools/cabtool/printable.h"
#include "tools/cabtool/progress.h"
#include "tools/cabtool/safe_name.h"

namespace cabtool {
namespace {

constexpr const char* kSalvagedNote = "salvaged, may be damaged";

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

// Copies the whole of `fromFd` to `toFd`; false with errno set on failure.
bool copyContents(int fromFd, int toFd) {
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fromFd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = write(toFd, buffer + done, size_t(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return false;
            done += put;
        }
    }
}

struct Extraction {
    explicit Extraction(const RunOptions& o) : options(o) {}

    const RunOptions& options;
    std::string directory;
    int rootFd = -1;
    Progress* progress = nullptr;
    int32_t pipeHandle = -1;  // --pipe: the copy of standard output being written
    OrderedLines lines;
    uint64_t files = 0;
    uint64_t bytes = 0;
    uint64_t failures = 0;
    uint64_t kept = 0;  // --keep: files not written because the name was taken
    uint64_t salvaged = 0;  // --salvage: files written that may be damaged
    std::optional<OutputFile> output;  // the file being written
    std::map<std::string, std::string> written;  // cabinet path + stored name -> path below rootFd

    static std::string keyOf(const FileEntry& entry) { return entry.cabinet + '\0' + entry.name; }

    // Where a file goes below the target: its UTF-8 name split into safe
    // components, lowered with --lowercase.
    SafeName placeOf(const FileEntry& entry) const {
        return outputPlace(nameOf(entry, options), options.lowercase);
    }

    void noteKept(const FileEntry& entry) {
        if (!options.quiet) reportFileError(entry.cabinet, slashNameOf(entry, options), kExistsKept);
    }

    void fail(const FileEntry& entry, const std::string& why) {
        reportFileError(entry.cabinet, slashNameOf(entry, options), why);
        ++failures;
    }

    // A declined file that goes on into the next cabinet is still decoded,
    // into nothing, so that the decoder crosses into that cabinet and offers
    // the other files continued there.
    static int32_t decline(const FileEntry& entry) {
        return entry.continuesIntoNext() ? kDiscardHandle : 0;
    }

    // Refuses a cabinet whose files would not fit in the free space left.
    bool checkRoom(const std::vector<FileEntry>& entries) {
        uint64_t needed = 0;
        for (const FileEntry& entry : entries) {
            if (isChosen(entry, options)) needed += entry.size;
        }
        struct statvfs status;
        if (needed == 0 || fstatvfs(rootFd, &status) != 0) return true;
        const uint64_t available = uint64_t(status.f_bavail) * status.f_frsize;
        if (needed <= available) return true;
        const std::string cabinet = entries.front().cabinet;
        reportCabinetError(cabinet, "not extracted: its files need " + std::to_string(needed) +
                                        " bytes, but '" + directory + "' has " +
                                        std::to_string(available) + " bytes free");
        return false;
    }

    int32_t open(const FileEntry& entry) {
        if (!isChosen(entry, options)) return decline(entry);
        if (progress != nullptr) progress->startFile(printable(slashNameOf(entry, options)));
        if (options.pipe) {
            // Standard output is never closed: each file gets a copy of it.
            pipeHandle = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
            if (pipeHandle < 0) {
                fail(entry, "cannot write to standard output: " + describeErrno(errno));
                return decline(entry);
            }
            return pipeHandle;
        }
        const SafeName safe = placeOf(entry);
        if (!safe.usable()) {
            fail(entry, "refused: " + safe.problem);
            return decline(entry);
        }
        std::string error;
        std::optional<OutputFile> created = OutputFile::create(rootFd, safe.components, error, &interruptAwareOutput());
        if (!created) {
            fail(entry, error);
            return decline(entry);
        }
        if (options.keep && created->exists()) {
            noteKept(entry);
            ++kept;
            return decline(entry);
        }
        output.emplace(std::move(*created));
        return output->handle();
    }

    // Puts the file in place; `damaged` for a salvaged file.
    bool finish(OutputFile& file, const FileEntry& entry, bool damaged = false) {
        std::string error;
        const bool readOnly = (entry.attributes & kAttributeReadOnly) != 0;
        if (!file.commit(dosToLocalTime(entry.date, entry.time), readOnly, error, !options.keep)) {
            if (error == kExistsKept) {
                noteKept(entry);
                ++kept;
            } else {
                fail(entry, error);
            }
            return false;
        }
        const std::string path = placeOf(entry).joined();
        if (damaged) {
            ++salvaged;
            if (!options.quiet) lines.add(entry, "salvaged   " + printable(path) + "  (may be damaged)");
            if (options.quiet) reportFileError(entry.cabinet, path, kSalvagedNote);
        } else if (!options.quiet) {
            lines.add(entry, "extracted  " + printable(path));
        }
        written[keyOf(entry)] = path;
        ++files;
        bytes += entry.size;
        return true;
    }

    int close(const FileEntry& entry) {
        if (pipeHandle >= 0) {
            const bool closed = ::close(pipeHandle) == 0;
            pipeHandle = -1;
            if (!closed) {
                fail(entry, "cannot write to standard output: " + describeErrno(errno));
                return 1;
            }
            ++files;
            bytes += entry.size;
            return 1;
        }
        if (!output) return 1;  // a declined file, decoded into nothing
        finish(*output, entry, entry.suspect);
        output.reset();
        return 1;  // the handle is closed either way; go on with the next file
    }

    // `copy` has the same data as `original`, already on disk: copy the file
    // rather than decode its data again.
    void copyFrom(const FileEntry& copy, const FileEntry& original) {
        if (!isChosen(copy, options)) return;
        if (progress != nullptr) progress->addBytes(copy.size);
        const SafeName safe = placeOf(copy);
        if (!safe.usable()) return fail(copy, "refused: " + safe.problem);
        const auto source = written.find(keyOf(original));
        if (source == written.end()) return fail(copy, "not extracted");
        const int fromFd = openat(rootFd, source->second.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fromFd < 0) return fail(copy, "cannot read '" + source->second + "': " + describeErrno(errno));
        std::string error;
        std::optional<OutputFile> created = OutputFile::create(rootFd, safe.components, error, &interruptAwareOutput());
        if (!created) {
            ::close(fromFd);
            return fail(copy, error);
        }
        const bool copied = copyContents(fromFd, created->handle());
        const int copyErrno = errno;
        ::close(fromFd);
        if (!copied) return fail(copy, "cannot write the file: " + describeErrno(copyErrno));
        finish(*created, copy, original.suspect);
    }

    void abandon(const FileEntry& entry) {
        if (pipeHandle >= 0) {
            pipeHandle = -1;  // the decoder closed it
            return fail(entry, "not extracted");
        }
        if (!output) return;  // a declined file, already reported
        std::string error;
        if (options.salvage && output->reopenPadded(entry.size, error)) {
            finish(*output, entry, true);
            output.reset();
            return;
        }
        if (!error.empty()) reportFileError(entry.cabinet, slashNameOf(entry, options), error);
        output->discardClosed();
        output.reset();
        fail(entry, "not extracted");
    }
};

}  // namespace

int extractCabinets(const std::vector<CabinetSource>& sources, const RunOptions& options) {
    installInterruptCleanup();
    Extraction extraction(options);
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
    const Workload load = workloadOf(sources, options);
    Progress progress(progressWanted(options), load.bytes, load.cabinets);
    setActiveProgress(&progress);
    extraction.progress = &progress;

    FileHandlers handlers;
    if (!options.pipe) {
        handlers.beforeCabinet = [&](const std::vector<FileEntry>& entries) {
            return extraction.checkRoom(entries);
        };
        // Files with the same data as one already written are copied from
        // it; piped, every file is decoded on its own.
        handlers.sameData = [&](const FileEntry& copy, const FileEntry& original) {
            extraction.copyFrom(copy, original);
        };
    }
    handlers.salvaging = options.salvage;
    handlers.checksumIgnored = [](const std::string& cabinet, const std::string& what) {
        reportCabinetError(cabinet, what);
    };
    handlers.openOutput = [&](const FileEntry& entry) { return extraction.open(entry); };
    handlers.closeOutput = [&](const FileEntry& entry, int32_t) { return extraction.close(entry); };
    handlers.abandonOutput = [&](const FileEntry& entry) { extraction.abandon(entry); };
    handlers.fileFromEarlier = [&](const FileEntry& entry, const std::string& previous) {
        if (!isChosen(entry, options)) return;
        extraction.fail(entry, "not extracted: it is continued from the earlier cabinet '" +
                                   previous + "'");
    };
    // Files the filter leaves out are not missed when the walk stops early.
    handlers.chosen = [&](const FileEntry& entry) { return isChosen(entry, options); };
    handlers.unreachable = [&](const FileEntry& entry, const std::string& reason) {
        if (isChosen(entry, options)) extraction.fail(entry, reason);
    };
    handlers.cabinetFinished = [&] {
        progress.clear();
        extraction.lines.flush(stdout);
        std::fflush(stdout);
    };

    const WalkOutcome outcome = walkSources(sources, handlers);
    progress.clear();
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
        if (outcome.notReached != 0) {
            std::fprintf(summary, ", %" PRIu64 " not reached", outcome.notReached);
        }
        std::fprintf(summary, "\n");
    }
    const bool clean = outcome.complete && extraction.failures == 0 && extraction.salvaged == 0;
    return clean ? kExitSuccess : kExitFailure;
}

}  // namespace cabtool
