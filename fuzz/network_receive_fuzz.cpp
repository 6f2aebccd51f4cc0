// The network port's receive path fed a server's bytes through a socket pair:
// Telnet commands, subnegotiations (ones that never end too), doubled 0xFF, RFC
// 2217 acknowledgements. The first byte picks rfc2217 or raw TCP. Whatever
// arrives, the open and the reads that follow end with an outcome, read nothing
// past what arrived and keep what they store bounded (the sanitizers watch).
#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "link/network_serial_port.h"

using namespace tarnwick;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0) return 0;
  link::sockets::Socket client(pair[0]);
  const link::sockets::Socket server(pair[1]);
  // All of it, then the end of the stream: every wait ends at once, not at its bound.
  if (::send(server.Get(), data + 1, size - 1, MSG_NOSIGNAL) != static_cast<long>(size - 1)) return 0;
  ::shutdown(server.Get(), SHUT_WR);
  const auto protocol = (data[0] & 1) ? link::NetworkProtocol::RawTcp : link::NetworkProtocol::Rfc2217;
  const link::OpenBound bound{std::chrono::steady_clock::now() + std::chrono::milliseconds(100), 100};
  link::OpenError error;
  const auto port = link::NetworkPortOn(std::move(client), "fuzzed", protocol, 115200, bound, &error);
  if (!port) {
    if (error.detail.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  link::FrameBuffer buffer{};
  for (link::ReadResult read{true, 0}; read.ok;) {
    read = port->ReadReply(buffer, {link::ReadEnd::Frame, 0});
    if (read.count > buffer.size() || (!read.ok && read.detail.empty())) std::abort();
    if (read.count == 0 && read.ok) break;
  }
  const std::uint8_t frame[] = {0xFF, 0x01, 0x80, 0x80, 0x01};
  if (const auto sent = port->TransmitFrame(frame, 115200); !sent.sent && sent.detail.empty()) std::abort();
  return 0;
}
