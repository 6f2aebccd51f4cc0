#pragma once
// Which serial ports exist, and which entry a refreshed list selects. The rules
// here are the same everywhere; each platform's enumeration file supplies
// EnumeratePorts and DevicePathForName.

#include <string>
#include <vector>

namespace tarnwick::link {

struct PortEntry {
  std::string name;  // shown in the list: "ttyUSB0", "sim0", "COM3"
  std::string path;  // what OpenPort takes: "/dev/ttyUSB0", "\\.\COM3"
  friend bool operator==(const PortEntry&, const PortEntry&) = default;
};

// The ports that exist, in natural order (ttyS2 before ttyS10, COM2 before COM10).
// On Linux, simulated boards come first, then the serial devices sysfs knows;
// on Windows, the COM ports that the system's serial map lists.
std::vector<PortEntry> EnumeratePorts();

// After a rescan: the entry whose name is exactly the one selected before, else
// entry 0; -1 for an empty list.
int SelectionAfterRescan(const std::vector<PortEntry>& ports, const std::string& previousName);

// Finds a port given by name ("sim0", "COM3") or by path; anything else is taken
// as a device name or path (DevicePathForName).
std::string ResolvePort(const std::vector<PortEntry>& ports, const std::string& nameOrPath);
// The same as an entry: the listed one, else a bare name with its device, else
// the path as given, named by what follows /dev/ or by its last part.
PortEntry FindPort(const std::vector<PortEntry>& ports, const std::string& nameOrPath);

// Whether a listed port is a running simulated board's (they run on POSIX systems only).
bool IsSimulatedBoard(const PortEntry& port);

// The device a bare name stands for on this platform ("ttyUSB3" is /dev/ttyUSB3,
// "COM3" is \\.\COM3); a path is returned as it is.
std::string DevicePathForName(const std::string& nameOrPath);

// "ttyS2" < "ttyS10": digit runs compare by value.
bool NaturalLess(const std::string& a, const std::string& b);
void SortNaturally(std::vector<PortEntry>& ports);

}  // namespace tarnwick::link
