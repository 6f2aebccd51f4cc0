#pragma once
// Which serial ports exist, and which entry a refreshed list selects.

#include <filesystem>
#include <string>
#include <vector>

namespace tarnwick::link {

struct PortEntry {
  std::string name;  // shown in the list: "ttyUSB0", "sim0"
  std::string path;  // what OpenPort takes: "/dev/ttyUSB0"
  friend bool operator==(const PortEntry&, const PortEntry&) = default;
};

// The ports that simulated boards have registered, then the serial devices that
// sysfs knows, each in natural order (ttyS2 before ttyS10).
std::vector<PortEntry> EnumeratePorts();

// The same, with the system roots given, for tests.
std::vector<PortEntry> EnumeratePorts(const std::filesystem::path& sysClassTty,
                                      const std::filesystem::path& devDir,
                                      const std::filesystem::path& simRegistry);

// After a rescan: the entry whose name is exactly the one selected before, else
// entry 0; -1 for an empty list.
int SelectionAfterRescan(const std::vector<PortEntry>& ports, const std::string& previousName);

// Finds a port given by name ("sim0") or by path ("/dev/ttyUSB0"); a path that
// exists but is not listed is taken as it is.
std::string ResolvePort(const std::vector<PortEntry>& ports, const std::string& nameOrPath);

// "ttyS2" < "ttyS10": digit runs compare by value.
bool NaturalLess(const std::string& a, const std::string& b);

// Where simulated boards register their ports: a directory of symbolic links owned
// by this user, mode 0700. Under XDG_RUNTIME_DIR when set, else the temporary
// directory with the user id in its name.
std::filesystem::path SimRegistryDir();

}  // namespace tarnwick::link
