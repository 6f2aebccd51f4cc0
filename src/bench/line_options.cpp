#include "bench/line_options.h"

#include <utility>
#include <vector>

#include "link/network_port.h"

namespace tarnwick::bench {
namespace {

// Why no port was chosen, with the ports there are to choose from.
std::string NoPortGiven(const std::vector<link::PortEntry>& ports) {
  if (ports.empty())
    return "no port given and no simulated board running; no serial port found either (plug in an adapter and "
           "name it with --port, or start tarnwick-sim)";
  std::string names;
  for (const link::PortEntry& p : ports) names += (names.empty() ? "" : ", ") + p.name + " (" + p.path + ")";
  return "no port given and no simulated board running; name one with --port: " + names;
}

std::optional<link::PortEntry> NamedOrRunningPort(const LineOptions& o, std::string& error) {
  if (o.port.find('/') != std::string::npos) return link::FindPort({}, o.port);
  const auto ports = link::EnumeratePorts();
  if (!o.port.empty()) return link::FindPort(ports, o.port);
  for (const link::PortEntry& p : ports)
    if (link::IsSimulatedBoard(p)) return p;
  error = NoPortGiven(ports);
  return std::nullopt;
}

}  // namespace

std::optional<link::PortEntry> FindLinePort(const LineOptions& o, std::string& error) {
  auto port = NamedOrRunningPort(o, error);
  // This program's own terminal is a wrong value, not a port that failed to open.
  if (const link::OpenError refused = port ? link::CheckPortTarget(port->path) : link::OpenError{};
      refused.kind == link::OpenFailure::OwnTerminal) {
    error = link::DescribeOpenError(port->path, refused);
    return std::nullopt;
  }
  // So is a network port's name that cannot be one.
  if (std::string why; port && link::IsNetworkPortName(port->path) && !link::ParseNetworkPortName(port->path, &why)) {
    error = "cannot use " + port->path + ": " + why;
    return std::nullopt;
  }
  return port;
}

link::LineSettings LineSettingsOf(const LineOptions& o, std::string port) {
  link::LineSettings line{std::move(port), o.baudIndex, o.address, !o.noRes, {}, o.direction, o.echo};
  line.read.end = o.readEnd;
  return line;
}

}  // namespace tarnwick::bench
