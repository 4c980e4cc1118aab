// The C runtime's low-level file functions with the Windows CRT's flags.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/hooks.h"
#include "platform/paths.h"
#include "platform/win32.h"

namespace {

constexpr int kAccessMask = _O_RDONLY | _O_WRONLY | _O_RDWR;
constexpr int kKnownFlags = kAccessMask | _O_APPEND | _O_RANDOM | _O_SEQUENTIAL | _O_TEMPORARY |
                            _O_NOINHERIT | _O_CREAT | _O_TRUNC | _O_EXCL | _O_SHORT_LIVED |
                            _O_TEXT | _O_BINARY;

// POSIX open flags for Windows CRT flags; -1 for a combination the CRT
// rejects.  Text mode is accepted and behaves as binary: no CR/LF
// translation happens on Linux.  Access hints are dropped.
int posixFlags(int flags) {
  if ((flags & ~kKnownFlags) != 0) return -1;
  int result = 0;
  switch (flags & kAccessMask) {
    case _O_RDONLY: result = O_RDONLY; break;
    case _O_WRONLY: result = O_WRONLY; break;
    case _O_RDWR: result = O_RDWR; break;
    default: return -1;
  }
  if (flags & _O_APPEND) result |= O_APPEND;
  if (flags & _O_CREAT) result |= O_CREAT;
  if (flags & _O_TRUNC) result |= O_TRUNC;
  if (flags & _O_EXCL) result |= O_EXCL;
  if (flags & _O_NOINHERIT) result |= O_CLOEXEC;
  return result;
}

bool writes(int posix) { return (posix & O_ACCMODE) != O_RDONLY || (posix & O_TRUNC); }

bool exists(const std::string& file) {
  struct stat st {};
  return stat(file.c_str(), &st) == 0;
}

// Takes up to `wanted` bytes of the space tests may limit; returns how many
// may be written (all of them when there is no limit).
std::size_t claimDiskSpace(std::size_t wanted) {
  long long& space = platform::testHooks().diskSpace;
  if (space < 0) return wanted;
  const std::size_t granted =
      static_cast<unsigned long long>(space) < wanted ? static_cast<std::size_t>(space) : wanted;
  space -= static_cast<long long>(granted);
  return granted;
}

// Writes what the disk has room for: all of it, a first part (its length is
// returned), or nothing (-1 with ENOSPC), as a filling disk does.
ssize_t writeWithinSpace(int fd, const void* buffer, std::size_t count) {
  const std::size_t granted = claimDiskSpace(count);
  if (granted == 0 && count > 0) {
    errno = ENOSPC;
    return -1;
  }
  const ssize_t written = ::write(fd, buffer, granted);
  // Space not used by a failed or short write is not lost.
  const std::size_t used = written > 0 ? static_cast<std::size_t>(written) : 0;
  long long& space = platform::testHooks().diskSpace;
  if (space >= 0) space += static_cast<long long>(granted - used);
  return written;
}

ssize_t writeStream(void* cookie, const char* buffer, std::size_t count) {
  const int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(cookie));
  const ssize_t written = writeWithinSpace(fd, buffer, count);
  // The stream takes a short write for an error: say which.
  if (written >= 0 && static_cast<std::size_t>(written) < count) errno = ENOSPC;
  return written;
}
ssize_t readStream(void* cookie, char* buffer, std::size_t count) {
  return ::read(static_cast<int>(reinterpret_cast<std::intptr_t>(cookie)), buffer, count);
}
int seekStream(void* cookie, off64_t* offset, int origin) {
  const off64_t position =
      ::lseek64(static_cast<int>(reinterpret_cast<std::intptr_t>(cookie)), *offset, origin);
  if (position < 0) return -1;
  *offset = position;
  return 0;
}
int closeStream(void* cookie) { return ::close(static_cast<int>(reinterpret_cast<std::intptr_t>(cookie))); }

// A stream whose writes count against the limited disk space.
FILE* openLimitedStream(const std::string& file, const char* mode) {
  FILE* plain = std::fopen(file.c_str(), mode);
  if (!plain) return nullptr;
  const int fd = ::dup(fileno(plain));
  std::fclose(plain);
  if (fd < 0) return nullptr;
  FILE* stream = fopencookie(reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)), mode,
                             cookie_io_functions_t{readStream, writeStream, seekStream, closeStream});
  if (!stream) ::close(fd);
  return stream;
}

}  // namespace

int _open(const char* path, int flags, int permissions) {
  const int posix = posixFlags(flags);
  if (path == nullptr || posix < 0) {
    errno = EINVAL;
    return -1;
  }
  const std::string file = platform::posixPath(path);
  if (writes(posix) && platform::isReadOnlyFile(file)) {
    errno = EACCES;
    return -1;
  }
  if ((posix & O_CREAT) && !exists(file) && platform::isInReadOnlyDirectory(file)) {
    errno = EACCES;
    return -1;
  }
  // A new file is read-only unless the caller allows writing it.
  const mode_t mode = (permissions & _S_IWRITE) ? 0666 : 0444;
  const int fd = ::open(file.c_str(), posix, mode);
  if (fd < 0) return -1;
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    // The CRT cannot open a directory as a file.
    ::close(fd);
    errno = EACCES;
    return -1;
  }
  if (flags & _O_TEMPORARY) ::unlink(file.c_str());  // gone once closed
  return fd;
}

int _read(int fd, void* buffer, unsigned int count) {
  if (count > INT_MAX) {
    errno = EINVAL;
    return -1;
  }
  return static_cast<int>(::read(fd, buffer, count));
}

int _write(int fd, const void* buffer, unsigned int count) {
  if (count > INT_MAX) {
    errno = EINVAL;
    return -1;
  }
  return static_cast<int>(writeWithinSpace(fd, buffer, count));
}

int _close(int fd) { return ::close(fd); }

long _lseek(int fd, long offset, int origin) {
  if (origin != SEEK_SET && origin != SEEK_CUR && origin != SEEK_END) {
    errno = EINVAL;
    return -1;
  }
  const off_t position = ::lseek(fd, offset, origin);
  // The CRT's positions are 32-bit.
  if (position > static_cast<off_t>(INT32_MAX)) {
    errno = EINVAL;
    return -1;
  }
  return static_cast<long>(position);
}

int _chsize(int fd, long size) {
  if (size < 0) {
    errno = EINVAL;
    return -1;
  }
  return ::ftruncate(fd, size);
}

FILE* win32Fopen(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  const std::string file = platform::posixPath(path);
  const bool writing = std::strpbrk(mode, "wa+") != nullptr;
  if (writing && platform::isReadOnlyFile(file)) {
    errno = EACCES;
    return nullptr;
  }
  if (writing && !exists(file) && platform::isInReadOnlyDirectory(file)) {
    errno = EACCES;
    return nullptr;
  }
  if (writing && platform::testHooks().diskSpace >= 0) return openLimitedStream(file, mode);
  return std::fopen(file.c_str(), mode);
}
