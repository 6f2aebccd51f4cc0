// The port list on Linux: serial devices from sysfs, simulated boards from their
// private registry directory.
#include "posix_port_list.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "sim_registry.h"

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

bool IsSimulatedBoardName(const std::string& name) {
  return name.size() > 3 && name.starts_with("sim") &&
         std::all_of(name.begin() + 3, name.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace

fs::path SimRegistryDir() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) return fs::path(runtime) / "tarnwick";
  return fs::temp_directory_path() / ("tarnwick-" + std::to_string(::getuid()));
}

bool IsSimulatedBoard(const PortEntry& port, const fs::path& registry) {
  const auto directoryOf = [](const fs::path& path) { return path.lexically_normal().parent_path(); };
  return directoryOf(port.path) == directoryOf(registry / "entry");
}

bool IsSimulatedBoard(const PortEntry& port) { return IsSimulatedBoard(port, SimRegistryDir()); }

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
  if (IsPrivateDirectory(simRegistry)) simulated = RunningSimulatedBoards(simRegistry);
  SortNaturally(simulated);

  // A running simulated board is what its user means to talk to: it comes first.
  simulated.insert(simulated.end(), devices.begin(), devices.end());
  return simulated;
}

std::vector<PortEntry> EnumeratePorts() { return EnumeratePorts("/sys/class/tty", "/dev", SimRegistryDir()); }

std::string DevicePathForName(const std::string& nameOrPath) {
  if (nameOrPath.find('/') != std::string::npos) return nameOrPath;
  // A board's name that is not listed: its registry entry, which names the board when it fails to open.
  if (IsSimulatedBoardName(nameOrPath)) return (SimRegistryDir() / nameOrPath).string();
  return "/dev/" + nameOrPath;
}

}  // namespace tarnwick::link
