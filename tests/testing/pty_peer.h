#pragma once
// The far end of a pseudo-terminal, for tests: PtyPeer records what the tool
// writes and answers with canned bytes; WriteRecorder time-stamps each write.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tarnwick::testing {

// Opens a raw pseudo-terminal pair and returns the slave's path.
inline std::string OpenRawPty(int& master, int& slave) {
  char name[128];
  termios raw{};
  ::cfmakeraw(&raw);
  if (::openpty(&master, &slave, name, &raw, nullptr) < 0) throw std::runtime_error("openpty failed");
  return name;
}

class PtyPeer {
 public:
  PtyPeer() : path_(OpenRawPty(master_, slave_)) {}
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

// Records, from a thread of its own, every burst the tool writes and when it
// arrived. The tool's writes are paced by the settle delay, so each burst is one write.
class WriteRecorder {
 public:
  using Clock = std::chrono::steady_clock;
  struct Write {
    Clock::time_point at;
    std::vector<std::uint8_t> bytes;
  };

  WriteRecorder() : path_(OpenRawPty(master_, slave_)), wake_(::eventfd(0, EFD_CLOEXEC)) {
    thread_ = std::thread([this] { Record(); });
  }
  ~WriteRecorder() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto put = ::write(wake_, &one, sizeof one);
    thread_.join();
    ::close(wake_);
    ::close(master_);
    ::close(slave_);
  }
  WriteRecorder(const WriteRecorder&) = delete;
  WriteRecorder& operator=(const WriteRecorder&) = delete;

  const std::string& Path() const { return path_; }

  // The writes so far, after waiting up to quietMs for one more to arrive when
  // fewer than expected are in.
  std::vector<Write> Writes(std::size_t expected = 0, int quietMs = 200) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, std::chrono::milliseconds(quietMs), [&] { return writes_.size() >= expected; });
    return writes_;
  }
  // The writes so far, forgotten.
  std::vector<Write> Take(std::size_t expected = 0, int quietMs = 200) {
    auto writes = Writes(expected, quietMs);
    std::lock_guard lock(mutex_);
    writes_.erase(writes_.begin(), writes_.begin() + static_cast<std::ptrdiff_t>(writes.size()));
    return writes;
  }

 private:
  void Record() {
    for (;;) {
      pollfd p[2] = {{master_, POLLIN, 0}, {wake_, POLLIN, 0}};
      if (::poll(p, 2, -1) < 0) continue;
      if (p[1].revents) return;
      if (!(p[0].revents & POLLIN)) continue;
      std::uint8_t chunk[256];
      const ssize_t got = ::read(master_, chunk, sizeof chunk);
      if (got <= 0) continue;
      const auto now = Clock::now();
      std::lock_guard lock(mutex_);
      writes_.push_back({now, {chunk, chunk + got}});
      arrived_.notify_all();
    }
  }

  int master_ = -1, slave_ = -1;  // the slave stays open so the line lives between sends
  std::string path_;
  int wake_ = -1;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Write> writes_;
  std::thread thread_;
};

// Open file descriptors of this process.
inline int CountOpenFds() {
  int count = 0;
  for (int fd = 0; fd < 4096; ++fd)
    if (::fcntl(fd, F_GETFD) != -1) ++count;
  return count;
}

}  // namespace tarnwick::testing
