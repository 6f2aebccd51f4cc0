#include "bounded_write.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace tarnwick::link {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kFirstPause{1};
constexpr milliseconds kLongestPause{16};

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

ssize_t SystemWrite(int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }
int SystemPoll(pollfd* fds, nfds_t count, int timeoutMs) { return ::poll(fds, count, timeoutMs); }

}  // namespace

WriteCalls SystemWriteCalls() { return {SystemWrite, SystemPoll}; }

std::string WriteBefore(int fd, std::span<const std::uint8_t> bytes, Clock::time_point deadline,
                        const WriteCalls& calls) {
  const std::size_t total = bytes.size();
  const auto stoppedShort = [&](const std::string& why) {
    return why + " after " + std::to_string(total - bytes.size()) + " of " + std::to_string(total) + " bytes";
  };
  auto pause = kFirstPause;
  bool pollSaidWritable = false;
  while (!bytes.empty()) {
    if (Clock::now() >= deadline) return stoppedShort("the line took no more bytes in time");
    const ssize_t put = calls.write(fd, bytes.data(), bytes.size());
    if (put > 0) {
      bytes = bytes.subspan(std::min(static_cast<std::size_t>(put), bytes.size()));
      pause = kFirstPause;
      pollSaidWritable = false;
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
      return stoppedShort(std::string("write failed: ") + std::strerror(errno));
    // Nothing taken although poll said the line was writable: without a pause
    // this loop would spin until the deadline.
    if (pollSaidWritable) {
      std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - Clock::now()));
      pause = std::min(pause * 2, kLongestPause);
    }
    pollfd p{fd, POLLOUT, 0};
    const int ready = calls.poll(&p, 1, RemainingMs(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) return stoppedShort("the line took no more bytes in time");
    if (ready < 0) return stoppedShort(std::string("waiting to write failed: ") + std::strerror(errno));
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return stoppedShort("the line hung up");
    pollSaidWritable = true;
  }
  return {};
}

}  // namespace tarnwick::link
