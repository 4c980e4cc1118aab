#include "tools/cabtool/files/cabinet_sources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

#include "archive/cab_archive.h"
#include "tools/cabtool/commands/archive_reading.h"
#include "tools/cabtool/commands/archive_set.h"
#include "tools/cabtool/files/cabinet_files.h"
#include "tools/cabtool/output/messages.h"
#include "tools/cabtool/output/printable.h"

namespace cabtool {
namespace {

// A cabinet's identity whatever path names it: file and offset in it.
using Identity = std::pair<std::pair<dev_t, ino_t>, uint64_t>;

bool identify(const std::string& path, uint64_t offset, Identity& identity) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) return false;
    identity = {{status.st_dev, status.st_ino}, offset};
    return true;
}

void note(bool quiet, const std::string& cabinet, const std::string& what) {
    if (!quiet) reportCabinetError(cabinet, what);
}

bool startsWithSignature(const std::string& path) {
    std::string problem;
    const int fd = openRegularFile(path, problem);
    if (fd < 0) return true;  // the walk reports why it cannot be opened
    char signature[4] = {};
    const bool cabinet = read(fd, signature, 4) == 4 && std::memcmp(signature, "MSCF", 4) == 0;
    close(fd);
    return cabinet;
}

// The cabinet a set's walk should start from: the first member the library
// joins going back from `path`, each through the previous-cabinet name in
// the same directory, as long as it is the member of the same set with the
// index before. A file it cannot open as a cabinet starts from itself.
std::string firstOfSet(const std::string& path, bool quiet) {
    std::string problem;
    const ArchiveOwner archive = openArchiveAt(path, 0, true, std::string(), problem);
    if (!archive) return path;
    CabArchiveCabinet first{};
    const char* previous = nullptr;
    if (cabArchiveCabinet(archive.get(), 0, &first) != CabArchiveOk ||
        cabArchiveCabinetLinks(archive.get(), 0, &previous, nullptr) != CabArchiveOk) {
        return path;
    }
    // A previous cabinet named as a path rather than a file name is not
    // looked for, and not worth a word.
    if (previous != nullptr && cabArchiveIsPlainFileName(previous)) {
        note(quiet, first.name,
             "its previous cabinet '" + printable(previous) + "' cannot be read as one of its set; "
             "starting here");
    }
    return first.name;
}

// Room for the offsets of one search; a file holding more is searched twice.
constexpr uint32_t kEmbeddedRoom = 64;

// The offsets of the cabinets stored inside the file at `path`, front to
// back. False (and `problem` set) when the file cannot be read; a search
// given up early keeps what it found and says why in `problem`.
bool findEmbedded(const std::string& path, std::vector<uint64_t>& offsets, std::string& problem) {
    CabArchiveError error{};
    uint32_t found = 0;
    offsets.resize(kEmbeddedRoom);
    int32_t status = cabArchiveFindEmbedded(path.c_str(), offsets.data(), kEmbeddedRoom, &found, &error);
    if (status == CabArchiveOk && found > kEmbeddedRoom) {  // rare: search again with room for all
        offsets.resize(found);
        status = cabArchiveFindEmbedded(path.c_str(), offsets.data(), found, &found, &error);
    }
    offsets.resize(status == CabArchiveOk ? std::min<size_t>(found, offsets.size()) : 0);
    problem = error.message[0] != '\0' ? reasonFor(path, error.message) : std::string();
    return status == CabArchiveOk;
}

}  // namespace

