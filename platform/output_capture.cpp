#include "platform/output_capture.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

int OutputCapture::start() {
  if (active()) return savedOutput_;
  std::fflush(stdout);
  int ends[2];
  if (pipe(ends) != 0) return -1;
  savedOutput_ = dup(STDOUT_FILENO);
  if (savedOutput_ < 0 || dup2(ends[1], STDOUT_FILENO) < 0) {
    if (savedOutput_ >= 0) close(savedOutput_);
    close(ends[0]);
    close(ends[1]);
    savedOutput_ = -1;
    return -1;
  }
  close(ends[1]);
  // Neither side may block the program: a writer finding the pipe full
  // loses the excess rather than hang, the reader takes what is there.
  fcntl(ends[0], F_SETFL, fcntl(ends[0], F_GETFL) | O_NONBLOCK);
  fcntl(STDOUT_FILENO, F_SETFL, fcntl(STDOUT_FILENO, F_GETFL) | O_NONBLOCK);
  fcntl(ends[0], F_SETFD, FD_CLOEXEC);
  fcntl(savedOutput_, F_SETFD, FD_CLOEXEC);
  readEnd_ = ends[0];
  return savedOutput_;
}

std::string OutputCapture::take() {
  std::string text;
  if (!active()) return text;
  std::fflush(stdout);
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(readEnd_, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return text;
    }
  }
}

std::string OutputCapture::stop() {
  if (!active()) return "";
  std::string rest = take();
  dup2(savedOutput_, STDOUT_FILENO);
  close(savedOutput_);
  close(readEnd_);
  savedOutput_ = -1;
  readEnd_ = -1;
  return rest;
}

}  // namespace platform
