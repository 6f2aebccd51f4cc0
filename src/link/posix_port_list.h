#pragma once
// The port list's Linux sources: sysfs for serial devices, and the directory where
// simulated boards register their pseudo-terminals.

#include <filesystem>
#include <vector>

#include "port_list.h"

namespace tarnwick::link {

// EnumeratePorts() with the system roots given, for tests.
std::vector<PortEntry> EnumeratePorts(const std::filesystem::path& sysClassTty,
                                      const std::filesystem::path& devDir,
                                      const std::filesystem::path& simRegistry);

// Where simulated boards register their ports: a directory of symbolic links owned
// by this user, mode 0700. Under XDG_RUNTIME_DIR when set, else the temporary
// directory with the user id in its name.
std::filesystem::path SimRegistryDir();

// Whether the port is one that a simulated board registered in registry.
bool IsSimulatedBoard(const PortEntry& port, const std::filesystem::path& registry);

}  // namespace tarnwick::link
