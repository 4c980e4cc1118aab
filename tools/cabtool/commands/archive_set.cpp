#include "tools/cabtool/commands/archive_set.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "cab/cab.h"
#include "tools/cabtool/files/cabinet_files.h"
#include "tools/cabtool/output/messages.h"

namespace cabtool {
namespace {

bool isReadableVersion(const CabArchiveHeaderFacts& facts) {
    return facts.versionMajor == CAB_ARCHIVE_VERSION_MAJOR &&
           facts.versionMinor == CAB_ARCHIVE_VERSION_MINOR;
}

// Whether the cabinet's reserve area runs past the end of its file: the
// walk then does not take it for a cabinet at all.
bool reserveAreaCutShort(const CabArchiveCabinet& cabinet) {
    constexpr uint64_t kHeaderWithReserveSizes = 40;
    CabArchiveHeaderFacts facts{};
    facts.size = sizeof facts;
    CabArchiveError error{};
    if (cabArchiveReadHeaderFacts(cabinet.name, cabinet.offset, &facts, &error) != CabArchiveOk)
        return true;
    struct stat status;
    if (stat(cabinet.name, &status) != 0) return false;
    return (facts.flags & CAB_HEADER_FLAG_RESERVE) != 0 &&
           cabinet.offset + kHeaderWithReserveSizes + facts.headerReserve >
               uint64_t(status.st_size);
}

}  // namespace

std::string previousNameOf(const CabArchive* archive, uint32_t cabinet) {
    const char* previous = nullptr;
    cabArchiveCabinetLinks(archive, cabinet, &previous, nullptr);
    return previous != nullptr ? previous : "";
}

bool isFolderDamage(const CabArchiveProblem& problem) {
    return std::string(problem.detail).rfind("folder ", 0) == 0;
}

bool isFileListDamage(const CabArchiveProblem& problem) {
    return problem.kind == CabProblemDamagedDirectory &&
           std::string(problem.detail).rfind("file entry ", 0) == 0;
}

bool isTableDamage(const CabArchiveProblem& problem) {
    return problem.kind == CabProblemDamagedDirectory && !isFileListDamage(problem);
}

// A damaged directory, as the walk reports it: which entry of the file list
// could not be read, or a header it cannot use.
std::string directoryDamageText(const CabArchiveProblem& problem,
                                const CabArchiveCabinet& cabinet) {
    std::string detail = problem.detail;
    if (isFileListDamage(problem)) {
        const size_t reason = detail.find(": ");
        return "the cabinet is damaged: " + detail.substr(0, reason);
    }
    if (reserveAreaCutShort(cabinet))
        return "not a cabinet file (bad signature or truncated header)";
    return "the cabinet is damaged";
}

// Why the file at `path` was not taken as a cabinet, as the walk says it.
std::string notCabinetText(const std::string& path, uint64_t offset) {
    CabArchiveHeaderFacts facts{};
    facts.size = sizeof facts;
    CabArchiveError error{};
    if (cabArchiveReadHeaderFacts(path.c_str(), offset, &facts, &error) == CabArchiveOk &&
        !isReadableVersion(facts)) {
        return std::string(cabErrorText(CabErrBadVersion)) + " (version " +
               std::to_string(facts.versionMajor) + "." + std::to_string(facts.versionMinor) + ")";
    }
    return "not a cabinet file";
}

ArchiveOwner openSetForWalk(const std::string& path, uint64_t offset, const std::string& codePage) {
    if (path.size() > kMaxCabinetPath) {
        reportCabinetError(path, "path is too long (at most 256 characters)");
        return ArchiveOwner(nullptr, &cabArchiveClose);
    }
    std::string openProblem;
    ArchiveOwner archive = openArchiveAt(path, offset, true, codePage, openProblem);
    if (!archive) {
        reportCabinetError(path, openProblem.rfind("not a cabinet", 0) == 0 ? notCabinetText(path, offset)
                                                                            : openProblem);
    }
    return archive;
}

// The set's next cabinet after `current` did not join it: the walk's
// message about it. False when the set simply ends there (no name given).
bool reportNextCabinet(const CabArchive* archive, const CabArchiveProblem& problem,
                       const CabArchiveCabinet& current, uint32_t walkedFrom) {
    const std::string stored = problem.name;
    if (problem.kind == CabProblemMissingCabinet && stored.empty()) return false;
    if (problem.kind == CabProblemMissingCabinet) {
        const std::string unusable = nextCabinetProblem(current.name, stored);
        if (!unusable.empty()) {
            reportCabinetError(current.name, unusable);
            return true;
        }
    }
    const std::string path = problem.kind == CabProblemMissingCabinet
                                 ? neighbourPath(current.name, stored)
                                 : stored;
    if (problem.kind == CabProblemMissingCabinet) {
        reportCabinetError(path, problem.detail);
    } else if (problem.kind == CabProblemNotCabinet) {
        reportCabinetError(path, notCabinetText(path, 0));
    } else {
        for (uint32_t c = walkedFrom; c < cabArchiveCabinetCount(archive); ++c) {
            CabArchiveCabinet joined{};
            if (cabArchiveCabinet(archive, c, &joined) == CabArchiveOk && path == joined.name) {
                reportCabinetError(
                    current.name,
                    "next cabinet '" + path + "' was already read: the set runs in a circle");
                return true;
            }
        }
        // Its own place in its set, from the cabinet read alone.
        std::string problemAlone;
        const ArchiveOwner alone = openArchiveAt(path, 0, false, std::string(), problemAlone);
        CabArchiveCabinet found{};
        if (alone) cabArchiveCabinet(alone.get(), 0, &found);
        char detail[128];
        std::snprintf(
            detail, sizeof detail,
            "not the next cabinet of the set (set %u, index %u; expected set %u, index %u)",
            unsigned(found.setId), unsigned(found.indexInSet), unsigned(current.setId),
            unsigned(current.indexInSet + 1u));
        reportCabinetError(path, detail);
    }
    return true;
}

CrossingFailure crossingFailureAfter(const CabArchive* archive, uint32_t last) {
    CabArchiveCabinet current{};
    cabArchiveCabinet(archive, last, &current);
    const char* next = nullptr;
    cabArchiveCabinetLinks(archive, last, nullptr, &next);
    const std::string stored = next != nullptr ? next : "";
    const std::string unusable = nextCabinetProblem(current.name, stored);
    if (!unusable.empty()) return {true, unusable};
    const std::string path = neighbourPath(current.name, stored);
    int32_t kind = CabProblemMissingCabinet;
    for (const CabArchiveProblem& problem : problemsOf(archive)) {
        if (problem.cabinet < 0 && problem.before == 0) kind = problem.kind;
    }
    // The reason the decoder gives when it tries that cabinet.
    std::string reason;
    if (kind == CabProblemForeignCabinet) {
        reason = cabErrorText(CabErrNotNextInSet);
    } else if (kind == CabProblemNotCabinet) {
        CabArchiveHeaderFacts facts{};
        facts.size = sizeof facts;
        CabArchiveError error{};
        const bool otherVersion =
            cabArchiveReadHeaderFacts(path.c_str(), 0, &facts, &error) == CabArchiveOk &&
            !isReadableVersion(facts);
        reason = cabErrorText(otherVersion ? CabErrBadVersion : CabErrBadSignature);
    } else {
        struct stat status;
        reason = stat(path.c_str(), &status) != 0 ? describeErrno(errno)
                                                  : cabErrorText(CabErrCannotOpen);
    }
    return {false, "cannot continue into next cabinet '" + path + "': " + reason};
}

// The record reserves (cbCFFolder, cbCFData) cabinet `c` declares; a walk
// keeps those of the cabinet it starts in and refuses any other.
std::pair<uint32_t, uint32_t> recordReservesOf(const CabArchiveCabinet& cabinet) {
    CabArchiveHeaderFacts facts{};
    facts.size = sizeof facts;
    CabArchiveError error{};
    if (cabArchiveReadHeaderFacts(cabinet.name, cabinet.offset, &facts, &error) != CabArchiveOk)
        return {0, 0};
    return {facts.folderReserve, facts.blockReserve};
}

}  // namespace cabtool
