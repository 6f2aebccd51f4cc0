#pragma once
// The network port over a connection already made: OpenNetworkPort connects and
// then hands the socket here; a fuzz target hands over one end of a socket pair.

#include <chrono>
#include <memory>
#include <string>

#include "network_port.h"
#include "serial_port.h"
#include "socket_calls.h"

namespace tarnwick::link {

// How long the whole open may take: the name's ?timeout=S from the start of connecting.
struct OpenBound {
  std::chrono::steady_clock::time_point deadline;
  int timeoutMs = kDefaultConnectTimeoutMs;
  // Since the open began (for a raw server, about the connect's round trip).
  std::chrono::steady_clock::duration Elapsed() const {
    return std::chrono::steady_clock::now() - (deadline - std::chrono::milliseconds(timeoutMs));
  }
};

// Negotiates the line (rfc2217: 8N1 at baudRate, each setting acknowledged as
// asked) or checks that a raw server is not a Telnet or busy one, by the bound.
// name is the key a kept connection is found by again.
std::unique_ptr<SerialPort> NetworkPortOn(sockets::Socket socket, const std::string& name, NetworkProtocol protocol,
                                          int baudRate, const OpenBound& bound, OpenError* error);

}  // namespace tarnwick::link
