#pragma once
// A TCP server on 127.0.0.1 that misbehaves on purpose. To each client (at most
// 8, each for at most 6 s, the whole server for 20 s) it speaks RFC 2217 as a
// server would when told to, acknowledging each setting (with the values given
// instead, after a delay), then pours its bytes over and over; or answers the
// first frame with a few bytes and closes.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <thread>
#include <vector>

#include "link/unique_fd.h"
#include "testing/ser2net.h"

namespace tarnwick::testing {

struct HostileScript {
  bool telnet = true;                            // take up COM-PORT-OPTION, acknowledge every setting
  std::map<std::uint8_t, std::uint8_t> changed = {};  // a setting's code: the value acknowledged instead
  int acknowledgeDelayMs = 0;
  bool acknowledgePurge = false;
  std::vector<std::uint8_t> opening = {};  // sent once the line is set (raw: at once)...
  std::vector<std::uint8_t> pour = {};   // ...then this, over and over
  std::vector<std::uint8_t> reply = {};  // sent for the first frame, after which the connection closes...
  bool closesAfterReply = true;          // ...unless told otherwise
  bool neverAccepts = false;          // its queue kept full: a client's connect waits
  bool listens = true;                // false: bound only, so a connection is refused
};

class HostileServer {
 public:
  explicit HostileServer(HostileScript script) : script_(std::move(script)) {
    port_ = BindLoopback(listener_.Get());
    if (port_ == 0 || (script_.listens && ::listen(listener_.Get(), script_.neverAccepts ? 0 : 8) != 0))
      throw std::runtime_error("the hostile server cannot listen");
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&address), &length);
    // A queue of none holds one connection; the kernel drops the SYNs of the next ones.
    for (int i = 0; script_.neverAccepts && i < 2; ++i) {
      fillers_.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
      ::connect(fillers_.back().Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    if (script_.neverAccepts || !script_.listens) return;
    thread_ = std::jthread([this](std::stop_token stop) { Serve(stop); });
  }

  int Port() const { return port_; }

 private:
  using Clock = std::chrono::steady_clock;
  using Bytes = std::vector<std::uint8_t>;

  void Serve(const std::stop_token& stop) {
    const auto end = Clock::now() + std::chrono::seconds(20);
    for (int clients = 0; clients < 8 && !stop.stop_requested() && Clock::now() < end;) {
      pollfd p{listener_.Get(), POLLIN, 0};
      const link::UniqueFd client(::poll(&p, 1, 20) > 0 ? ::accept4(p.fd, nullptr, nullptr, SOCK_NONBLOCK) : -1);
      if (client && ++clients) ServeClient(client.Get(), stop, std::min(end, Clock::now() + std::chrono::seconds(6)));
    }
  }

  void ServeClient(int fd, const std::stop_token& stop, Clock::time_point end) {
    Bytes in, out = script_.telnet ? Bytes{0xFF, 0xFD, 44} : script_.opening;
    bool pouring = !script_.telnet, closing = false;
    while (!stop.stop_requested() && Clock::now() < end && !(closing && out.empty())) {
      const bool more = !out.empty() || (pouring && !closing && !script_.pour.empty());
      pollfd p{fd, static_cast<short>(POLLIN | (more ? POLLOUT : 0)), 0};
      if (::poll(&p, 1, 10) < 0) return;
      std::uint8_t chunk[512];
      const long got = (p.revents & POLLIN) ? ::recv(fd, chunk, sizeof chunk, 0) : -1;
      if (got == 0) return;
      if (got > 0) in.insert(in.end(), chunk, chunk + got);
      closing = closing || (got > 0 && Answer(in, out, pouring) && script_.closesAfterReply);
      if (out.empty() && pouring && !closing) out = script_.pour;
      const long sent = (p.revents & POLLOUT) ? ::send(fd, out.data(), out.size(), MSG_NOSIGNAL) : 0;
      if (sent < 0 && errno != EAGAIN) return;
      if (sent > 0) out.erase(out.begin(), out.begin() + sent);
    }
  }

  // Reads the client's commands and frames out of in; true once a frame was answered with the reply.
  bool Answer(Bytes& in, Bytes& out, bool& pouring) {
    std::size_t i = 0;
    bool frame = false;
    while (i < in.size()) {
      if (in[i] != 0xFF) {
        frame = true, ++i;
        continue;
      }
      if (i + 2 >= in.size()) break;
      if (in[i + 1] != 0xFA) {
        i += in[i + 1] >= 0xFB ? 3 : 2;
        continue;
      }
      const Bytes se{0xFF, 0xF0};
      const std::size_t end = std::search(in.begin() + static_cast<long>(i), in.end(), se.begin(), se.end()) - in.begin();
      if (end == in.size()) break;
      const std::uint8_t code = in[i + 3];
      Bytes value(in.begin() + static_cast<long>(i) + 4, in.begin() + static_cast<long>(end));
      if (const auto changed = script_.changed.find(code); changed != script_.changed.end()) value = {changed->second};
      std::this_thread::sleep_for(std::chrono::milliseconds(script_.acknowledgeDelayMs));
      value.insert(value.begin(), {0xFF, 0xFA, 44, static_cast<std::uint8_t>(code + 100)});
      value.insert(value.end(), se.begin(), se.end());
      if (code != 12 || script_.acknowledgePurge) out.insert(out.end(), value.begin(), value.end());  // 12: PURGE-DATA
      if (code == 4 && !pouring) out.insert(out.end(), script_.opening.begin(), script_.opening.end());
      pouring = pouring || code == 4;
      i = end + 2;
    }
    in.erase(in.begin(), in.begin() + static_cast<long>(i));
    if (!frame || script_.reply.empty()) return false;
    out.insert(out.end(), script_.reply.begin(), script_.reply.end());
    return true;
  }

  HostileScript script_;
  link::UniqueFd listener_{::socket(AF_INET, SOCK_STREAM, 0)};
  int port_ = 0;
  std::vector<link::UniqueFd> fillers_;
  std::jthread thread_;
};

}  // namespace tarnwick::testing
