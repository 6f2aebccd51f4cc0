#pragma once
// The registry through which simulated boards make their ports findable. A board
// holds simN.lock locked for as long as it runs and links simN to its port; an
// entry counts only while that lock is held.

#include <filesystem>
#include <string>
#include <vector>

#include "port_list.h"

namespace tarnwick::link {

// The lock file that goes with a registry link: "sim0" -> "sim0.lock".
std::filesystem::path SimLockPath(const std::filesystem::path& link);

// Whether lockPath still names the file open as fd: an entry found stale is removed
// under its lock, and whoever locked the removed file must not count it as theirs.
bool LockStillNamed(int fd, const std::filesystem::path& lockPath);

// The registry entry that path is, or leads to through symbolic links; empty when none.
std::filesystem::path RegistryEntryOf(const std::filesystem::path& path, const std::filesystem::path& registry);

// True while the board that registered link runs: its lock is held.
bool BoardRunning(const std::filesystem::path& link);

// The running boards' links, owned by this user. Entries whose board is gone (killed,
// crashed) are removed on the way, with their lock files; others' entries are ignored.
std::vector<PortEntry> RunningSimulatedBoards(const std::filesystem::path& registry);

}  // namespace tarnwick::link
