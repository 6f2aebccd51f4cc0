#include "port_registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "link/sim_registry.h"

namespace tarnwick::sim {
namespace fs = std::filesystem;
namespace {

constexpr int kMaxBoards = 100;

// The directory must be ours and closed to others: the tool opens what it links to.
void EnsurePrivateDirectory(const fs::path& dir) {
  std::error_code ec;
  fs::create_directories(dir.parent_path(), ec);
  if (::mkdir(dir.c_str(), 0700) < 0 && errno != EEXIST)
    throw std::runtime_error("cannot create " + dir.string() + ": " + std::strerror(errno));
  struct stat st {};
  if (::lstat(dir.c_str(), &st) < 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
    throw std::runtime_error(dir.string() + " is not a directory owned by this user");
  if ((st.st_mode & 077) != 0 && ::chmod(dir.c_str(), 0700) < 0)
    throw std::runtime_error("cannot make " + dir.string() + " private: " + std::strerror(errno));
}

// The name's lock, held; none when another board runs under the name, or when the
// lock file was found stale and removed between opening and locking it.
link::UniqueFd LockName(const fs::path& lockPath) {
  link::UniqueFd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!lock || ::flock(lock.Get(), LOCK_EX | LOCK_NB) < 0 || !link::LockStillNamed(lock.Get(), lockPath)) return {};
  return lock;
}

}  // namespace

PortRegistration::PortRegistration(const fs::path& registry, const std::string& target) {
  EnsurePrivateDirectory(registry);
  for (int i = 0; i < kMaxBoards; ++i) {
    const std::string name = "sim" + std::to_string(i);
    const fs::path link = registry / name;
    link::UniqueFd lock = LockName(link::SimLockPath(link));
    if (!lock) continue;
    std::error_code ec;
    fs::remove(link, ec);  // left behind by a board that did not end cleanly
    fs::create_symlink(target, link, ec);
    if (ec) throw std::runtime_error("cannot register " + link.string() + ": " + ec.message());
    link_ = link;
    name_ = name;
    lock_ = std::move(lock);
    return;
  }
  throw std::runtime_error("no free simulated port name in " + registry.string());
}

PortRegistration::~PortRegistration() {
  // The link goes first, so nobody finds it while its lock is already free.
  std::error_code ec;
  fs::remove(link_, ec);
  fs::remove(link::SimLockPath(link_), ec);
}

}  // namespace tarnwick::sim
