// Environment variables, looked up without regard to case as on Windows.
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <unistd.h>

#include "platform/win32.h"

namespace {

// The value of `name`: an entry whose name matches exactly wins over one
// that matches only without regard to case, so a Linux environment holding
// both TEMP and temp still answers each by its own spelling.  The name is
// compared before its '=' is looked for, so an entry shorter than the name
// is never read past its end.
const char* findVariable(const char* name) {
  const std::size_t length = std::strlen(name);
  if (length == 0 || std::strchr(name, '=') != nullptr) return nullptr;
  const char* caseless = nullptr;
  for (char** entry = environ; entry && *entry; ++entry) {
    const char* e = *entry;
    if (strncasecmp(e, name, length) != 0 || e[length] != '=') continue;
    if (std::strncmp(e, name, length) == 0) return e + length + 1;
    if (!caseless) caseless = e + length + 1;
  }
  return caseless;
}

// A Windows system always has a temporary directory.  When the environment
// names neither "temp" nor "tmp", both answer with Linux's own: TMPDIR, or
// else /tmp.
const char* temporaryDirectoryDefault(const char* name) {
  if (strcasecmp(name, "temp") != 0 && strcasecmp(name, "tmp") != 0) return nullptr;
  if (findVariable("temp") || findVariable("tmp")) return nullptr;
  const char* tmpdir = std::getenv("TMPDIR");
  return tmpdir && *tmpdir ? tmpdir : "/tmp";
}

}  // namespace

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
  const char* value = name ? findVariable(name) : nullptr;
  if (!value && name) value = temporaryDirectoryDefault(name);
  if (!value) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  const std::size_t length = std::strlen(value);
  if (buffer == nullptr || length >= size) {
    // Too small: the size needed, terminating NUL included; nothing written.
    return static_cast<DWORD>(length + 1);
  }
  std::memcpy(buffer, value, length + 1);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(length);
}
