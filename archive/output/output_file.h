// One extracted file on its way to disk. The bytes go to a temporary file in
// the target directory; only a complete file is renamed to its final name, so
// a failed extraction never leaves a partial file there nor replaces an
// existing one.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "archive/cab_archive.h"

namespace cabarchive {

// What a program adds to the making of files: a temporary name of its own,
// and the bookkeeping that lets it remove the file in progress and the
// directories it made when it is interrupted. Without hooks, files are
// created plainly and nothing is noted.
struct OutputHooks {
    const char* temporaryPrefix;  // temporary files are named PREFIX + 8 hex digits + ".part"
    // Creates `name` in `directoryFd` as openat would; the descriptor or -1.
    int (*createFile)(int directoryFd, const char* name, int flags, unsigned mode);
    // The file created last is complete or removed.
    void (*fileFinished)();
    // The directory `path` below `rootFd` was made for a file.
    void (*directoryCreated)(int rootFd, const std::string& path);
};

// Files created plainly with nothing noted, as without hooks, but with
// temporary names starting with `temporaryPrefix` (at most
// CAB_ARCHIVE_TEMPORARY_PREFIX_MAX bytes, which must outlive the hooks).
OutputHooks plainOutputHooks(const char* temporaryPrefix);

// Why a file was not put in place when it must not replace one there.
constexpr const char* kExistsKept = CAB_ARCHIVE_REASON_EXISTS_KEPT;

// A complete file closed under its temporary name, holding no descriptor
// while it waits to be put in place by another thread.
struct FinishedFile {
    std::vector<std::string> directories;  // below the root, outermost first
    std::string temporaryName;
    std::string finalName;
    bool replace = true;  // may take the place of a file already there
};

// Moves `file` to its final name below `rootFd` (never following a
// symbolic link on the way), or removes it: false, with the reason in
// `error` (kExistsKept when the name was taken and not replaced).
bool placeFinishedFile(int rootFd, const FinishedFile& file, std::string& error);

// Removes `file`'s temporary below `rootFd`, if it is still there.
void removeFinishedFile(int rootFd, const FinishedFile& file);

class OutputFile {
public:
    // Creates the directories `components` asks for below `rootFd` (never
    // following a symbolic link out of it) and a temporary file beside the
    // final name. Nothing on failure, with the reason in `error`.
    static std::optional<OutputFile> create(int rootFd, const std::vector<std::string>& components,
                                            std::string& error, const OutputHooks* hooks = nullptr);

    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&&) = delete;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // The handle the bytes are written to.
    int handle() const { return fd_; }

    // Sets the modification time and read-only state, closes the file and
    // moves it to its final name, replacing what is there only when
    // `replace`. On failure the temporary file is removed and `error` says
    // why (kExistsKept when the name was taken and not replaced).
    bool commit(std::optional<std::time_t> modified, bool readOnly, std::string& error,
                bool replace = true);

    // Sets the time and read-only state and closes the file as commit does,
    // but leaves it under its temporary name for placeFinishedFile. Nothing,
    // with the temporary removed and the reason in `error`, on failure.
    std::optional<FinishedFile> finish(std::optional<std::time_t> modified, bool readOnly,
                                       std::string& error, bool replace = true);

    // Something (a file, a link, a directory) already has the final name.
    bool exists() const;

    // Removes the temporary file after the decoder has closed the handle
    // itself (a failed extraction).
    void discardClosed();

    // Salvage: after the decoder has closed the handle itself, opens the
    // temporary file again and makes it `size` bytes long, the bytes never
    // written reading as zeros; commit then puts it in place. False, with
    // the reason in `error`, when that fails.
    bool reopenPadded(uint64_t size, std::string& error);

private:
    OutputFile() = default;
    void removeTemporary();
    // The time and read-only state set and the handle closed; on failure
    // the temporary is removed.
    bool closeComplete(std::optional<std::time_t> modified, bool readOnly, std::string& error);

    int directoryFd_ = -1;  // the directory the file goes into
    int fd_ = -1;           // the temporary file, -1 once closed
    std::vector<std::string> directories_;  // from the root to the file's directory
    std::string temporaryName_;
    std::string finalName_;
    bool finished_ = false;
    const OutputHooks* hooks_ = nullptr;
};

}  // namespace cabarchive
