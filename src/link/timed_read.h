#pragma once
// One read of a reply from a terminal (POSIX), ended as its rule says: the gap after
// the last byte, a whole frame, the wait for a first byte, or the overall limit. The
// clock and the two system calls are passed in, so tests can step time themselves.

#include <poll.h>
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>

#include "serial_port.h"

namespace tarnwick::link {

struct ReadCalls {
  std::function<std::chrono::steady_clock::time_point()> now;
  std::function<int(pollfd* fds, nfds_t count, int timeoutMs)> poll;
  std::function<ssize_t(int fd, void* data, std::size_t size)> read;
};
ReadCalls SystemReadCalls();

ReadResult ReadByRule(int fd, FrameBuffer& buffer, const ReadRule& rule, const ReadCalls& calls = SystemReadCalls());

}  // namespace tarnwick::link
