// The C boundary of the archive library: arguments are checked here, and no
// exception leaves a function (running out of memory becomes
// CabArchiveNoMemory).
#include "archive/cab_archive.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "archive/archive_state.h"
#include "archive/embedded/cabinet_header.h"
#include "archive/embedded/embedded_search.h"
#include "archive/extract/client_targets.h"
#include "archive/extract/directory_target.h"
#include "archive/extract/entry_span.h"
#include "archive/extract/extraction.h"
#include "archive/io/local_files.h"
#include "archive/names/name_encoding.h"
#include "archive/names/safe_name.h"
#include "archive/open/archive_open.h"
#include "archive/walk/dos_time.h"
#include "cab/codec.h"
#include "cab/format.h"

using namespace cabarchive;

// The interface's names for the format's constants are the format's values.
static_assert(CAB_HEADER_FLAG_PREVIOUS == kFlagPrevious && CAB_HEADER_FLAG_NEXT == kFlagNext &&
              CAB_HEADER_FLAG_RESERVE == kFlagReserve);
static_assert(CAB_FOLDER_CONTINUED_FROM_PREVIOUS == kFolderContinuedFromPrevious &&
              CAB_FOLDER_CONTINUED_TO_NEXT == kFolderContinuedToNext &&
              CAB_FOLDER_CONTINUED_PREVIOUS_AND_NEXT == kFolderContinuedPreviousAndNext);
static_assert((CAB_ARCHIVE_VERSION_MAJOR << 8 | CAB_ARCHIVE_VERSION_MINOR) == kVersion13);
static_assert(CabAttributeReadOnly == kAttributeReadOnly && CabAttributeHidden == kAttributeHidden &&
              CabAttributeSystem == kAttributeSystem && CabAttributeArchive == kAttributeArchive &&
              CabAttributeRunAfterExtract == kAttributeRunAfterExtract &&
              CabAttributeNameIsUtf8 == kAttributeNameIsUtf8);

namespace {

// Workers for a directory extraction: `threads`, or one per online
// processor for 0.
uint32_t workerCount(uint32_t threads) {
    if (threads != 0) return threads;
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? uint32_t(online) : 1;
}

int32_t report(CabArchiveError* error, int32_t status, const std::string& message) {
    if (error != nullptr) {
        error->code = status;
        const size_t n = std::min(message.size(), size_t(CAB_ARCHIVE_MESSAGE_SIZE - 1));
        std::memcpy(error->message, message.data(), n);
        error->message[n] = '\0';
    }
    return status;
}

// Runs `body` (which returns a status and fills `message`), turning what it
// throws into a status.
template <typename Body>
int32_t guarded(CabArchiveError* error, Body body) {
    try {
        std::string message;
        const int32_t status = body(message);
        return report(error, status, status == CabArchiveOk && message.empty() ? "" : message);
    } catch (const std::bad_alloc&) {
        return report(error, CabArchiveNoMemory, "out of memory");
    } catch (...) {
        return report(error, CabArchiveNoMemory, "internal failure");
    }
}

bool usableTemporaryPrefix(const char* prefix) {
    const size_t length = std::strlen(prefix);
    return length >= 1 && length <= CAB_ARCHIVE_TEMPORARY_PREFIX_MAX && std::strchr(prefix, '/') == nullptr;
}

CabArchiveOptions optionsOrDefault(const CabArchiveOptions* options) {
    CabArchiveOptions chosen;
    cabArchiveDefaultOptions(&chosen);
    return options != nullptr ? *options : chosen;
}

int32_t open(FirstSource first, const CabArchiveOptions* options, CabArchive** archive,
             std::string& message) {
    CabArchive* opened = nullptr;
    const int32_t status = openArchive(std::move(first), optionsOrDefault(options), opened, message);
    if (status == CabArchiveOk) *archive = opened;
    return status;
}

// Which entries the extraction asks for, after the client's choice.
bool chooseEntries(const CabArchive& archive, const CabArchiveExtraction& request,
                   std::vector<bool>& chosen, std::vector<bool>& checkOnly, std::string& message) {
    const auto count = uint32_t(archive.entries.size());
    chosen.assign(count, request.entries == nullptr);
    checkOnly.assign(count, false);
    if (request.entries != nullptr) {
        for (uint32_t i = 0; i < request.entryCount; ++i) {
            if (request.entries[i] >= count) {
                message = "entry index " + std::to_string(request.entries[i]) + " is out of range (" +
                          std::to_string(count) + " entries)";
                return false;
            }
            chosen[request.entries[i]] = true;
        }
    }
    if (request.choose != nullptr) {
        for (uint32_t i = 0; i < count; ++i) {
            if (!chosen[i]) continue;
            const int answer = request.choose(request.context, i, &archive.entries[i].view);
            chosen[i] = answer == 1 || answer == CAB_CHOOSE_CHECK_ONLY;
            checkOnly[i] = answer == CAB_CHOOSE_CHECK_ONLY;
        }
    }
    return true;
}

}  // namespace

