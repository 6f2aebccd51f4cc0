#include "timed_read.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <span>

namespace tarnwick::link {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

ReadCalls SystemReadCalls() {
  return {Clock::now, ::poll, ::read};
}

ReadResult ReadByRule(int fd, FrameBuffer& buffer, const ReadRule& rule, const ReadCalls& calls) {
  const auto start = calls.now();
  const auto overall = start + milliseconds(kReadTotalMs);
  const auto firstByte = start + milliseconds(std::clamp(rule.firstByteMs, 0, kReadTotalMs));
  const auto remainingMs = [&](Clock::time_point deadline) {
    const auto left = std::chrono::ceil<milliseconds>(deadline - calls.now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
  };
  const std::size_t limit = std::min(buffer.size(), rule.byteLimit);
  std::size_t count = 0;
  while (count < limit) {
    const int wait = count == 0 ? remainingMs(firstByte) : std::min(kInterByteGapMs, remainingMs(overall));
    pollfd p{fd, POLLIN, 0};
    const int ready = calls.poll(&p, 1, wait);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return {false, count};
    }
    if (ready == 0) break;  // the gap after a byte, or a time limit
    if (p.revents & POLLIN) {
      const ssize_t got = calls.read(fd, buffer.data() + count, limit - count);
      if (got > 0) {
        count += static_cast<std::size_t>(got);
        if (ReadIsComplete(std::span(buffer).first(count), rule)) break;
        continue;
      }
      if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      return {false, count};  // end of file or an I/O error: the line is gone
    }
    return {false, count};  // POLLHUP, POLLERR or POLLNVAL without data
  }
  return {true, count};
}

}  // namespace tarnwick::link
