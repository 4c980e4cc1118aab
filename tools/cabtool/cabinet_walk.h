// Walking a cabinet and the rest of its set through the decoder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/cabtool/file_entry.h"

namespace cabtool {

// What a command does with the files of the walk.
struct FileHandlers {
    // Optional: the files of the next cabinet the walk is about to handle
    // (those it can extract from there); false stops the walk before
    // anything of that cabinet is decoded (the command says why).
    std::function<bool(const std::vector<FileEntry>&)> beforeCabinet;
    // A file can be extracted: return its output handle, 0 to skip it, or -1
    // to stop the walk.
    std::function<int32_t(const FileEntry&)> openOutput;
    // All bytes of the file went to `handle`: finish it. Return 1, or 0 when
    // the handle was closed but the file could not be completed.
    std::function<int(const FileEntry&, int32_t handle)> closeOutput;
    // The decoder failed while the file was open and has closed its handle.
    std::function<void(const FileEntry&)> abandonOutput;
    // Optional: `copy` has the same data as `original`, which was just
    // completed; it is not decoded again. Without this handler every file
    // is decoded on its own.
    std::function<void(const FileEntry& copy, const FileEntry& original)> sameData;
    // In the starting cabinet: a file continued from an earlier cabinet of
    // the set (its folder's data begins there), which cannot be extracted
    // from here.
    std::function<void(const FileEntry&, const std::string& previousCabinet)> fileFromEarlier;
    // A file the walk cannot extract; `reason` says why.
    std::function<void(const FileEntry&, const std::string& reason)> unreachable;
    // Salvage: blocks whose checksum does not match are decoded anyway, each
    // reported to `checksumIgnored` first, and the files whose data they
    // hold are handed out marked `suspect`. A failure in a cabinet's data
    // then ends only the file it met: the walk goes on with the files of
    // that cabinet not yet handed out.
    bool salvaging = false;
    std::function<void(const std::string& cabinet, const std::string& what)> checksumIgnored;
    // Optional: whether the command asked for the file (its filter). Files
    // it did not ask for are never counted as not reached. Without this
    // handler every file counts.
    std::function<bool(const FileEntry&)> chosen;
    // Optional: the walk is done with a cabinet (and any it crossed into),
    // whether or not it failed there.
    std::function<void()> cabinetFinished;
};

struct WalkOutcome {
    bool complete = false;    // every cabinet of the set was read without failure
    uint64_t notReached = 0;  // chosen files of a cabinet the walk stopped in, never handed out
    // Paths of the cabinets whose own files the walk handed out.
    std::vector<std::string> handled;
};

// Whether `handlers` count `entry` among the files not reached.
bool countsAsNotReached(const FileHandlers& handlers, const FileEntry& entry);

// Walks the cabinet at `path` and every later cabinet of its set, found in
// the same directory by the names the headers give. Reports every failure on
// standard error, naming the cabinet.
//
// Each cabinet's directory is read first. Its files are then handed out
// folder by folder in the order of their data, so that each folder is
// decoded in one forward pass, and files with the same data are decoded
// once; the files going on into the next cabinet come last, in directory
// order, and the decoder crosses into that cabinet with them, handing out
// the files continued there. Files continued into a cabinet that no walk
// reached, or lying in a folder continued from a previous cabinet that the
// decoder cannot start from here, are passed to `unreachable`. A cabinet
// whose file list is damaged part-way has the files listed before the damage
// handed out; the walk then ends there, counting the entries it could not
// read as not reached.
//
// To keep the crossing, a command that declines a file going on into the
// next cabinet (continuesIntoNext) should decode it into kDiscardHandle.
WalkOutcome walkCabinetSet(const std::string& path, const FileHandlers& handlers);

}  // namespace cabtool
