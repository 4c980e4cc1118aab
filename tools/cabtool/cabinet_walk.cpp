#include "tools/cabtool/cabinet_walk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>

#include "cab/cab.h"
#include "tools/cabtool/cabinet_files.h"
#include "tools/cabtool/messages.h"
#include "tools/cabtool/posix_io.h"
#include "tools/cabtool/safe_name.h"

namespace cabtool {
namespace {

struct SetPosition {
    uint16_t setId;
    uint16_t cabinetIndex;
};

struct Failure {
    std::string cabinet;  // path of the cabinet the message is about
    std::string text;
};

// The state of one walk, reached from the notification handler through the
// decoder's user context.
struct Walk {
    explicit Walk(const FileHandlers& h) : handlers(h) {}

    const FileHandlers& handlers;
    std::string directory;         // prefix of every cabinet name
    std::string currentCabinet;    // name of the cabinet the decoder has open
    std::string nextCabinet;       // its successor, as its header names it
    SetPosition position{};        // its set id and index
    std::string requestedCabinet;  // the name given to the decoder's last NeedCabinet
    bool awaitingNext = false;     // a NeedCabinet was answered; next CabinetOpened is that cabinet
    bool crossed = false;          // this cabExtract has moved into a following cabinet
    bool startingCabinet = true;   // the first cabExtract of the walk
    uint16_t folderCount = 0;      // cFolders of the cabinet this cabExtract began with
    bool firstFolderContinued = false;  // its folder 0 began in an earlier cabinet
    // Files of the current cabinet seen so far that go on into the next one.
    uint32_t continuingFiles = 0;
    // Of the continued files this cabExtract will meet as FileFromPrevious,
    // how many the walk already handled in the previous cabinet.
    uint32_t alreadyHandled = 0;
    uint32_t fromPreviousSeen = 0;
    std::optional<FileEntry> openFile;
    std::optional<Failure> failure;  // why the handler stopped the decoder
    std::set<std::string> visited;

