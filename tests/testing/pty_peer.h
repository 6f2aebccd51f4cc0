#pragma once
// The far end of a pseudo-terminal, for tests: it records what the tool writes
// and answers with canned bytes.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tarnwick::testing {

class PtyPeer {
 public:
  PtyPeer() {
    char name[128];
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&master_, &slave_, name, &raw, nullptr) < 0) throw std::runtime_error("openpty failed");
    path_ = name;
  }
  ~PtyPeer() {
    if (answerer_.joinable()) answerer_.join();
    CloseMaster();
    if (slave_ >= 0) ::close(slave_);
  }
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  const std::string& Path() const { return path_; }

  // Everything the tool wrote until the line has been quiet for quietMs.
  std::vector<std::uint8_t> Read(int quietMs = 50) {
    std::vector<std::uint8_t> bytes;
    for (;;) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, quietMs) <= 0 || !(p.revents & POLLIN)) return bytes;
      std::uint8_t chunk[256];
      const ssize_t got = ::read(master_, chunk, sizeof chunk);
      if (got <= 0) return bytes;
      bytes.insert(bytes.end(), chunk, chunk + got);
    }
  }

  void Write(const std::vector<std::uint8_t>& bytes) {
    if (::write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
      throw std::runtime_error("short write to the pseudo-terminal");
  }

  // On a thread: waits for the tool's frame, then writes each piece after its pause.
  struct Piece {
    std::vector<std::uint8_t> bytes;
    std::chrono::milliseconds pauseBefore{0};
  };
  void AnswerOnce(std::vector<Piece> pieces) {
    answerer_ = std::thread([this, pieces = std::move(pieces)] {
      received_ = Read(5);
      for (const Piece& piece : pieces) {
        std::this_thread::sleep_for(piece.pauseBefore);
        if (!piece.bytes.empty()) Write(piece.bytes);
      }
    });
  }
  // What the tool sent before the answer; valid after the exchange.
  std::vector<std::uint8_t> Received() {
    if (answerer_.joinable()) answerer_.join();
    return received_;
  }

  // Ends this side of the line: the tool sees a hang-up.
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1, slave_ = -1;  // the slave stays open so the line lives between exchanges
  std::string path_;
  std::thread answerer_;
  std::vector<std::uint8_t> received_;
};

// Open file descriptors of this process.
inline int CountOpenFds() {
  int count = 0;
  for (int fd = 0; fd < 4096; ++fd)
    if (::fcntl(fd, F_GETFD) != -1) ++count;
  return count;
}

}  // namespace tarnwick::testing
