#include "archive/extract/directory_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "archive/names/safe_name.h"
#include "archive/walk/dos_time.h"

namespace cabarchive {
namespace {
constexpr uint16_t kAttributeReadOnly = 0x01;
}  // namespace

std::optional<DirectoryTarget> DirectoryTarget::open(const char* directory,
                                                     const CabArchiveExtraction& request,
                                                     std::string& problem,
                                                     const CabArchiveEvents* events) {
    const int fd = ::open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        problem = std::string("cannot open directory '") + directory + "': " + std::strerror(errno);
        return std::nullopt;
    }
    DirectoryTarget target(fd, request.keepExisting != 0, request.lowercase != 0);
    if (events != nullptr && events->temporaryPrefix != nullptr) {
        target.naming_ = std::make_unique<Naming>();
        target.naming_->prefix = events->temporaryPrefix;
        target.naming_->hooks = plainOutputHooks(target.naming_->prefix.c_str());
    }
    return target;
}

DirectoryTarget::DirectoryTarget(DirectoryTarget&& other) noexcept
    : rootFd_(other.rootFd_),
      keepExisting_(other.keepExisting_),
      lowercase_(other.lowercase_),
      holding_(other.holding_),
      held_(std::move(other.held_)),
      output_(std::move(other.output_)),
      entry_(other.entry_),
      naming_(std::move(other.naming_)),
      madeDirectories_(std::move(other.madeDirectories_)),
      unheld_(std::move(other.unheld_)) {
    other.rootFd_ = -1;
}

DirectoryTarget::~DirectoryTarget() {
    output_.reset();
    if (rootFd_ >= 0) close(rootFd_);
}

Offer DirectoryTarget::begin(uint32_t /*index*/, const CabArchiveEntry& entry) {
    const SafeName place = outputPlace(entry.name, lowercase_);
    if (!place.usable()) return Offer{Offer::Action::Settle, CabOutcomeRefusedName, "refused: " + place.problem};
    // The directories missing now are the ones the file's creation makes.
    madeDirectories_.clear();
    std::string path;
    for (size_t c = 0; c + 1 < place.components.size(); ++c) {
        path += (c == 0 ? "" : "/") + place.components[c];
        struct stat status {};
        if (!madeDirectories_.empty() || fstatat(rootFd_, path.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            madeDirectories_.push_back(path);
        }
    }
    std::string problem;
    std::optional<OutputFile> created = OutputFile::create(rootFd_, place.components, problem,
                                                           naming_ ? &naming_->hooks : nullptr);
    if (!created) return Offer{Offer::Action::Settle, CabOutcomeOutputFailed, problem};
    if (keepExisting_ && created->exists()) return Offer{Offer::Action::Settle, CabOutcomeOutputFailed, kExistsKept};
    output_.emplace(std::move(*created));
    entry_ = entry;
    writeProblem_.clear();
    return Offer{};
}

bool DirectoryTarget::write(const uint8_t* data, uint32_t size) {
    if (!output_ || !writeProblem_.empty()) return true;
    uint32_t done = 0;
    while (done < size) {
        const ssize_t put = ::write(output_->handle(), data + done, size - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            writeProblem_ = "cannot write the file: " + std::string(put < 0 ? std::strerror(errno) : "no space");
            return true;
        }
        done += uint32_t(put);
    }
    return true;
}

bool DirectoryTarget::fillWithZeros(std::string& problem) {
    if (!output_ || !writeProblem_.empty()) return false;
    // The bytes written so far are kept; the file grows to its size with
    // zeros past them.
    if (ftruncate(output_->handle(), off_t(entry_.size)) == 0) return true;
    problem = "cannot complete the salvaged file: " + std::string(std::strerror(errno));
    return false;
}

int32_t DirectoryTarget::end(uint32_t index, int32_t outcome, std::string& reason) {
    if (!output_) return outcome;
    const bool complete = outcome == CabOutcomeExtracted || outcome == CabOutcomeSalvaged;
    bool heldIt = false;
    if (complete && !writeProblem_.empty()) {
        reason = writeProblem_;
        outcome = CabOutcomeOutputFailed;
    } else if (complete) {
        std::string problem;
        const bool readOnly = (entry_.attributes & kAttributeReadOnly) != 0;
        const std::optional<std::time_t> modified = dosToLocalTime(entry_.dosDate, entry_.dosTime);
        bool done = false;
        if (!holding_) {
            done = output_->commit(modified, readOnly, problem, !keepExisting_);
        } else {
            // Room first: a file once finished is never lost for want of memory.
            held_.reserve(held_.size() + 1);
            HeldFile held{index, FinishedFile{}, madeDirectories_};
            std::optional<FinishedFile> finished = output_->finish(modified, readOnly, problem, !keepExisting_);
            if (finished) {
                held.file = std::move(*finished);
                held_.push_back(std::move(held));
                done = true;
                heldIt = true;
            }
        }
        if (!done) {
            reason = problem;
            outcome = CabOutcomeOutputFailed;
        }
    }
    output_.reset();  // an incomplete file's temporary is removed
    // A worker's directories outlive an entry that left no held file when
    // another worker's file is inside them: whether they stay is decided
    // once the extraction knows which entries one pass would have begun.
    if (holding_ && !heldIt) unheld_.insert(unheld_.end(), madeDirectories_.begin(), madeDirectories_.end());
    if (outcome == CabOutcomeStopped) removeEmptyDirectories();
    return outcome;
}

void DirectoryTarget::removeEmptyDirectories() {
    for (auto made = madeDirectories_.rbegin(); made != madeDirectories_.rend(); ++made) {
        unlinkat(rootFd_, made->c_str(), AT_REMOVEDIR);  // fails, as it should, unless empty
    }
    madeDirectories_.clear();
}

}  // namespace cabarchive
