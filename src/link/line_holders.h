#pragma once
// Who holds a line, and the lines this process holds, on POSIX systems.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace tarnwick::link {

// The processes holding a lock on the file open as fd, as the kernel lists them in
// /proc/locks; nothing when that list cannot be read. Reading it takes no lock, so
// asking never gets in the way of a program opening the line.
std::optional<std::vector<pid_t>> LockHoldersOf(int fd);
// "tarnwick-cli, process 4416" for a process holding a lock on the file at path;
// "" when none can be named.
std::string DescribeLockHolder(const std::string& path);

// While a descriptor is remembered, the terminal's exclusive mode is cleared on
// every way this process can end that runs code: a return from main, exit, an
// uncaught exception, and the signals whose default action ends it (where the
// program has left them at their default). Remembering the first line installs the
// handlers.
void RememberHeldLine(int fd);
void ForgetHeldLine(int fd);

}  // namespace tarnwick::link
