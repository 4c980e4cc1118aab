#include "archive/output/output_file.h"

#include "archive/cab_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>


namespace cabarchive {
namespace {

constexpr mode_t kNewFileMode = 0666;       // narrowed by the umask
constexpr mode_t kNewDirectoryMode = 0777;  // narrowed by the umask
constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr int kTemporaryNameAttempts = 100;

constexpr const char* kDefaultTemporaryPrefix = CAB_ARCHIVE_TEMPORARY_PREFIX;

std::string randomTemporaryName(const char* prefix) {
    thread_local std::mt19937 generator{std::random_device{}()};
    char name[32];
    std::snprintf(name, sizeof name, "%s%08x.part", prefix, unsigned(generator()));
    return name;
}

int createPlainFile(int directoryFd, const char* name, int flags, unsigned mode) {
    return openat(directoryFd, name, flags, mode_t(mode));
}

void nothingToForget() {}

void nothingToNote(int /*rootFd*/, const std::string& /*path*/) {}

const OutputHooks kPlainOutput{kDefaultTemporaryPrefix, createPlainFile, nothingToForget, nothingToNote};

static_assert(CAB_ARCHIVE_TEMPORARY_PREFIX_MAX + 8 + sizeof ".part" <= 32,
              "a temporary name fits randomTemporaryName's buffer");

// A handle of 0 would read as "skip this file" to the decoder; move it.
int avoidZero(int fd) {
    if (fd != 0) return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
    close(fd);
    return moved;
}

// Opens (creating when absent) the directory `name` below `parentFd`;
// `created` tells whether it was made here.
int openSubdirectory(int parentFd, const std::string& name, bool& created) {
    created = mkdirat(parentFd, name.c_str(), kNewDirectoryMode) == 0;
    if (!created && errno != EEXIST) return -1;
    return openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Opens the existing directory `path` below `rootFd` without following a
// symbolic link; -1 with errno set when it cannot.
int openExistingDirectory(int rootFd, const std::vector<std::string>& path) {
    int fd = fcntl(rootFd, F_DUPFD_CLOEXEC, 1);
    for (size_t i = 0; fd >= 0 && i < path.size(); ++i) {
        const int next = openat(fd, path[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int saved = errno;
        close(fd);
        errno = saved;
        fd = next;
    }
    return fd;
}

// Moves a closed temporary file to its final name in the same directory.
// Without replacing, whatever appeared under the final name meanwhile (a
// file, a link) stays: the rename refuses to overwrite it.
bool renameIntoPlace(int directoryFd, const std::string& temporaryName, const std::string& finalName,
                     bool replace, std::string& error) {
    if (renameat2(directoryFd, temporaryName.c_str(), directoryFd, finalName.c_str(),
                  replace ? 0 : RENAME_NOREPLACE) == 0) {
        return true;
    }
    error = errno == EEXIST ? std::string(kExistsKept)
                            : "cannot put the file in place: " + std::string(std::strerror(errno));
    return false;
}

}  // namespace

OutputHooks plainOutputHooks(const char* temporaryPrefix) {
    OutputHooks hooks = kPlainOutput;
    hooks.temporaryPrefix = temporaryPrefix;
    return hooks;
}

std::optional<OutputFile> OutputFile::create(int rootFd, const std::vector<std::string>& components,
                                             std::string& error, const OutputHooks* hooks) {
    OutputFile file;
    file.hooks_ = hooks != nullptr ? hooks : &kPlainOutput;
    file.directoryFd_ = fcntl(rootFd, F_DUPFD_CLOEXEC, 1);
    if (file.directoryFd_ < 0) {
        error = std::string(std::strerror(errno));
        return std::nullopt;
    }
    std::string reached;
    for (size_t i = 0; i + 1 < components.size(); ++i) {
        reached += components[i];
        bool created = false;
        const int next = openSubdirectory(file.directoryFd_, components[i], created);
        if (next < 0) {
            error = "cannot create directory '" + reached + "/': " + std::string(std::strerror(errno));
            return std::nullopt;
        }
        if (created) file.hooks_->directoryCreated(rootFd, reached);
        reached += "/";
        close(file.directoryFd_);
        file.directoryFd_ = next;
    }
    file.directories_.assign(components.begin(), components.end() - 1);
    file.finalName_ = components.back();

    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        file.temporaryName_ = randomTemporaryName(file.hooks_->temporaryPrefix);
        const int fd = file.hooks_->createFile(file.directoryFd_, file.temporaryName_.c_str(),
                                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                            kNewFileMode);
        if (fd >= 0) {
            file.fd_ = avoidZero(fd);
            if (file.fd_ < 0) {
                error = std::string(std::strerror(errno));
                file.removeTemporary();
                return std::nullopt;
            }
            return std::optional<OutputFile>(std::move(file));
        }
        if (errno != EEXIST) break;
    }
    error = "cannot create file: " + std::string(std::strerror(errno));
    file.temporaryName_.clear();
    return std::nullopt;
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : directoryFd_(other.directoryFd_),
      fd_(other.fd_),
      directories_(std::move(other.directories_)),
      temporaryName_(std::move(other.temporaryName_)),
      finalName_(std::move(other.finalName_)),
      finished_(other.finished_),
      hooks_(other.hooks_) {
    other.directoryFd_ = -1;
    other.fd_ = -1;
    other.finished_ = true;
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) close(fd_);
    if (!finished_) removeTemporary();
    if (directoryFd_ >= 0) close(directoryFd_);
}

void OutputFile::removeTemporary() {
    if (!temporaryName_.empty() && directoryFd_ >= 0) {
        unlinkat(directoryFd_, temporaryName_.c_str(), 0);
    }
    hooks_->fileFinished();
    finished_ = true;
}

bool OutputFile::exists() const {
    struct stat status;
    return fstatat(directoryFd_, finalName_.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

bool OutputFile::closeComplete(std::optional<std::time_t> modified, bool readOnly, std::string& error) {
    bool ok = true;
    if (modified) {
        const timespec times[2] = {{0, UTIME_OMIT}, {*modified, 0}};
        if (futimens(fd_, times) != 0) {
            error = "cannot set the modification time: " + std::string(std::strerror(errno));
            ok = false;
        }
    }
    struct stat status;
    if (ok && readOnly) {
        if (fstat(fd_, &status) != 0 || fchmod(fd_, (status.st_mode & 07777) & ~kWriteBits) != 0) {
            error = "cannot make the file read-only: " + std::string(std::strerror(errno));
            ok = false;
        }
    }
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0 && ok) {
        error = "cannot write the file: " + std::string(std::strerror(errno));
        ok = false;
    }
    if (!ok) removeTemporary();
    return ok;
}

bool OutputFile::commit(std::optional<std::time_t> modified, bool readOnly, std::string& error,
                        bool replace) {
    if (!closeComplete(modified, readOnly, error)) return false;
    if (!renameIntoPlace(directoryFd_, temporaryName_, finalName_, replace, error)) {
        removeTemporary();
        return false;
    }
    hooks_->fileFinished();
    finished_ = true;
    return true;
}

std::optional<FinishedFile> OutputFile::finish(std::optional<std::time_t> modified, bool readOnly,
                                               std::string& error, bool replace) {
    if (!closeComplete(modified, readOnly, error)) return std::nullopt;
    FinishedFile done{directories_, temporaryName_, finalName_, replace};
    hooks_->fileFinished();
    finished_ = true;
    close(directoryFd_);  // a file waiting to be placed holds no descriptor
    directoryFd_ = -1;
    return done;
}

bool placeFinishedFile(int rootFd, const FinishedFile& file, std::string& error) {
    const int directoryFd = openExistingDirectory(rootFd, file.directories);
    if (directoryFd < 0) {
        error = "cannot put the file in place: " + std::string(std::strerror(errno));
        return false;
    }
    const bool placed = renameIntoPlace(directoryFd, file.temporaryName, file.finalName, file.replace, error);
    if (!placed) unlinkat(directoryFd, file.temporaryName.c_str(), 0);
    close(directoryFd);
    return placed;
}

void removeFinishedFile(int rootFd, const FinishedFile& file) {
    const int directoryFd = openExistingDirectory(rootFd, file.directories);
    if (directoryFd < 0) return;
    unlinkat(directoryFd, file.temporaryName.c_str(), 0);
    close(directoryFd);
}

bool OutputFile::reopenPadded(uint64_t size, std::string& error) {
    fd_ = openat(directoryFd_, temporaryName_.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ >= 0 && ftruncate(fd_, off_t(size)) == 0) return true;
    error = "cannot complete the salvaged file: " + std::string(std::strerror(errno));
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    return false;
}

void OutputFile::discardClosed() {
    fd_ = -1;  // the decoder closed it
    removeTemporary();
}

}  // namespace cabarchive
