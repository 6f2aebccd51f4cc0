#pragma once
// A real network serial server (ser2net) on 127.0.0.1 in front of a simulated
// board's pseudo-terminal: one RFC 2217 port at the board's rate, with the
// settings docs/network.md recommends. Tests skip, saying why, where ser2net is
// not installed.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "link/unique_fd.h"
#include "testing/process.h"

namespace tarnwick::testing {

// ser2net's path, or "" where it is not installed (it lives in sbin, often off a user's PATH).
inline std::string Ser2netPath() {
  std::string path = RunShell("PATH=\"$PATH:/usr/sbin:/sbin:/usr/local/sbin\"; command -v ser2net").out;
  if (path.ends_with('\n')) path.pop_back();
  return path;
}

// Binds the socket fd to a free TCP port on 127.0.0.1 and returns that port, or 0.
inline int BindLoopback(int fd) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return 0;
  return ntohs(address.sin_port);
}

// Whether something listens on 127.0.0.1:port, as the kernel's table shows it: a
// connection to find out would hold the server's line until its session ended.
inline bool Listening(int port) {
  std::ifstream table("/proc/net/tcp");
  char wanted[32];
  std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    if (fields >> slot >> local >> remote >> state && local == wanted && state == "0A") return true;
  }
  return false;
}

class Ser2net {
 public:
  // Serves device at baud; throws std::runtime_error when the server does not come up within 2 s.
  Ser2net(const std::string& executable, const std::string& device, int baud)
      : dir_(std::filesystem::temp_directory_path() / ("tarnwick-ser2net-" + std::to_string(::getpid()))),
        rfc2217Port_(BindLoopback(link::UniqueFd(::socket(AF_INET, SOCK_STREAM, 0)).Get())) {  // free just now
    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ / "ser2net.yaml")
        << "%YAML 1.1\n---\nconnection: &rfc2217\n    accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1,"
        << rfc2217Port_ << "\n    connector: serialdev," << device << "," << baud
        << "n81,local\n    options:\n      chardelay: false\n";
    server_.emplace("exec " + executable + " -n -d -c " + (dir_ / "ser2net.yaml").string() + " -P " +
                    (dir_ / "ser2net.pid").string() + " >/dev/null 2>&1");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!Listening(rfc2217Port_)) {
      if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("ser2net did not listen within 2 s");
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~Ser2net() {
    server_->Kill(SIGTERM);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  Ser2net(const Ser2net&) = delete;
  Ser2net& operator=(const Ser2net&) = delete;

  std::string Rfc2217Url() const { return "rfc2217://127.0.0.1:" + std::to_string(rfc2217Port_); }

 private:
  std::filesystem::path dir_;
  int rfc2217Port_;
  std::optional<Process> server_;
};

}  // namespace tarnwick::testing
