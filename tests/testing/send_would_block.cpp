// Preloaded into tarnwick-cli by a test: every send() says "try again", as a
// socket that poll calls writable may, so that only the sender's deadline ends it.
#include <sys/socket.h>

#include <cerrno>

extern "C" ssize_t send(int, const void*, size_t, int) {
  errno = EAGAIN;
  return -1;
}
