// Kernel file functions: open by path, close, delete, rename, attributes.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/errors.h"
#include "platform/file_handles.h"
#include "platform/hooks.h"
#include "platform/paths.h"

namespace {

// Handles are small counters dressed as pointers, never reused, so that a
// stale or made-up handle is recognised instead of being dereferenced.
std::map<HANDLE, platform::FileHandle>& openFiles() {
  static std::map<HANDLE, platform::FileHandle> files;
  return files;
}

HANDLE nextHandle() {
  static std::uintptr_t counter = 0x100;
  counter += 4;
  return reinterpret_cast<HANDLE>(counter);
}

bool fail(DWORD error) {
  SetLastError(error);
  return false;
}

mode_t currentUmask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

}  // namespace

namespace platform {

FileHandle* findFileHandle(HANDLE handle) {
  auto it = openFiles().find(handle);
  if (it == openFiles().end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return &it->second;
}

}  // namespace platform

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD /*shareMode: POSIX has no sharing locks*/,
                   LPSECURITY_ATTRIBUTES /*security*/, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE /*templateFile*/) {
  if (path == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  int flags = 0;
  switch (access & (GENERIC_READ | GENERIC_WRITE)) {
    case GENERIC_READ | GENERIC_WRITE: flags = O_RDWR; break;
    case GENERIC_WRITE: flags = O_WRONLY; break;
    default: flags = O_RDONLY; break;
  }
  switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
  const std::string file = platform::posixPath(path);
  struct stat st {};
  const bool exists = stat(file.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode) && !(flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (exists && S_ISREG(st.st_mode) && platform::isReadOnlyMode(st.st_mode) &&
      ((access & GENERIC_WRITE) || (flags & O_TRUNC))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (!exists && (flags & O_CREAT) && platform::isInReadOnlyDirectory(file)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  const mode_t mode = (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  const int fd = ::open(file.c_str(), flags | O_CLOEXEC, mode);
  if (fd < 0) {
    platform::setLastErrorFromErrno();
    return INVALID_HANDLE_VALUE;
  }
  const HANDLE handle = nextHandle();
  openFiles()[handle] = platform::FileHandle{fd, access};
  // As on Windows, opening an existing file with OPEN_ALWAYS/CREATE_ALWAYS
  // succeeds with ERROR_ALREADY_EXISTS as the last error.
  const bool reportsExisting = disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS;
  SetLastError(exists && reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

BOOL CloseHandle(HANDLE handle) {
  platform::FileHandle* file = platform::findFileHandle(handle);
  if (!file) return FALSE;
  const int result = ::close(file->fd);
  openFiles().erase(handle);
  if (result != 0) {
    platform::setLastErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

BOOL DeleteFileA(LPCSTR path) {
  if (path == nullptr) return fail(ERROR_INVALID_PARAMETER);
  const std::string file = platform::posixPath(path);
  struct stat st {};
  if (lstat(file.c_str(), &st) != 0) {
    platform::setLastErrorFromErrno();
    return FALSE;
  }
  if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && platform::isReadOnlyMode(st.st_mode)) ||
      platform::isInReadOnlyDirectory(file)) {
    return fail(ERROR_ACCESS_DENIED);
  }
  if (::unlink(file.c_str()) != 0) {
    platform::setLastErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

namespace {

BOOL moveFile(LPCSTR existing, LPCSTR replacement, DWORD flags) {
  if (existing == nullptr || replacement == nullptr) return fail(ERROR_INVALID_PARAMETER);
  const std::string from = platform::posixPath(existing);
  const std::string to = platform::posixPath(replacement);
  struct stat source {};
  if (lstat(from.c_str(), &source) != 0) {
    platform::setLastErrorFromErrno();
    return FALSE;
  }
  struct stat target {};
  if (lstat(to.c_str(), &target) == 0) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) return fail(ERROR_ALREADY_EXISTS);
    // Windows never replaces a directory or a read-only file.
    if (S_ISDIR(target.st_mode) || platform::isReadOnlyMode(target.st_mode)) {
      return fail(ERROR_ACCESS_DENIED);
    }
  }
  if (platform::isInReadOnlyDirectory(from) || platform::isInReadOnlyDirectory(to)) {
    return fail(ERROR_ACCESS_DENIED);
  }
  // rename() replaces atomically; the check above and the rename are not
  // one step, which matches Windows closely enough for one process.
  if (::rename(from.c_str(), to.c_str()) != 0) {
    platform::setLastErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

}  // namespace

BOOL MoveFileExA(LPCSTR existing, LPCSTR replacement, DWORD flags) {
  if (!platform::testHooks().moveFileExAvailable) return fail(ERROR_CALL_NOT_IMPLEMENTED);
  return moveFile(existing, replacement, flags);
}

// Present on every Windows version; never replaces an existing file.
BOOL MoveFileA(LPCSTR existing, LPCSTR replacement) { return moveFile(existing, replacement, 0); }

DWORD GetFileAttributesA(LPCSTR path) {
  if (path == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_FILE_ATTRIBUTES;
  }
  struct stat st {};
  if (stat(platform::posixPath(path).c_str(), &st) != 0) {
    platform::setLastErrorFromErrno();
    return INVALID_FILE_ATTRIBUTES;
  }
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  // POSIX keeps no archive bit; a file written on Windows carries it, so it
  // is always reported.
  DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
  if (platform::isReadOnlyMode(st.st_mode)) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes;
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
  if (path == nullptr) return fail(ERROR_INVALID_PARAMETER);
  const std::string file = platform::posixPath(path);
  struct stat st {};
  if (stat(file.c_str(), &st) != 0) {
    platform::setLastErrorFromErrno();
    return FALSE;
  }
  // Only the read-only bit of a regular file has a POSIX home; hidden,
  // system, archive and the rest are accepted and dropped.
  if (!S_ISREG(st.st_mode)) return TRUE;
  mode_t mode = st.st_mode & 07777;
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else if (platform::isReadOnlyMode(mode)) {
    // Writable again: the owner, and whoever else the umask lets write.
    mode |= S_IWUSR | (static_cast<mode_t>(S_IWGRP | S_IWOTH) & ~currentUmask());
  }
  if (mode != (st.st_mode & 07777) && chmod(file.c_str(), mode) != 0) {
    platform::setLastErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}
