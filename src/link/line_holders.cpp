#include "line_holders.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <mutex>
#include <sstream>

namespace tarnwick::link {
namespace {

// A line of /proc/locks: "1: FLOCK  ADVISORY  WRITE 4416 00:1a:3 0 EOF"; a process
// waiting for a lock has "->" after the number and holds nothing.
std::optional<pid_t> HolderOf(const std::string& line, const struct stat& file) {
  std::istringstream words(line);
  std::string number, kind, mode, access, device;
  pid_t pid = 0;
  if (!(words >> number >> kind) || kind == "->") return std::nullopt;
  if (!(words >> mode >> access >> pid >> device)) return std::nullopt;
  unsigned int major = 0, minor = 0;
  unsigned long inode = 0;
  if (std::sscanf(device.c_str(), "%x:%x:%lu", &major, &minor, &inode) != 3) return std::nullopt;
  if (major != major(file.st_dev) || minor != minor(file.st_dev) || inode != file.st_ino) return std::nullopt;
  return pid;
}

std::optional<std::vector<pid_t>> LockHoldersOf(const struct stat& file) {
  std::ifstream locks("/proc/locks");
  if (!locks) return std::nullopt;
  std::vector<pid_t> holders;
  for (std::string line; std::getline(locks, line);)
    if (const auto pid = HolderOf(line, file)) holders.push_back(*pid);
  return holders;
}

// fd + 1 of each remembered line; 0 is a free slot. Read by signal handlers, so
// lock-free and of fixed size: a process holds one or two lines at a time.
constexpr std::size_t kMostHeldLines = 16;
std::array<std::atomic<int>, kMostHeldLines> heldLines{};

// Async-signal-safe: atomics and ioctl only.
void ReleaseHeldLines() {
  for (auto& slot : heldLines)
    if (const int fdPlusOne = slot.exchange(0)) ::ioctl(fdPlusOne - 1, TIOCNXCL);
}

void ReleaseThenEnd(int signal) {
  ReleaseHeldLines();
  ::raise(signal);  // the handler was reset on entry: the default action follows its return
}

std::terminate_handler previousTerminate = nullptr;

void ReleaseThenTerminate() {
  ReleaseHeldLines();
  if (previousTerminate) previousTerminate();
  std::abort();
}

void ReleaseHeldLinesOnEveryExit() {
  std::atexit(ReleaseHeldLines);
  previousTerminate = std::set_terminate(ReleaseThenTerminate);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGABRT}) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) < 0 || current.sa_handler != SIG_DFL) continue;
    struct sigaction action {};
    action.sa_handler = ReleaseThenEnd;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
  }
}

}  // namespace

std::optional<std::vector<pid_t>> LockHoldersOf(int fd) {
  struct stat file {};
  if (::fstat(fd, &file) < 0) return std::nullopt;
  return LockHoldersOf(file);
}

std::string DescribeLockHolder(const std::string& path) {
  struct stat file {};
  if (::stat(path.c_str(), &file) < 0) return {};
  const auto holders = LockHoldersOf(file);
  if (!holders) return {};
  for (const pid_t pid : *holders) {
    if (pid <= 0 || pid == ::getpid()) continue;
    std::ifstream commFile("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(commFile, name);
    return (name.empty() ? std::string("process ") : name + ", process ") + std::to_string(pid);
  }
  return {};
}

void RememberHeldLine(int fd) {
  static std::once_flag installed;
  std::call_once(installed, ReleaseHeldLinesOnEveryExit);
  for (auto& slot : heldLines) {
    int expected = 0;
    if (slot.compare_exchange_strong(expected, fd + 1)) return;
  }
}

void ForgetHeldLine(int fd) {
  for (auto& slot : heldLines) {
    int expected = fd + 1;
    if (slot.compare_exchange_strong(expected, 0)) return;
  }
}

}  // namespace tarnwick::link
