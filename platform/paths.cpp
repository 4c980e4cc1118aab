#include "platform/paths.h"

namespace platform {

std::string posixPath(const char* windowsPath) {
  std::string path = windowsPath ? windowsPath : "";
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

bool isReadOnlyMode(mode_t mode) { return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

bool isReadOnlyFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && isReadOnlyMode(st.st_mode);
}

bool isInReadOnlyDirectory(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string directory =
      slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  struct stat st {};
  return stat(directory.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && isReadOnlyMode(st.st_mode);
}

}  // namespace platform
