#include "archive/open/archive_open.h"

#include <memory>
#include <optional>

#include "archive/embedded/embedded_search.h"
#include "archive/extract/known_problems.h"
#include "archive/io/local_files.h"
#include "archive/names/safe_name.h"
#include "archive/open/cabinet_reading.h"
#include "archive/open/entry_list.h"
#include "cab/format.h"

namespace cabarchive {
namespace {

constexpr uint16_t kHasPrevious = 0x0001;
constexpr uint16_t kHasNext = 0x0002;

// Streams searched for an embedded cabinet are read whole, up to this much.
constexpr uint64_t kLargestSearchedStream = uint64_t(1) << 31;

struct Opening {
    CabArchive& archive;
    const FirstSource& first;
    const CabArchiveOptions& options;
};

void addProblem(CabArchive& archive, OpenProblem problem) {
    if (!archive.damage.empty()) archive.damage += "; ";
    archive.damage += problem.text();
    archive.problems.push_back(std::move(problem));
}

// A problem of a cabinet that joined the archive, found again by its place
// in the set once every cabinet is read.
OpenProblem joinedProblem(const Cabinet& cabinet, int32_t kind, const std::string& detail) {
    OpenProblem problem;
    problem.kind = kind;
    problem.cabinet = 0;
    problem.setIndex = cabinet.header.iCabinet;
    problem.name = cabinet.name;
    problem.detail = detail;
    return problem;
}

// A damaged cabinet's problems: its folder table, then its file list.
void addDirectoryProblems(CabArchive& archive, const Cabinet& cabinet) {
    for (const std::string* damage : {&cabinet.folderDamage, &cabinet.directory.damage}) {
        if (!damage->empty()) {
            addProblem(archive, joinedProblem(cabinet, CabProblemDamagedDirectory, *damage));
        }
    }
}

OpenProblem neighbourProblem(int32_t kind, bool before, const std::string& name,
                             const std::string& detail) {
    OpenProblem problem;
    problem.kind = kind;
    problem.before = before;
    problem.name = name;
    problem.detail = detail;
    return problem;
}

// The stream's bytes from `from` on, for the embedded search.
bool readStreamFrom(CabArchiveStream& stream, uint64_t from, std::vector<uint8_t>& bytes) {
    const int64_t end = stream.seek(stream.context, 0, 2);
    if (end < 0 || uint64_t(end) < from || uint64_t(end) - from > kLargestSearchedStream) return false;
    if (stream.seek(stream.context, int64_t(from), 0) != int64_t(from)) return false;
    bytes.resize(size_t(uint64_t(end) - from));
    size_t done = 0;
    while (done < bytes.size()) {
        const int32_t got = stream.read(stream.context, bytes.data() + done,
                                        uint32_t(std::min<size_t>(bytes.size() - done, 1u << 20)));
        if (got <= 0) break;
        done += size_t(got);
    }
    bytes.resize(done);
    return true;
}

// Where the first cabinet stored at or after the source's start lies.
std::optional<uint64_t> searchEmbedded(Opening& o, Source& source) {
    std::vector<EmbeddedCabinet> found;
    std::string problem;
    const uint64_t from = source.start;
    switch (source.kind) {
        case Source::Kind::File:
            if (!findEmbeddedCabinets(o.first.name, found, problem)) return std::nullopt;
            break;
        case Source::Kind::Memory:
            if (from >= source.size) return std::nullopt;
            findEmbeddedCabinetsIn(source.data + from, size_t(source.size - from), found, problem);
            for (EmbeddedCabinet& cabinet : found) cabinet.offset += from;
            break;
        case Source::Kind::Stream: {
            std::vector<uint8_t> bytes;
            if (!readStreamFrom(source.stream, from, bytes)) return std::nullopt;
            findEmbeddedCabinetsIn(bytes.data(), bytes.size(), found, problem);
            for (EmbeddedCabinet& cabinet : found) cabinet.offset += from;
            break;
        }
    }
    for (const EmbeddedCabinet& cabinet : found) {
        if (cabinet.offset >= from) return cabinet.offset;
    }
    return std::nullopt;
}

// A neighbour named `stored` in a header, from the client's callback or
// beside the file the archive was opened from.
bool fetchNeighbour(Opening& o, const std::string& stored, Cabinet& cabinet, std::string& problem) {
    Source source;
    if (o.options.neighbour != nullptr) {
        CabArchiveStream stream{};
        if (o.options.neighbour(o.options.neighbourContext, stored.c_str(), &stream) != 1) {
            problem = "not supplied";
            return false;
        }
        source.kind = Source::Kind::Stream;
        source.stream = stream;
        cabinet.name = stored;
    } else if (o.first.fromPath) {
        if (!isPlainFileName(stored)) {
            problem = "not a plain file name";
            return false;
        }
        const std::string path = o.first.directory + resolveCabinetName(o.first.directory, stored);
        source.fd = openRegularFile(path, problem);
        if (source.fd < 0) return false;
        cabinet.name = path;
    } else {
        problem = "no source of neighbouring cabinets was given";
        return false;
    }
    cabinet.source = o.archive.io.addSource(std::move(source));
    return true;
}

// Reads the neighbour `stored` and checks that it is member `index` of set
// `setId`, coming `before` the archive's cabinets or after them. Its
// problems go into the archive's damage.
bool joinNeighbour(Opening& o, const std::string& stored, uint16_t setId, uint32_t index,
                   bool before, Cabinet& cabinet) {
    std::string problem;
    if (!fetchNeighbour(o, stored, cabinet, problem)) {
        addProblem(o.archive, neighbourProblem(CabProblemMissingCabinet, before, stored, problem));
        return false;
    }
    const CabinetRead read = readCabinet(o.archive.io, cabinet, problem);
    if (read == CabinetRead::NotCabinet) {
        addProblem(o.archive, neighbourProblem(CabProblemNotCabinet, before, cabinet.name, problem));
        o.archive.io.dropSource(cabinet.source);
        return false;
    }
    if (cabinet.header.setID != setId || cabinet.header.iCabinet != index) {
        addProblem(o.archive,
                   neighbourProblem(CabProblemForeignCabinet, before, cabinet.name,
                                    "does not belong to the set (set " +
                                        std::to_string(cabinet.header.setID) + ", index " +
                                        std::to_string(cabinet.header.iCabinet) + "; expected set " +
                                        std::to_string(setId) + ", index " + std::to_string(index) + ")"));
        o.archive.io.dropSource(cabinet.source);
        return false;
    }
    if (read == CabinetRead::Damaged) addDirectoryProblems(o.archive, cabinet);
    return true;
}

void joinSet(Opening& o) {
    std::vector<Cabinet>& cabinets = o.archive.cabinets;
    // Each step moves the index by one within 0..65535, so neither loop can
    // run in a circle.
    while ((cabinets.front().header.flags & kHasPrevious) != 0 && cabinets.front().header.iCabinet > 0) {
        const Cabinet& front = cabinets.front();
        Cabinet previous;
        if (!joinNeighbour(o, front.setNames.previousCabinet, front.header.setID,
                           front.header.iCabinet - 1u, true, previous)) {
            break;
        }
        cabinets.insert(cabinets.begin(), std::move(previous));
    }
    while ((cabinets.back().header.flags & kHasNext) != 0 && cabinets.back().header.iCabinet < 0xFFFF) {
        const Cabinet& back = cabinets.back();
        Cabinet next;
        if (!joinNeighbour(o, back.setNames.nextCabinet, back.header.setID, back.header.iCabinet + 1u,
                           false, next)) {
            break;
        }
        cabinets.push_back(std::move(next));
    }
}

CabArchiveStatus readFirst(Opening& o, std::string& message) {
    Cabinet first;
    first.name = o.first.name;
    first.source = 0;
    Source& source = o.archive.io.source(0);
    std::string problem;
    CabinetRead read = readCabinet(o.archive.io, first, problem);
    if (read == CabinetRead::NotCabinet && o.options.searchEmbedded != 0) {
        if (const std::optional<uint64_t> found = searchEmbedded(o, source)) {
            source.start = *found;
            first = Cabinet{};
            first.name = o.first.name;
            read = readCabinet(o.archive.io, first, problem);
        } else {
            problem = "no cabinet found inside it";
        }
    }
    if (read == CabinetRead::NotCabinet) {
        message = (o.first.name.empty() ? std::string("cabinet") : o.first.name) + ": " + problem;
        return CabArchiveNotCabinet;
    }
    first.offset = source.start;
    if (read == CabinetRead::Damaged) addDirectoryProblems(o.archive, first);
    o.archive.cabinets.push_back(std::move(first));
    return CabArchiveOk;
}

// Joined cabinets' problems get the cabinet's index, now that the set's
// order is final (neighbours before the first one shift it while joining).
void placeJoinedProblems(CabArchive& archive) {
    for (OpenProblem& problem : archive.problems) {
        if (problem.kind != CabProblemDamagedDirectory) continue;
        for (size_t c = 0; c < archive.cabinets.size(); ++c) {
            if (archive.cabinets[c].header.iCabinet == problem.setIndex) problem.cabinet = int32_t(c);
        }
    }
}

}  // namespace

std::string OpenProblem::text() const {
    if (kind == CabProblemMissingCabinet) return "cabinet '" + name + "' of the set is missing: " + detail;
    return (name.empty() ? std::string("cabinet") : name) + ": " + detail;
}

CabArchiveStatus openArchive(FirstSource first, const CabArchiveOptions& options,
                             CabArchive*& archive, std::string& message) {
    auto opened = std::make_unique<CabArchive>();
    const uint64_t start = options.offset;
    first.source.start = start;
    opened->io.addSource(std::move(first.source));
    opened->io.setQuantumWindowPages(options.quantumWindowPages);
    const char* codePage = options.codePage != nullptr ? options.codePage : kDefaultNameEncoding;
    const std::optional<NameDecoder> names = NameDecoder::forEncoding(codePage);
    if (!names) {
        message = std::string("unknown code page '") + codePage + "'";
        return CabArchiveBadArgument;
    }
    Opening o{*opened, first, options};
    const CabArchiveStatus status = readFirst(o, message);
    if (status != CabArchiveOk) return status;
    if (options.followSet != 0) joinSet(o);
    placeJoinedProblems(*opened);
    listEntries(*opened, *names);
    findKnownProblems(*opened);
    archive = opened.release();
    return CabArchiveOk;
}

}  // namespace cabarchive
