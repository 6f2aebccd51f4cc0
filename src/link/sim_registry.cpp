#include "sim_registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "unique_fd.h"

namespace tarnwick::link {
namespace fs = std::filesystem;
namespace {

// Links deeper than this are not followed to the registry.
constexpr int kMostLinksFollowed = 8;

bool IsOurLink(const fs::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && st.st_uid == ::getuid();
}

// True while the board behind link runs. A gone board's link and lock file are
// removed under the lock (the link first, so a board registering the name anew
// at this moment never loses its fresh link).
bool KeepIfRunning(const fs::path& link) {
  const fs::path lockPath = SimLockPath(link);
  UniqueFd lock(::open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (lock && ::flock(lock.Get(), LOCK_SH | LOCK_NB) < 0) return errno == EWOULDBLOCK;
  if (lock && !LockStillNamed(lock.Get(), lockPath)) return false;  // re-registered meanwhile: next scan
  std::error_code ec;
  fs::remove(link, ec);
  if (lock) fs::remove(lockPath, ec);
  return false;
}

}  // namespace

fs::path SimLockPath(const fs::path& link) {
  fs::path lock = link;
  return lock += ".lock";
}

bool LockStillNamed(int fd, const fs::path& lockPath) {
  struct stat open {}, named {};
  return ::fstat(fd, &open) == 0 && ::lstat(lockPath.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

fs::path RegistryEntryOf(const fs::path& path, const fs::path& registry) {
  std::error_code ec;
  const fs::path directory = fs::weakly_canonical(registry, ec);
  fs::path hop = fs::absolute(path, ec);
  for (int i = 0; i < kMostLinksFollowed && !ec && hop.has_filename(); ++i) {
    if (fs::weakly_canonical(hop.parent_path(), ec) == directory && !ec) return directory / hop.filename();
    if (!fs::is_symlink(hop, ec)) break;
    const fs::path target = fs::read_symlink(hop, ec);
    hop = target.is_absolute() ? target : hop.parent_path() / target;
  }
  return {};
}

bool BoardRunning(const fs::path& link) {
  const UniqueFd lock(::open(SimLockPath(link).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  return lock && ::flock(lock.Get(), LOCK_SH | LOCK_NB) < 0 && errno == EWOULDBLOCK;
}

std::vector<PortEntry> RunningSimulatedBoards(const fs::path& registry) {
  std::vector<PortEntry> boards;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(registry, ec)) {
    if (!IsOurLink(entry.path()) || !KeepIfRunning(entry.path())) continue;
    if (fs::exists(entry.path(), ec)) boards.push_back({entry.path().filename().string(), entry.path().string()});
  }
  return boards;
}

}  // namespace tarnwick::link