extern "C" {

const char* cabArchiveStatusText(int32_t status) {
    switch (status) {
        case CabArchiveOk: return "success";
        case CabArchiveBadArgument: return "bad argument";
        case CabArchiveCannotOpen: return "cannot open";
        case CabArchiveNotCabinet: return "not a cabinet";
        case CabArchiveDamaged: return "damaged cabinet";
        case CabArchiveNoMemory: return "out of memory";
        case CabArchiveIncomplete: return "not every chosen entry was extracted";
        case CabArchiveStopped: return "stopped by the client";
        default: return "unknown status";
    }
}

const char* cabEntryOutcomeText(int32_t outcome) {
    switch (outcome) {
        case CabOutcomeNotChosen: return "not chosen";
        case CabOutcomeExtracted: return "extracted";
        case CabOutcomeDamaged: return "damaged";
        case CabOutcomeRefusedName: return "name refused";
        case CabOutcomeUnreachable: return "unreachable";
        case CabOutcomeOutputFailed: return "output failed";
        case CabOutcomeSkipped: return "skipped";
        case CabOutcomeStopped: return "stopped";
        case CabOutcomeSalvaged: return "salvaged";
        case CabOutcomeNotReached: return "not reached";
        default: return "unknown outcome";
    }
}

void cabArchiveDefaultOptions(CabArchiveOptions* options) {
    if (options == nullptr) return;
    *options = CabArchiveOptions{};
    options->followSet = 1;
}

int32_t cabArchiveOpenPath(const char* path, const CabArchiveOptions* options, CabArchive** archive,
                           CabArchiveError* error) {
    return guarded(error, [&](std::string& message) -> int32_t {
        if (path == nullptr || archive == nullptr) {
            message = "no path or no place for the archive";
            return CabArchiveBadArgument;
        }
        *archive = nullptr;
        FirstSource first;
        first.name = path;
        first.directory = splitCabinetPath(path).directory;
        first.fromPath = true;
        std::string problem;
        first.source.kind = Source::Kind::File;
        first.source.fd = openRegularFile(path, problem);
        if (first.source.fd < 0) {
            message = std::string(path) + ": " + problem;
            return CabArchiveCannotOpen;
        }
        return open(std::move(first), options, archive, message);
    });
}

int32_t cabArchiveOpenMemory(const void* data, size_t size, const CabArchiveOptions* options,
                             CabArchive** archive, CabArchiveError* error) {
    return guarded(error, [&](std::string& message) -> int32_t {
        if ((data == nullptr && size != 0) || archive == nullptr) {
            message = "no buffer or no place for the archive";
            return CabArchiveBadArgument;
        }
        *archive = nullptr;
        FirstSource first;
        first.source.kind = Source::Kind::Memory;
        first.source.data = static_cast<const uint8_t*>(data != nullptr ? data : "");
        first.source.size = size;
        return open(std::move(first), options, archive, message);
    });
}

int32_t cabArchiveOpenStream(const CabArchiveStream* stream, const CabArchiveOptions* options,
                             CabArchive** archive, CabArchiveError* error) {
    const int32_t status = guarded(error, [&](std::string& message) -> int32_t {
        if (stream == nullptr || stream->read == nullptr || stream->seek == nullptr ||
            archive == nullptr) {
            if (stream != nullptr && stream->close != nullptr) stream->close(stream->context);
            message = "no stream, a stream without read or seek, or no place for the archive";
            return CabArchiveBadArgument;
        }
        *archive = nullptr;
        FirstSource first;
        first.source.kind = Source::Kind::Stream;
        first.source.stream = *stream;
        return open(std::move(first), options, archive, message);
    });
    return status;
}

void cabArchiveClose(CabArchive* archive) { delete archive; }

const char* cabArchiveDamage(const CabArchive* archive) {
    return archive != nullptr && !archive->damage.empty() ? archive->damage.c_str() : nullptr;
}

uint32_t cabArchiveProblemCount(const CabArchive* archive) {
    return archive != nullptr ? uint32_t(archive->problems.size()) : 0;
}

int32_t cabArchiveProblem(const CabArchive* archive, uint32_t index, CabArchiveProblem* problem) {
    if (archive == nullptr || problem == nullptr || problem->size < sizeof(CabArchiveProblem) ||
        index >= archive->problems.size()) {
        return CabArchiveBadArgument;
    }
    const OpenProblem& p = archive->problems[index];
    problem->kind = p.kind;
    problem->cabinet = p.cabinet;
    problem->before = p.before ? 1 : 0;
    problem->name = p.name.c_str();
    problem->detail = p.detail.c_str();
    return CabArchiveOk;
}

int32_t cabArchiveCodePageKnown(const char* name) {
    if (name == nullptr) return 0;
    try {
        return NameDecoder::forEncoding(name) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

uint32_t cabArchiveCabinetCount(const CabArchive* archive) {
    return archive != nullptr ? uint32_t(archive->cabinets.size()) : 0;
}

int32_t cabArchiveCabinet(const CabArchive* archive, uint32_t index, CabArchiveCabinet* cabinet) {
    if (archive == nullptr || cabinet == nullptr || index >= archive->cabinets.size()) {
        return CabArchiveBadArgument;
    }
    const Cabinet& c = archive->cabinets[index];
    cabinet->name = c.name.c_str();
    cabinet->offset = c.offset;
    cabinet->size = c.header.cbCabinet;
    cabinet->setId = c.header.setID;
    cabinet->indexInSet = c.header.iCabinet;
    cabinet->folderCount = c.header.cFolders;
    cabinet->fileCount = c.header.cFiles;
    return CabArchiveOk;
}

int32_t cabArchiveCabinetLinks(const CabArchive* archive, uint32_t index, const char** previous,
                               const char** next) {
    if (archive == nullptr || index >= archive->cabinets.size()) return CabArchiveBadArgument;
    const Cabinet& c = archive->cabinets[index];
    if (previous != nullptr) {
        *previous = (c.header.flags & kFlagPrevious) != 0 ? c.setNames.previousCabinet : nullptr;
    }
    if (next != nullptr) *next = (c.header.flags & kFlagNext) != 0 ? c.setNames.nextCabinet : nullptr;
    return CabArchiveOk;
}

uint32_t cabArchiveEntryCount(const CabArchive* archive) {
    return archive != nullptr ? uint32_t(archive->entries.size()) : 0;
}

int32_t cabArchiveEntry(const CabArchive* archive, uint32_t index, CabArchiveEntry* entry) {
    if (archive == nullptr || entry == nullptr || index >= archive->entries.size()) {
        return CabArchiveBadArgument;
    }
    *entry = archive->entries[index].view;
    return CabArchiveOk;
}

int32_t cabArchiveEntryReachedIn(CabArchive* archive, uint32_t index, uint32_t* cabinet) {
    if (archive == nullptr || cabinet == nullptr || index >= archive->entries.size()) {
        return CabArchiveBadArgument;
    }
    try {
        *cabinet = cabinetReachingEntry(*archive, index);
    } catch (const std::bad_alloc&) {
        return CabArchiveNoMemory;
    }
    return CabArchiveOk;
}

uint32_t cabArchiveListedCount(const CabArchive* archive, uint32_t cabinet) {
    if (archive == nullptr || cabinet >= archive->cabinets.size()) return 0;
    return uint32_t(archive->cabinets[cabinet].directory.entries.size());
}

int32_t cabArchiveListed(const CabArchive* archive, uint32_t cabinet, uint32_t position,
                         CabArchiveListing* listing) {
    if (archive == nullptr || listing == nullptr || listing->size < sizeof(CabArchiveListing) ||
        cabinet >= archive->cabinets.size()) {
        return CabArchiveBadArgument;
    }
    const cabarchive::Cabinet& listed = archive->cabinets[cabinet];
    if (position >= listed.directory.entries.size() || position >= listed.entryOfListed.size() ||
        position >= listed.listedNames.size()) {
        return CabArchiveBadArgument;
    }
    const cabarchive::FileEntry& file = listed.directory.entries[position];
    listing->entry = listed.entryOfListed[position];
    listing->rawName = reinterpret_cast<const uint8_t*>(file.name.c_str());
    listing->rawNameLength = uint32_t(file.name.size());
    listing->fileSize = file.size;
    listing->folder = file.folderIndex;
    listing->attributes = file.attributes;
    listing->name = listed.listedNames[position].c_str();
    return CabArchiveOk;
}

int32_t cabArchiveEntryProblem(const CabArchive* archive, uint32_t index, const char** reason) {
    if (reason != nullptr) *reason = nullptr;
    if (archive == nullptr || index >= archive->known.size()) return CabOutcomeNotChosen;
    const KnownProblem& known = archive->known[index];
    if (reason != nullptr && known.outcome != CabOutcomeNotChosen) *reason = known.reason.c_str();
    return known.outcome;
}

int64_t cabArchiveDosTimeToUnix(uint16_t dosDate, uint16_t dosTime) {
    const std::optional<std::time_t> time = dosToLocalTime(dosDate, dosTime);
    return time ? int64_t(*time) : -1;
}

int32_t cabArchiveCompressionMethod(uint16_t typeCompress, uint32_t* windowBits) {
    constexpr uint32_t kMszipWindowBits = 15;
    int32_t method = -1;
    uint32_t bits = 0;
    switch (compressionMethod(typeCompress)) {
        case MethodNone: method = CabMethodStored; break;
        case MethodMszip:
            method = CabMethodMszip;
            bits = kMszipWindowBits;
            break;
        case MethodQuantum: method = CabMethodQuantum; bits = compressionParameter(typeCompress); break;
        case MethodLzx: method = CabMethodLzx; bits = compressionParameter(typeCompress); break;
        default: break;
    }
    if (windowBits != nullptr) *windowBits = bits;
    return method;
}

int32_t cabArchiveFolderContinues(uint16_t folder) {
    return (continuesFromPrevious(folder) ? CAB_CONTINUES_FROM_PREVIOUS : 0) |
           (continuesIntoNext(folder) ? CAB_CONTINUES_INTO_NEXT : 0);
}

int32_t cabArchiveExtract(CabArchive* archive, const CabArchiveExtraction* extraction,
                          CabArchiveError* error) {
    return cabArchiveExtractWithEvents(archive, extraction, nullptr, error);
}

int32_t cabArchiveExtractWithEvents(CabArchive* archive, const CabArchiveExtraction* extraction,
                                    const CabArchiveEvents* events, CabArchiveError* error) {
    return guarded(error, [&](std::string& message) -> int32_t {
        if (archive == nullptr || extraction == nullptr ||
            (extraction->directory == nullptr && extraction->sink == nullptr) ||
            (extraction->entries == nullptr && extraction->entryCount != 0)) {
            message = "no archive, no extraction, or neither a directory nor a sink";
            return CabArchiveBadArgument;
        }
        // Events of the layouts before salvageFillsWithZeros and before
        // entryHandedOn read as 0 past their end.
        constexpr size_t kFirstEventsSize = offsetof(CabArchiveEvents, salvageFillsWithZeros);
        constexpr size_t kSecondEventsSize = offsetof(CabArchiveEvents, entryHandedOn);
        CabArchiveEvents full{};
        if (events != nullptr) {
            if (events->size < sizeof(CabArchiveEvents) && events->size != kFirstEventsSize &&
                events->size != kSecondEventsSize) {
                message = "events smaller than CabArchiveEvents";
                return CabArchiveBadArgument;
            }
            std::memcpy(&full, events, std::min<size_t>(events->size, sizeof full));
            events = &full;
        }
        if (events != nullptr && events->temporaryPrefix != nullptr &&
            !usableTemporaryPrefix(events->temporaryPrefix)) {
            message = "a temporary prefix must be 1 to " +
                      std::to_string(CAB_ARCHIVE_TEMPORARY_PREFIX_MAX) + " bytes without '/'";
            return CabArchiveBadArgument;
        }
        std::vector<bool> chosen;
        std::vector<bool> checkOnly;
        if (!chooseEntries(*archive, *extraction, chosen, checkOnly, message)) return CabArchiveBadArgument;
        if (extraction->directory != nullptr) {
            std::optional<DirectoryTarget> target =
                DirectoryTarget::open(extraction->directory, *extraction, message, events);
            if (!target) return CabArchiveCannotOpen;
            const int32_t status =
                extractEntries(*archive, *extraction, chosen, *target, workerCount(extraction->threads),
                               events, checkOnly);
            if (status != CabArchiveOk) message = cabArchiveStatusText(status);
            return status;
        }
        SinkTarget target(*extraction->sink);
        const int32_t status = extractEntries(*archive, *extraction, chosen, target, 1, events, checkOnly);
        if (status != CabArchiveOk) message = cabArchiveStatusText(status);
        return status;
    });
}

namespace {

int32_t pathOfName(const std::string& name, int32_t lowercase, char* buffer, uint32_t capacity) {
    try {
        const SafeName place = outputPlace(name, lowercase != 0);
        const std::string text = place.usable() ? place.joined() : place.problem;
        if (text.size() >= capacity) return CabArchiveBadArgument;
        std::memcpy(buffer, text.c_str(), text.size() + 1);
        return place.usable() ? CabArchiveOk : CabArchiveIncomplete;
    } catch (const std::bad_alloc&) {
        return CabArchiveNoMemory;
    }
}

}  // namespace

int32_t cabArchiveEntryPath(const CabArchive* archive, uint32_t index, int32_t lowercase,
                            char* buffer, uint32_t capacity) {
    if (archive == nullptr || buffer == nullptr || index >= archive->entries.size()) {
        return CabArchiveBadArgument;
    }
    return pathOfName(archive->entries[index].name, lowercase, buffer, capacity);
}

int32_t cabArchiveNamePath(const char* name, int32_t lowercase, char* buffer, uint32_t capacity) {
    if (name == nullptr || buffer == nullptr) return CabArchiveBadArgument;
    return pathOfName(name, lowercase, buffer, capacity);
}

int32_t cabArchiveNeighbourPath(const char* cabinetPath, const char* name, char* buffer,
                                uint32_t capacity) {
    if (cabinetPath == nullptr || name == nullptr || buffer == nullptr) return CabArchiveBadArgument;
    try {
        const std::string directory = splitCabinetPath(cabinetPath).directory;
        const std::string path = directory + resolveCabinetName(directory, name);
        if (path.size() >= capacity) return CabArchiveBadArgument;
        std::memcpy(buffer, path.c_str(), path.size() + 1);
        return CabArchiveOk;
    } catch (const std::bad_alloc&) {
        return CabArchiveNoMemory;
    }
}

int cabArchiveOpenRegularFile(const char* path, CabArchiveError* error) {
    if (path == nullptr) {
        report(error, CabArchiveBadArgument, "no path");
        return -1;
    }
    try {
        std::string problem;
        const int fd = openRegularFile(path, problem);
        if (fd < 0) {
            report(error, CabArchiveCannotOpen, problem);
        } else {
            report(error, CabArchiveOk, "");
        }
        return fd;
    } catch (const std::bad_alloc&) {
        report(error, CabArchiveNoMemory, "out of memory");
        return -1;
    }
}

int32_t cabArchiveIsPlainFileName(const char* name) {
    return name != nullptr && isPlainFileName(name) ? 1 : 0;
}

int32_t cabArchiveOutcome(const CabArchive* archive, uint32_t index, const char** reason) {
    if (reason != nullptr) *reason = nullptr;
    if (archive == nullptr || index >= archive->outcomes.size()) return CabOutcomeNotChosen;
    if (reason != nullptr && !archive->reasons[index].empty()) *reason = archive->reasons[index].c_str();
    return archive->outcomes[index];
}

int32_t cabArchiveExtractToMemory(CabArchive* archive, uint32_t index, void** data, size_t* size,
                                  CabArchiveError* error) {
    return guarded(error, [&](std::string& message) -> int32_t {
        if (data != nullptr) *data = nullptr;
        if (size != nullptr) *size = 0;
        if (archive == nullptr || data == nullptr || size == nullptr ||
            index >= archive->entries.size()) {
            message = "no archive, no place for the data, or an entry index out of range";
            return CabArchiveBadArgument;
        }
        std::vector<bool> chosen(archive->entries.size(), false);
        chosen[index] = true;
        CabArchiveExtraction request{};
        MemoryTarget target;
        extractEntries(*archive, request, chosen, target);
        if (archive->outcomes[index] != CabOutcomeExtracted) {
            message = archive->entries[index].name + ": " + archive->reasons[index];
            return CabArchiveIncomplete;
        }
        const std::vector<uint8_t>& bytes = target.bytes();
        void* copy = std::malloc(bytes.empty() ? 1 : bytes.size());
        if (copy == nullptr) throw std::bad_alloc();
        if (!bytes.empty()) std::memcpy(copy, bytes.data(), bytes.size());
        *data = copy;
        *size = bytes.size();
        return CabArchiveOk;
    });
}

void cabArchiveFree(void* data) { std::free(data); }

int32_t cabArchiveFindEmbedded(const char* path, uint64_t* offsets, uint32_t capacity,
                               uint32_t* found, CabArchiveError* error) {
    return guarded(error, [&](std::string& message) -> int32_t {
        if (path == nullptr || found == nullptr || (offsets == nullptr && capacity != 0)) {
            message = "no path, no place for the count, or no place for the offsets";
            return CabArchiveBadArgument;
        }
        *found = 0;
        std::vector<EmbeddedCabinet> cabinets;
        std::string problem;
        if (!findEmbeddedCabinets(path, cabinets, problem)) {
            message = std::string(path) + ": " + problem;
            return CabArchiveCannotOpen;
        }
        for (size_t i = 0; i < cabinets.size() && i < capacity; ++i) offsets[i] = cabinets[i].offset;
        *found = uint32_t(cabinets.size());
        if (!problem.empty()) message = std::string(path) + ": " + problem;
        return CabArchiveOk;
    });
}

int32_t cabArchiveReadHeaderFacts(const char* path, uint64_t offset, CabArchiveHeaderFacts* facts,
                                  CabArchiveError* error) {
    return guarded(error, [&](std::string& message) -> int32_t {
        if (path == nullptr || facts == nullptr || facts->size < sizeof(CabArchiveHeaderFacts)) {
            message = "no path, or no facts record of this size";
            return CabArchiveBadArgument;
        }
        std::string problem;
        CabHeaderRecord header{};
        switch (readHeaderFacts(path, offset, header, problem)) {
        case HeaderFactsRead::CannotOpen:
            message = std::string(path) + ": " + problem;
            return CabArchiveCannotOpen;
        case HeaderFactsRead::NotCabinet:
            message = std::string(path) + ": not a cabinet: " + problem;
            return CabArchiveNotCabinet;
        case HeaderFactsRead::Read:
            break;
        }
        facts->versionMinor = uint8_t(header.version & 0xFF);
        facts->versionMajor = uint8_t(header.version >> 8);
        facts->flags = header.flags;
        facts->setId = header.setID;
        facts->indexInSet = header.iCabinet;
        facts->headerReserve = header.cbCFHeader;
        facts->folderReserve = header.cbCFFolder;
        facts->blockReserve = header.cbCFData;
        return CabArchiveOk;
    });
}

}  // extern "C"
