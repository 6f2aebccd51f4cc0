#pragma once
// Writing to a non-blocking terminal by a deadline (POSIX). Every pass checks the
// deadline, and a line that poll calls writable but that takes nothing is given
// short, growing pauses instead of being spun on.

#include <poll.h>
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tarnwick::link {

// The two system calls a bounded write makes; tests stand in for them.
struct WriteCalls {
  ssize_t (*write)(int fd, const void* data, std::size_t size);
  int (*poll)(pollfd* fds, nfds_t count, int timeoutMs);
};
WriteCalls SystemWriteCalls();

// Writes every byte to fd by deadline. Returns "", or why not and how far it got:
// "the line took no more bytes in time after 2 of 5 bytes".
std::string WriteBefore(int fd, std::span<const std::uint8_t> bytes, std::chrono::steady_clock::time_point deadline,
                        const WriteCalls& calls = SystemWriteCalls());

}  // namespace tarnwick::link
