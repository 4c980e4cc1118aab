// ShellExecuteA: web links go to the desktop's opener; nothing else is run
// on Linux, only reported.
#include <cstdlib>
#include <string>
#include <strings.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/front_end.h"
#include "platform/paths.h"
#include "platform/hooks.h"

namespace {

constexpr std::intptr_t kShellSuccess = 42;       // any value above 32 means success
constexpr std::intptr_t kNoAssociation = 31;      // SE_ERR_NOASSOC
constexpr std::intptr_t kFileNotFound = 2;        // SE_ERR_FNF
constexpr const char* kDesktopOpener = "xdg-open";

std::string text(LPCSTR value) { return value ? value : ""; }

bool isWebLink(const std::string& file) {
  return strncasecmp(file.c_str(), "http://", 7) == 0 || strncasecmp(file.c_str(), "https://", 8) == 0;
}

bool onPath(const char* program) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string directories = path;
  std::size_t start = 0;
  while (start <= directories.size()) {
    const std::size_t end = directories.find(':', start);
    const std::string directory =
        directories.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const std::string candidate = (directory.empty() ? "." : directory) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

bool haveDesktop() {
  return (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")) && onPath(kDesktopOpener);
}

// Starts the opener detached from this process and from the terminal, so
// that it neither outlives us as a zombie nor draws over the front end.
bool launchDetached(const std::string& target) {
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    setsid();
    if (fork() == 0) {
      const int null = open("/dev/null", O_RDWR);
      if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
      }
      execlp(kDesktopOpener, kDesktopOpener, target.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return true;
}

}  // namespace

HINSTANCE ShellExecuteA(HWND hwnd, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                        INT showCommand) {
  platform::TestHooks& hooks = platform::testHooks();
  if (hooks.shellRecorder) {
    hooks.shellRecorder(hwnd, text(verb), text(file), text(parameters), text(directory), showCommand);
    return reinterpret_cast<HINSTANCE>(kShellSuccess);
  }
  if (file == nullptr) return reinterpret_cast<HINSTANCE>(kFileNotFound);
  const std::string target = file;
  const std::string action = verb && *verb ? verb : "open";
  platform::FrontEnd& frontEnd = platform::FrontEnd::instance();
  if (isWebLink(target) && haveDesktop() && launchDetached(target)) {
    frontEnd.announce("shell: " + action + " " + target + " (with " + kDesktopOpener + ")");
    return reinterpret_cast<HINSTANCE>(kShellSuccess);
  }
  std::string description = "shell: would " + action + " \"" + target + "\"";
  if (parameters && *parameters) description += " with parameters \"" + text(parameters) + "\"";
  // Paths are shown the way Linux writes them.
  if (directory && *directory) description += " in \"" + platform::posixPath(directory) + "\"";
  description += isWebLink(target) ? " (no desktop to open it)" : " (not run on Linux)";
  frontEnd.announce(description);
  return reinterpret_cast<HINSTANCE>(kNoAssociation);
}
