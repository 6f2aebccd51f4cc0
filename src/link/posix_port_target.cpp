// What a port path must not be on POSIX systems: a stopped simulated board's entry,
// anything but a character device, or the terminal this program runs in.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <system_error>

#include "posix_port_list.h"
#include "serial_port.h"
#include "sim_registry.h"
#include "unique_fd.h"

namespace tarnwick::link {
namespace {

bool IsDevice(const struct stat& st, dev_t device) { return S_ISCHR(st.st_mode) && st.st_rdev == device; }

// The terminal that controls this process, which /dev/tty stands for.
bool IsControllingTerminal(dev_t device) {
#ifdef TIOCGDEV
  const UniqueFd tty(::open("/dev/tty", O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  unsigned int encoded = 0;
  if (!tty || ::ioctl(tty.Get(), TIOCGDEV, &encoded) < 0) return false;
  // The kernel's encoding: minor bits 0-7 and 20-31, major bits 8-19.
  const unsigned int majorNumber = (encoded >> 8) & 0xFFF;
  const unsigned int minorNumber = (encoded & 0xFF) | ((encoded >> 12) & 0xFFF00);
  return device == makedev(majorNumber, minorNumber);
#else
  (void)device;
  return false;
#endif
}

bool IsOwnTerminal(dev_t device) {
  struct stat st {};
  if (::stat("/dev/tty", &st) == 0 && IsDevice(st, device)) return true;
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
    if (::isatty(fd) && ::fstat(fd, &st) == 0 && IsDevice(st, device)) return true;
  return IsControllingTerminal(device);
}

}  // namespace

OpenError CheckPortTarget(const std::string& path) {
  const std::filesystem::path entry = RegistryEntryOf(path, SimRegistryDir());
  std::error_code ec;
  if (!entry.empty() && std::filesystem::is_symlink(entry, ec) && !BoardRunning(entry))
    return {OpenFailure::BoardStopped, "its board no longer holds " + SimLockPath(entry).filename().string()};
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};  // opening it says why
  if (!S_ISCHR(st.st_mode)) return {OpenFailure::NotASerialPort, "not a character device"};
  if (IsOwnTerminal(st.st_rdev)) return {OpenFailure::OwnTerminal, "the terminal this program runs in"};
  return {};
}

}  // namespace tarnwick::link
