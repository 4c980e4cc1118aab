// Environment variables, looked up without regard to case as on Windows.
#include <cstring>
#include <strings.h>
#include <unistd.h>

#include "platform/win32.h"

namespace {

// The value of `name`: an entry whose name matches exactly wins over one
// that matches only without regard to case, so a Linux environment holding
// both TEMP and temp still answers each by its own spelling.
const char* findVariable(const char* name) {
  const std::size_t length = std::strlen(name);
  if (length == 0 || std::strchr(name, '=') != nullptr) return nullptr;
  const char* caseless = nullptr;
  for (char** entry = environ; entry && *entry; ++entry) {
    const char* e = *entry;
    if (e[length] != '=') continue;
    if (std::strncmp(e, name, length) == 0) return e + length + 1;
    if (!caseless && strncasecmp(e, name, length) == 0) caseless = e + length + 1;
  }
  return caseless;
}

}  // namespace

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
  const char* value = name ? findVariable(name) : nullptr;
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
