// Walking a cabinet and the rest of its set through the decoder.
#pragma once

#include "cab/format.h"

#include <cstdint>
#include <functional>
#include <string>

namespace cabtool {

// A file as the decoder offers it.
struct FileEntry {
    std::string cabinet;  // path of the cabinet it is listed in
    std::string name;     // as stored, with backslashes
    uint32_t size = 0;
    uint16_t date = 0;
    uint16_t time = 0;
    uint16_t attributes = 0;
    uint16_t folderIndex = 0;  // iFolder as stored

    // Its data goes on in the next cabinet (iFolder 0xFFFE or 0xFFFF).
    bool continuesIntoNext() const { return ::continuesIntoNext(folderIndex); }
};

// What a command does with the files of the walk.
struct FileHandlers {
    // A file can be extracted: return its output handle, 0 to skip it, or -1
    // to stop the walk.
    std::function<int32_t(const FileEntry&)> openOutput;
    // All bytes of the file went to `handle`: finish it. Return 1, or 0 when
    // the handle was closed but the file could not be completed.
    std::function<int(const FileEntry&, int32_t handle)> closeOutput;
    // The decoder failed while the file was open and has closed its handle.
    std::function<void(const FileEntry&)> abandonOutput;
    // In the starting cabinet: a file continued from an earlier cabinet of
    // the set (its folder's data begins there), which cannot be extracted
    // from here.
    std::function<void(const FileEntry&, const std::string& previousCabinet)> fileFromEarlier;
    // A file the decoder does not offer, or would decode from the wrong
    // place (see walkCabinetSet); `reason` says which.
    std::function<void(const FileEntry&, const std::string& reason)> unreachable;
};

// Walks the cabinet at `path` and every later cabinet of its set, found in
// the same directory by the names the headers give. Reports every failure on
// standard error, naming the cabinet; returns false when any cabinet failed.
//
// Each cabinet gets a cabExtract of its own. Files of a folder continued from
// the previous cabinet are marked so, and the decoder offers them only while
// it crosses into that cabinet from a file that goes on there; in a later
// cabExtract they come as FileFromPrevious. Those not reached by a crossing
// are passed to `unreachable`. So is a file of folder 0 not marked so in a
// cabinet whose folder 0 is continued: the decoder would read it from that
// cabinet's first block, with offsets that count from the folder's true
// start, so it is refused rather than written with wrong contents.
//
// To keep the crossing, a command that declines a file going on into the
// next cabinet (kContinuesIntoNext) should decode it into kDiscardHandle.
bool walkCabinetSet(const std::string& path, const FileHandlers& handlers);

}  // namespace cabtool
