// A set of cabinets: the folders' data cut into cabinets by a byte budget,
// the cut blocks split in two pieces, and every file listed in each cabinet
// that holds part of its data (conventions in cab_writer.h).
#include "tools/cabwriter/writer_internal.h"

#include <algorithm>
#include <stdexcept>

namespace cabwriter {
namespace {

using namespace detail;

// The cabinets holding the first and the last piece of something.
struct Span {
    size_t first;
    size_t last;
};

struct FolderPart {
    size_t folder;  // index into the caller's folders
    std::vector<PlannedBlock> pieces;
};

// Where the data of every folder ended up.
struct Placement {
    std::vector<std::vector<FolderPart>> cabinets;  // parts of each cabinet, in order
    std::vector<std::vector<Span>> blockSpans;      // per folder, per block
    std::vector<size_t> folderFirstCabinet;
};

void addPiece(Placement& placement, size_t cabinet, size_t folder, const PlannedBlock* piece) {
    if (placement.cabinets.size() <= cabinet) placement.cabinets.resize(cabinet + 1);
    auto& parts = placement.cabinets[cabinet];
    if (parts.empty() || parts.back().folder != folder) parts.push_back({folder, {}});
    if (piece) parts.back().pieces.push_back(*piece);
}

// Lays the blocks out in order, starting a new cabinet when the budget is
// used up and splitting a block that straddles the cut.
Placement placeBlocks(const std::vector<Folder>& folders,
                      const std::vector<EncodedFolder>& encoded, uint32_t budget) {
    Placement placement;
    size_t cabinet = 0;
    size_t used = 0;
    for (size_t g = 0; g < encoded.size(); ++g) {
        placement.folderFirstCabinet.push_back(cabinet);
        placement.blockSpans.emplace_back();
        const Bytes* reserve = &folders[g].blockReserve;
        if (encoded[g].blocks.empty()) addPiece(placement, cabinet, g, nullptr);
        for (const EncodedBlock& block : encoded[g].blocks) {
            // The cut falls on this block boundary (or already lies behind it,
            // when a second piece alone was larger than the budget).
            if (used >= budget) {
                ++cabinet;
                used = 0;
            }
            if (placement.blockSpans[g].empty()) placement.folderFirstCabinet[g] = cabinet;
            const size_t room = budget - used;
            const size_t size = block.data.size();
            if (size <= room) {
                PlannedBlock whole{block.data.data(), size, block.uncompressedSize, reserve};
                addPiece(placement, cabinet, g, &whole);
                placement.blockSpans[g].push_back({cabinet, cabinet});
                used += size;
            } else {
                PlannedBlock first{block.data.data(), room, 0, reserve};
                PlannedBlock second{block.data.data() + room, size - room, block.uncompressedSize,
                                    reserve};
                addPiece(placement, cabinet, g, &first);
                addPiece(placement, cabinet + 1, g, &second);
                placement.blockSpans[g].push_back({cabinet, cabinet + 1});
                ++cabinet;
                used = second.size;
            }
        }
    }
    return placement;
}

// The cabinets a file's data lies in. A file of no bytes belongs where the
// block at its offset starts (after the folder's end: where the folder ends).
Span fileSpan(const Placement& placement, const EncodedFolder& folder, size_t g, uint32_t start,
              uint32_t size) {
    const auto& spans = placement.blockSpans[g];
    if (spans.empty()) {
        const size_t home = placement.folderFirstCabinet[g];
        return {home, home};
    }
    auto blockAt = [&](uint32_t offset) -> size_t {
        if (offset >= folder.uncompressedSize) return spans.size() - 1;
        auto next = std::upper_bound(folder.blockStarts.begin(), folder.blockStarts.end(), offset);
        return size_t(next - folder.blockStarts.begin()) - 1;
    };
    if (start >= folder.uncompressedSize) {
        const size_t end = spans.back().last;
        return {end, end};
    }
    const size_t first = blockAt(start);
    const Span& firstBlock = spans[first];
    if (size == 0) return {firstBlock.first, firstBlock.first};
    const Span& lastBlock = spans[blockAt(start + size - 1)];
    // A file that begins exactly where a cut between cabinets fell (no
    // block split there) is listed in the earlier cabinet as going on too:
    // only a file going on leads a walk into the next cabinet, where the
    // folder continues.
    if (start == folder.blockStarts[first] && first > 0 && spans[first - 1].last < firstBlock.first) {
        return {spans[first - 1].last, lastBlock.last};
    }
    return {firstBlock.first, lastBlock.last};
}

// `folderContinued`: the file's folder began in an earlier cabinet. Its part
// here can only be decoded as the continuation of that folder, so (unless
// the caller asks for the bare index) every file in it counts as coming
// from the previous cabinet.
uint16_t setFolderIndex(const Span& span, size_t cabinet, size_t localFolder,
                        bool folderContinued) {
    const bool fromPrevious = span.first < cabinet || folderContinued;
    const bool intoNext = span.last > cabinet;
    if (fromPrevious && intoNext) return kFolderContinuedPreviousAndNext;
    if (fromPrevious) return kFolderContinuedFromPrevious;
    if (intoNext) return kFolderContinuedToNext;
    return uint16_t(localFolder);
}

}  // namespace

std::vector<Cabinet> writeCabinetSet(const std::vector<Folder>& folders,
                                     uint32_t dataBytesPerCabinet,
                                     const std::string& namePattern, const Options& options) {
    if (dataBytesPerCabinet == 0) throw std::invalid_argument("a cabinet needs room for data");
    std::vector<EncodedFolder> encoded;
    for (const Folder& folder : folders) encoded.push_back(encodeFolder(folder));
    const Placement placement = placeBlocks(folders, encoded, dataBytesPerCabinet);
    const size_t count = std::max<size_t>(placement.cabinets.size(), 1);

    std::vector<Cabinet> set;
    for (size_t c = 0; c < count; ++c) {
        CabinetPlan plan;
        plan.name = numberedName(namePattern, int(c + 1));
        plan.iCabinet = uint16_t(options.firstIndex + c);
        if (c > 0) {
            plan.previousCabinet = numberedName(namePattern, int(c));
            plan.previousDisk = numberedName(options.diskNamePattern, int(c));
        }
        if (c + 1 < count) {
            plan.nextCabinet = numberedName(namePattern, int(c + 2));
            plan.nextDisk = numberedName(options.diskNamePattern, int(c + 2));
        }
        // Continued files first, as a walk crossing in expects; files going
        // on last, so that a walk reaches every other file before it leaves.
        std::vector<PlannedFile> continued, own, goingOn;
        if (c < placement.cabinets.size()) {
            const auto& parts = placement.cabinets[c];
            for (size_t local = 0; local < parts.size(); ++local) {
                const size_t g = parts[local].folder;
                plan.folders.push_back(
                    {encoded[g].typeCompress, &folders[g].reserve, parts[local].pieces});
                for (size_t f = 0; f < folders[g].files.size(); ++f) {
                    const File& file = folders[g].files[f];
                    const uint32_t start = encoded[g].fileStarts[f];
                    const Span span =
                        fileSpan(placement, encoded[g], g, start, uint32_t(file.data.size()));
                    if (c < span.first || c > span.last) continue;
                    const bool folderContinued = placement.folderFirstCabinet[g] < c &&
                                                 !options.continuedFolderKeepsIndex;
                    PlannedFile planned =
                        planFile(file, start, setFolderIndex(span, c, local, folderContinued));
                    if (span.first < c || folderContinued) {
                        continued.push_back(planned);
                    } else {
                        (span.last > c ? goingOn : own).push_back(planned);
                    }
                }
            }
        }
        plan.files = continued;
        plan.files.insert(plan.files.end(), own.begin(), own.end());
        plan.files.insert(plan.files.end(), goingOn.begin(), goingOn.end());
        set.push_back(buildCabinet(plan, options));
    }
    return set;
}

}  // namespace cabwriter