std::vector<SurveyedCabinet> surveySet(const std::string& path, uint64_t offset,
                                       const std::string& codePage) {
    std::vector<SurveyedCabinet> set;
    std::string openProblem;  // the walk reports it
    const ArchiveOwner archive = openArchiveAt(path, offset, true, codePage, openProblem);
    if (!archive) return set;
    const std::vector<CabArchiveProblem> problems = problemsOf(archive.get());
    bool reached = false;  // the cabinet at `offset` in `path`, and those after it
    for (uint32_t c = 0; c < cabArchiveCabinetCount(archive.get()); ++c) {
        CabArchiveCabinet cabinet{};
        if (cabArchiveCabinet(archive.get(), c, &cabinet) != CabArchiveOk) break;
        // A cabinet whose header or folder table cannot be read ends the
        // survey: its walk may fail at once and be started again later.
        if (std::any_of(problems.begin(), problems.end(), [c](const CabArchiveProblem& problem) {
                return problem.cabinet == int32_t(c) && isTableDamage(problem);
            })) {
            break;
        }
        reached = reached || (cabinet.name == path && cabinet.offset == offset);
        if (!reached) continue;
        SurveyedCabinet surveyed{cabinet.name, {}};
        for (uint32_t p = 0; p < cabArchiveListedCount(archive.get(), c); ++p) {
            CabArchiveListing listed{};
            listed.size = sizeof listed;
            if (cabArchiveListed(archive.get(), c, p, &listed) != CabArchiveOk) break;
            FileEntry file;
            file.cabinet = cabinet.name;
            file.name.assign(reinterpret_cast<const char*>(listed.rawName), listed.rawNameLength);
            file.text = listed.name;
            file.size = listed.fileSize;
            file.attributes = listed.attributes;
            file.folderIndex = listed.folder;
            file.listIndex = p;
            surveyed.files.push_back(std::move(file));
        }
        set.push_back(std::move(surveyed));
    }
    return set;
}

SourcePlan planSources(const std::vector<std::string>& named, bool quiet, const std::string& codePage) {
    SourcePlan plan;
    std::set<Identity> walked;  // every member of every set planned so far
    std::vector<std::pair<Identity, std::string>> firstOfWalked;
    auto alreadyWalked = [&](const std::string& path, uint64_t offset) {
        Identity identity;
        if (!identify(path, offset, identity) || walked.count(identity) == 0) return false;
        for (const auto& [member, first] : firstOfWalked) {
            if (member == identity) {
                note(quiet, path, "already read as part of the set of '" + printable(first) + "'");
                return true;
            }
        }
        return true;
    };
    auto add = [&](CabinetSource source) {
        source.set = surveySet(source.path, source.offset, codePage);
        for (size_t i = 0; i < source.set.size(); ++i) {
            Identity identity;
            if (identify(source.set[i].path, i == 0 ? source.offset : 0, identity)) {
                walked.insert(identity);
                firstOfWalked.emplace_back(identity, source.path);
            }
        }
        plan.sources.push_back(std::move(source));
    };

    for (const std::string& path : named) {
        if (startsWithSignature(path)) {
            const std::string first = firstOfSet(path, quiet);
            if (alreadyWalked(path, 0)) continue;
            if (first != path) {
                note(quiet, path, "starting from the first cabinet of its set, '" + printable(first) + "'");
            }
            if (alreadyWalked(first, 0)) continue;
            add(CabinetSource{first, 0, false, {}, first != path ? path : std::string()});
            continue;
        }
        std::vector<uint64_t> found;
        std::string problem;
        if (!findEmbedded(path, found, problem)) {
            reportCabinetError(path, problem);
            plan.ok = false;
            continue;
        }
        if (found.empty() && problem.empty()) {
            reportCabinetError(path, "not a cabinet file, and no cabinet found inside");
            plan.ok = false;
            continue;
        }
        for (const uint64_t offset : found) {
            if (alreadyWalked(path, offset)) continue;
            note(quiet, path, "cabinet found at offset " + std::to_string(offset));
            add(CabinetSource{path, offset, true, {}, {}});
        }
        if (!problem.empty()) {  // a search given up: what it found is still walked
            reportCabinetError(path, problem);
            plan.ok = false;
        }
    }
    return plan;
}

}  // namespace cabtool
