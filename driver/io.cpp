#include "driver/io.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace Kelp {

long readInput(int fd, char* buffer, std::size_t capacity) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, capacity);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) return -1;
  }
}

bool writeBytes(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

void ignoreBrokenPipe() {
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace Kelp
