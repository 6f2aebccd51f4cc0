#include "port_list.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>

#include "network_port.h"

namespace tarnwick::link {

bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = std::isdigit(static_cast<unsigned char>(a[i]));
    const bool db = std::isdigit(static_cast<unsigned char>(b[j]));
    if (da && db) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      std::string_view na(a.data() + i, ei - i), nb(b.data() + j, ej - j);
      while (na.size() > 1 && na.front() == '0') na.remove_prefix(1);
      while (nb.size() > 1 && nb.front() == '0') nb.remove_prefix(1);
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei, j = ej;
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j];
    ++i, ++j;
  }
  return a.size() - i < b.size() - j;
}

void SortNaturally(std::vector<PortEntry>& ports) {
  std::sort(ports.begin(), ports.end(), [](const PortEntry& a, const PortEntry& b) { return NaturalLess(a.name, b.name); });
}

int SelectionAfterRescan(const std::vector<PortEntry>& ports, const std::string& previousName) {
  if (ports.empty()) return -1;
  const auto found = std::find_if(ports.begin(), ports.end(), [&](const PortEntry& p) { return p.name == previousName; });
  return found == ports.end() ? 0 : static_cast<int>(found - ports.begin());
}

PortEntry FindPort(const std::vector<PortEntry>& ports, const std::string& nameOrPath) {
  for (const PortEntry& p : ports)
    if (p.name == nameOrPath || p.path == nameOrPath) return p;
  if (IsNetworkPortName(nameOrPath)) return {nameOrPath, nameOrPath};  // a URL names itself
  const std::string path = DevicePathForName(nameOrPath);
  if (path != nameOrPath) return {nameOrPath, path};
  const std::string_view devDir = "/dev/";
  if (path.starts_with(devDir) && path.size() > devDir.size()) return {path.substr(devDir.size()), path};
  const std::string last = std::filesystem::path(path).filename().string();
  return {last.empty() ? path : last, path};
}

std::string ResolvePort(const std::vector<PortEntry>& ports, const std::string& nameOrPath) {
  return FindPort(ports, nameOrPath).path;
}

}  // namespace tarnwick::link
