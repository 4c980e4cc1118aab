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
#include "tools/cabtool/safe_name.h"

namespace cabtool {
namespace {

// Creates `path` and its missing parents, like mkdir -p.
bool makeDirectories(const std::string& path) {
    struct stat status;
    if (stat(path.c_str(), &status) == 0) return S_ISDIR(status.st_mode);
    const size_t slash = path.find_last_of('/', path.size() > 1 ? path.size() - 2 : 0);
    if (slash != std::string::npos && slash > 0 && !makeDirectories(path.substr(0, slash))) {
        return false;
    }
    return mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
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
    std::string directory;
    int rootFd = -1;
    OrderedLines lines;
    uint64_t files = 0;
    uint64_t bytes = 0;
    uint64_t failures = 0;
    std::optional<OutputFile> output;  // the file being written
    std::map<std::string, std::string> written;  // cabinet path + stored name -> path below rootFd

    static std::string keyOf(const FileEntry& entry) { return entry.cabinet + '\0' + entry.name; }

    void fail(const FileEntry& entry, const std::string& why) {
        reportFileError(entry.cabinet, entry.name, why);
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
        for (const FileEntry& entry : entries) needed += entry.size;
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
        const SafeName safe = checkStoredName(entry.name);
        if (!safe.usable()) {
            fail(entry, "refused: " + safe.problem);
            return decline(entry);
        }
        std::string error;
        std::optional<OutputFile> created = OutputFile::create(rootFd, safe.components, error);
        if (!created) {
            fail(entry, error);
            return decline(entry);
        }
        output.emplace(std::move(*created));
        return output->handle();
    }

    bool finish(OutputFile& file, const FileEntry& entry) {
        std::string error;
        const bool readOnly = (entry.attributes & kAttributeReadOnly) != 0;
        if (!file.commit(dosToLocalTime(entry.date, entry.time), readOnly, error)) {
            fail(entry, error);
            return false;
        }
        const std::string path = checkStoredName(entry.name).joined();
        lines.add(entry, "extracted  " + printable(path));
        written[keyOf(entry)] = path;
        ++files;
        bytes += entry.size;
        return true;
    }

    int close(const FileEntry& entry) {
        if (!output) return 1;  // a declined file, decoded into nothing
        finish(*output, entry);
        output.reset();
        return 1;  // the handle is closed either way; go on with the next file
    }

    // `copy` has the same data as `original`, already on disk: copy the file
    // rather than decode its data again.
    void copyFrom(const FileEntry& copy, const FileEntry& original) {
        const SafeName safe = checkStoredName(copy.name);
        if (!safe.usable()) return fail(copy, "refused: " + safe.problem);
        const auto source = written.find(keyOf(original));
        if (source == written.end()) return fail(copy, "not extracted");
        const int fromFd = openat(rootFd, source->second.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fromFd < 0) return fail(copy, "cannot read '" + source->second + "': " + describeErrno(errno));
        std::string error;
        std::optional<OutputFile> created = OutputFile::create(rootFd, safe.components, error);
        if (!created) {
            ::close(fromFd);
            return fail(copy, error);
        }
        const bool copied = copyContents(fromFd, created->handle());
        const int copyErrno = errno;
        ::close(fromFd);
        if (!copied) return fail(copy, "cannot write the file: " + describeErrno(copyErrno));
        finish(*created, copy);
    }

    void abandon(const FileEntry& entry) {
        if (!output) return;  // a declined file, already reported
        output->discardClosed();
        output.reset();
        fail(entry, "not extracted");
    }
};

}  // namespace

int extractCabinets(const std::string& cabinet, const std::string& directory) {
    installInterruptCleanup();
    if (!makeDirectories(directory)) {
        reportError("cannot create directory '" + directory + "': " + describeErrno(errno));
        return kExitFailure;
    }
    Extraction extraction;
    extraction.directory = directory;
    extraction.rootFd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (extraction.rootFd < 0) {
        reportError("cannot open directory '" + directory + "': " + describeErrno(errno));
        return kExitFailure;
    }

    FileHandlers handlers;
    handlers.beforeCabinet = [&](const std::vector<FileEntry>& entries) {
        return extraction.checkRoom(entries);
    };
    handlers.openOutput = [&](const FileEntry& entry) { return extraction.open(entry); };
    handlers.closeOutput = [&](const FileEntry& entry, int32_t) { return extraction.close(entry); };
    handlers.abandonOutput = [&](const FileEntry& entry) { extraction.abandon(entry); };
    handlers.sameData = [&](const FileEntry& copy, const FileEntry& original) {
        extraction.copyFrom(copy, original);
    };
    handlers.fileFromEarlier = [](const FileEntry& entry, const std::string& previous) {
        reportFileError(entry.cabinet, entry.name,
                        "skipped: it is continued from the earlier cabinet '" + previous + "'");
    };
    handlers.unreachable = [&](const FileEntry& entry, const std::string& reason) {
        extraction.fail(entry, reason);
    };
    handlers.cabinetFinished = [&] { extraction.lines.flush(stdout); };

    const WalkOutcome outcome = walkCabinetSet(cabinet, handlers);
    ::close(extraction.rootFd);
    std::printf("%" PRIu64 " file%s extracted, %" PRIu64 " bytes", extraction.files,
                extraction.files == 1 ? "" : "s", extraction.bytes);
    if (extraction.failures != 0) std::printf(", %" PRIu64 " failed", extraction.failures);
    if (outcome.notReached != 0) std::printf(", %" PRIu64 " not reached", outcome.notReached);
    std::printf("\n");
    return outcome.complete && extraction.failures == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace cabtool
