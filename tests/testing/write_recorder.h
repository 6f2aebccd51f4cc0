#pragma once
// The far end of a pseudo-terminal that records, from a thread of its own, every
// burst the tool writes and when it arrived. The tool's writes are paced by the
// settle delay, so each burst is one write.

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

class WriteRecorder {
 public:
  using Clock = std::chrono::steady_clock;
  struct Write {
    Clock::time_point at;
    std::vector<std::uint8_t> bytes;
  };

  WriteRecorder() {
    char name[128];
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&master_, &slave_, name, &raw, nullptr) < 0) throw std::runtime_error("openpty failed");
    path_ = name;
    wake_ = ::eventfd(0, EFD_CLOEXEC);
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

  int master_ = -1, slave_ = -1, wake_ = -1;  // the slave stays open so the line lives between sends
  std::string path_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Write> writes_;
  std::thread thread_;
};

}  // namespace tarnwick::testing
