// The port list on Linux: serial devices from sysfs, simulated boards from their
// private registry directory.
#include "posix_port_list.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <system_error>

namespace tarnwick::link {
namespace fs = std::filesystem;
namespace {

// An on-board UART that sysfs lists but that has no hardware behind it reports
// port type 0 (unknown).
bool IsPhantomUart(const fs::path& ttyDir) {
  std::ifstream typeFile(ttyDir / "type");
  int type = -1;
  return typeFile >> type && type == 0;
}

bool IsSerialDevice(const fs::path& ttyDir) {
  std::error_code ec;
  // Virtual terminals, ptys and the console have no device behind them.
  if (!fs::exists(ttyDir / "device", ec)) return false;
  return !IsPhantomUart(ttyDir);
}

// A registry is trusted only when this user owns it and nobody else may write to it.
bool IsPrivateDirectory(const fs::path& dir) {
  struct stat st {};
  return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
         (st.st_mode & 077) == 0;
}

}  // namespace

fs::path SimRegistryDir() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) return fs::path(runtime) / "tarnwick";
  return fs::temp_directory_path() / ("tarnwick-" + std::to_string(::getuid()));
}

std::vector<PortEntry> EnumeratePorts(const fs::path& sysClassTty, const fs::path& devDir,
                                      const fs::path& simRegistry) {
  std::vector<PortEntry> devices;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(sysClassTty, ec)) {
    const std::string name = entry.path().filename().string();
    const fs::path device = devDir / name;
    if (IsSerialDevice(entry.path()) && fs::exists(device, ec)) devices.push_back({name, device.string()});
  }
  SortNaturally(devices);

  std::vector<PortEntry> simulated;
  if (IsPrivateDirectory(simRegistry)) {
    for (const auto& entry : fs::directory_iterator(simRegistry, ec)) {
      // A board registers a link to its pty; one whose pty is gone has ended.
      if (!entry.is_symlink(ec) || !fs::exists(entry.path(), ec)) continue;
      simulated.push_back({entry.path().filename().string(), entry.path().string()});
    }
  }
  SortNaturally(simulated);

  // A running simulated board is what its user means to talk to: it comes first.
  simulated.insert(simulated.end(), devices.begin(), devices.end());
  return simulated;
}

std::vector<PortEntry> EnumeratePorts() { return EnumeratePorts("/sys/class/tty", "/dev", SimRegistryDir()); }

std::string DevicePathForName(const std::string& nameOrPath) {
  if (nameOrPath.find('/') != std::string::npos) return nameOrPath;
  return "/dev/" + nameOrPath;
}

}  // namespace tarnwick::link
