#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <optional>

#include "tools/cabtool/cabinet_walk.h"
#include "tools/cabtool/commands.h"
#include "tools/cabtool/dos_time.h"
#include "tools/cabtool/messages.h"
#include "tools/cabtool/output_file.h"
#include "tools/cabtool/posix_io.h"
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

struct Extraction {
    int rootFd = -1;
    uint64_t files = 0;
    uint64_t bytes = 0;
    uint64_t failures = 0;
    std::optional<OutputFile> output;  // the file being written

    // A declined file that goes on into the next cabinet is still decoded,
    // into nothing, so that the decoder crosses into that cabinet and offers
    // the other files continued there.
    static int32_t decline(const FileEntry& entry) {
        return entry.continuesIntoNext() ? kDiscardHandle : 0;
    }

    int32_t open(const FileEntry& entry) {
        const SafeName safe = checkStoredName(entry.name);
        if (!safe.usable()) {
            reportFileError(entry.cabinet, entry.name, "refused: " + safe.problem);
            ++failures;
            return decline(entry);
        }
        std::string error;
        std::optional<OutputFile> created = OutputFile::create(rootFd, safe.components, error);
        if (!created) {
            reportFileError(entry.cabinet, entry.name, error);
            ++failures;
            return decline(entry);
        }
        output.emplace(std::move(*created));
        return output->handle();
    }

    int close(const FileEntry& entry) {
        if (!output) return 1;  // a declined file, decoded into nothing
        std::string error;
        const bool readOnly = (entry.attributes & kAttributeReadOnly) != 0;
        if (output->commit(dosToLocalTime(entry.date, entry.time), readOnly, error)) {
            std::printf("extracted  %s\n", checkStoredName(entry.name).joined().c_str());
            ++files;
            bytes += entry.size;
        } else {
            reportFileError(entry.cabinet, entry.name, error);
            ++failures;
        }
        output.reset();
        return 1;  // the handle is closed either way; go on with the next file
    }

    void abandon(const FileEntry& entry) {
        if (!output) return;  // a declined file, already reported
        output->discardClosed();
        output.reset();
        reportFileError(entry.cabinet, entry.name, "not extracted");
        ++failures;
    }
};

}  // namespace

int extractCabinets(const std::string& cabinet, const std::string& directory) {
    if (!makeDirectories(directory)) {
        reportError("cannot create directory '" + directory + "': " + describeErrno(errno));
        return kExitFailure;
    }
    Extraction extraction;
    extraction.rootFd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (extraction.rootFd < 0) {
        reportError("cannot open directory '" + directory + "': " + describeErrno(errno));
        return kExitFailure;
    }

    FileHandlers handlers;
    handlers.openOutput = [&](const FileEntry& entry) { return extraction.open(entry); };
    handlers.closeOutput = [&](const FileEntry& entry, int32_t) { return extraction.close(entry); };
    handlers.abandonOutput = [&](const FileEntry& entry) { extraction.abandon(entry); };
    handlers.fileFromEarlier = [](const FileEntry& entry, const std::string& previous) {
        reportFileError(entry.cabinet, entry.name,
                        "skipped: it is continued from the earlier cabinet '" + previous + "'");
    };
    handlers.unreachable = [&](const FileEntry& entry, const std::string& reason) {
        reportFileError(entry.cabinet, entry.name, reason);
        ++extraction.failures;
    };

    const bool ok = walkCabinetSet(cabinet, handlers);
    ::close(extraction.rootFd);
    std::printf("%" PRIu64 " file%s extracted, %" PRIu64 " bytes", extraction.files,
                extraction.files == 1 ? "" : "s", extraction.bytes);
    if (extraction.failures != 0) std::printf(", %" PRIu64 " failed", extraction.failures);
    std::printf("\n");
    return ok && extraction.failures == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace cabtool