    std::string pathOf(const std::string& name) const { return directory + name; }
};

FileEntry entryFrom(const Walk& walk, const CabNotification& n) {
    FileEntry entry;
    entry.cabinet = walk.pathOf(walk.currentCabinet);
    entry.name = n.text1 != nullptr ? n.text1 : "";
    entry.size = uint32_t(n.size);
    entry.date = n.date;
    entry.time = n.time;
    entry.attributes = n.attributes;
    entry.folderIndex = n.folderIndex;
    return entry;
}

// Before crossing, the decoder reads a file of folder 0 from this cabinet's
// first block of it, counting offsets from there; when that folder began in
// an earlier cabinet the file's offset counts from the folder's true start.
bool decodedFromWrongPlace(const Walk& walk, const FileEntry& entry) {
    if (walk.crossed || !walk.firstFolderContinued) return false;
    return entry.folderIndex == 0 ||
           (entry.folderIndex == kFolderContinuedToNext && walk.folderCount == 1);
}

std::string nextCabinetProblem(const Walk& walk, const std::string& name) {
    if (name.empty()) return "its data goes on in a next cabinet, but it names none";
    if (!isPlainFileName(name)) return "next cabinet name '" + name + "' is not a plain file name";
    if (walk.directory.size() + name.size() > kMaxCabinetPath) {
        return "path of next cabinet '" + name + "' is too long";
    }
    return "";
}

// The decoder wants the next cabinet of the set. It is looked for in the
// same directory; after one failed attempt the walk gives up, so that a
// missing or wrong cabinet ends the walk instead of being asked for forever.
int onNeedCabinet(Walk& walk, CabNotification& n) {
    const std::string current = walk.pathOf(walk.currentCabinet);
    if (n.lastError != 0) {
        std::string reason = cabErrorText(n.lastError);
        struct stat status;
        const std::string path = walk.pathOf(walk.requestedCabinet);
        if (n.lastError == CannotOpen && stat(path.c_str(), &status) != 0) {
            reason = describeErrno(errno);
        }
        walk.failure = Failure{current, "cannot continue into next cabinet '" + path + "': " + reason};
        return -1;
    }
    const std::string named = n.text1 != nullptr ? n.text1 : "";
    const std::string problem = nextCabinetProblem(walk, named);
    if (!problem.empty()) {
        walk.failure = Failure{current, problem};
        return -1;
    }
    const std::string resolved = resolveCabinetName(walk.directory, named);
    std::memcpy(n.text1, resolved.c_str(), resolved.size() + 1);  // same length as `named`
    walk.requestedCabinet = resolved;
    walk.awaitingNext = true;
    return 0;
}

void onCabinetOpened(Walk& walk, const CabNotification& n) {
    if (walk.awaitingNext) {
        walk.currentCabinet = walk.requestedCabinet;
        walk.awaitingNext = false;
        walk.crossed = true;
    }
    walk.nextCabinet = n.text1 != nullptr ? n.text1 : "";
    walk.continuingFiles = 0;
    walk.position = SetPosition{n.setId, n.cabinetIndex};
    walk.visited.insert(walk.currentCabinet);
}

// The first continued files were handled in the previous cabinet (listed
// there, or extracted while crossing); any others were never offered.
void onFileFromPrevious(Walk& walk, const CabNotification& n) {
    walk.firstFolderContinued = true;
    const FileEntry entry = entryFrom(walk, n);
    if (entry.continuesIntoNext()) ++walk.continuingFiles;
    const std::string previous = n.text2 != nullptr ? n.text2 : "";
    if (walk.startingCabinet) {
        if (walk.handlers.fileFromEarlier) walk.handlers.fileFromEarlier(entry, previous);
    } else if (walk.fromPreviousSeen < walk.alreadyHandled) {
        ++walk.fromPreviousSeen;
    } else if (walk.handlers.unreachable) {
        walk.handlers.unreachable(entry, "not reached: its folder goes on from '" + previous +
                                             "', but no file crossed into this cabinet");
    }
}

int onNotify(int kind, CabNotification* notification) {
    CabNotification& n = *notification;
    Walk& walk = *static_cast<Walk*>(n.userContext);
    switch (kind) {
        case CabinetOpened:
            onCabinetOpened(walk, n);
            return 0;
        case NeedCabinet:
            return onNeedCabinet(walk, n);
        case FileFromPrevious:
            onFileFromPrevious(walk, n);
            return 0;
        case OpenOutput: {
            FileEntry entry = entryFrom(walk, n);
            if (entry.continuesIntoNext()) ++walk.continuingFiles;
            if (decodedFromWrongPlace(walk, entry)) {
                if (walk.handlers.unreachable) {
                    walk.handlers.unreachable(entry,
                                              "cannot be extracted: it lies inside a folder "
                                              "continued from the previous cabinet");
                }
                return 0;
            }
            const int32_t handle = walk.handlers.openOutput(entry);
            if (handle != 0 && handle != -1) walk.openFile = std::move(entry);
            return handle;
        }
        case CloseOutput: {
            // CloseOutput carries the run-after flag in `size`; the entry
            // kept from OpenOutput has the real size.
            FileEntry entry = walk.openFile ? *walk.openFile : entryFrom(walk, n);
            walk.openFile.reset();
            return walk.handlers.closeOutput(entry, n.fileHandle);
        }
        default:
            return 0;
    }
}

// Checks, before the decoder walks it, that `name` is a readable cabinet and,
// when `expected` is given, that it is that member of the set.
bool checkCabinet(CabDecoder* decoder, CabError& error, const std::string& directory,
                  const std::string& name, const std::optional<SetPosition>& expected,
                  CabInfo& info) {
    const std::string path = directory + name;
    if (path.size() > kMaxCabinetPath) {
        reportCabinetError(path, "path is too long (at most 256 characters)");
        return false;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reportCabinetError(path, "cannot open: " + describeErrno(errno));
        return false;
    }
    error = CabError{};
    info = CabInfo{};
    const bool isCabinet = cabIsCabinet(decoder, fd, &info) != 0;
    close(fd);
    if (!isCabinet) {
        if (error.errorCode == BadVersion) {
            char version[64];
            std::snprintf(version, sizeof version, " (version %d.%d)", (error.detail >> 8) & 0xFF,
                          error.detail & 0xFF);
            reportCabinetError(path, cabErrorText(BadVersion) + std::string(version));
        } else {
            reportCabinetError(path, "not a cabinet file");
        }
        return false;
    }
    if (expected && (info.setId != expected->setId || info.cabinetIndex != expected->cabinetIndex)) {
        char detail[128];
        std::snprintf(detail, sizeof detail,
                      "not the next cabinet of the set (set %u, index %u; expected set %u, index %u)",
                      unsigned(info.setId), unsigned(info.cabinetIndex), unsigned(expected->setId),
                      unsigned(expected->cabinetIndex));
        reportCabinetError(path, detail);
        return false;
    }
    return true;
}

// Runs the decoder over one cabinet (and whatever following cabinets its
// last files continue into). Returns false after reporting a failure.
bool extractOne(CabDecoder* decoder, CabError& error, Walk& walk) {
    error = CabError{};
    walk.failure.reset();
    walk.crossed = false;
    walk.awaitingNext = false;
    walk.firstFolderContinued = false;
    walk.fromPreviousSeen = 0;
    const int32_t result = cabExtract(decoder, walk.currentCabinet.c_str(), walk.directory.c_str(),
                                      onNotify, nullptr, &walk);
    if (result != 0) return true;

    if (walk.openFile) {
        walk.handlers.abandonOutput(*walk.openFile);
        walk.openFile.reset();
    }
    if (walk.failure) {
        reportCabinetError(walk.failure->cabinet, walk.failure->text);
    } else {
        reportCabinetError(walk.pathOf(walk.currentCabinet), cabErrorText(error.errorCode));
    }
    return false;
}

}  // namespace

bool walkCabinetSet(const std::string& path, const FileHandlers& handlers) {
    const CabinetLocation start = splitCabinetPath(path);
    if (!isPlainFileName(start.name)) {
        reportCabinetError(path, "not a cabinet file name");
        return false;
    }
    CabError error{};
    CabDecoder* decoder = createPosixDecoder(&error);
    if (decoder == nullptr) {
        reportCabinetError(path, cabErrorText(error.errorCode));
        return false;
    }

    Walk walk{handlers};
    walk.directory = start.directory;
    walk.currentCabinet = start.name;
    std::optional<SetPosition> expected;
    bool ok = true;
    while (true) {
        CabInfo info{};
        if (!checkCabinet(decoder, error, walk.directory, walk.currentCabinet, expected, info)) {
            ok = false;
            break;
        }
        walk.folderCount = info.folderCount;
        if (!extractOne(decoder, error, walk)) {
            ok = false;
            break;
        }
        walk.startingCabinet = false;
        if (walk.crossed) {
            // The walk stopped in the cabinet it crossed into, at its first
            // file of its own: go on with the rest of that cabinet, whose
            // continued files were all offered while crossing.
            expected = walk.position;
            walk.alreadyHandled = UINT32_MAX;
            continue;
        }
        walk.alreadyHandled = walk.continuingFiles;
        if (walk.nextCabinet.empty()) break;

        const std::string current = walk.pathOf(walk.currentCabinet);
        const std::string problem = nextCabinetProblem(walk, walk.nextCabinet);
        if (!problem.empty()) {
            reportCabinetError(current, problem);
            ok = false;
            break;
        }
        const std::string next = resolveCabinetName(walk.directory, walk.nextCabinet);
        if (walk.visited.count(next) != 0) {
            reportCabinetError(current, "next cabinet '" + walk.pathOf(next) +
                                            "' was already read: the set runs in a circle");
            ok = false;
            break;
        }
        expected = SetPosition{walk.position.setId, uint16_t(walk.position.cabinetIndex + 1)};
        walk.currentCabinet = next;
    }
    cabDestroy(decoder);
    return ok;
}

}  // namespace cabtool
