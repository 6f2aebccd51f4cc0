#pragma once
// The far end of a pseudo-terminal, for tests: PtyPeer records what the tool
// writes and answers with canned bytes; WriteRecorder time-stamps each write.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/unique_fd.h"

namespace tarnwick::testing {

using link::UniqueFd;

// Opens a raw pseudo-terminal pair and returns the slave's path.
inline std::string OpenRawPty(UniqueFd& master, UniqueFd& slave) {
  char name[128];
  termios raw{};
  ::cfmakeraw(&raw);
  int masterFd = -1, slaveFd = -1;
  if (::openpty(&masterFd, &slaveFd, name, &raw, nullptr) < 0) throw std::runtime_error("openpty failed");
  master.Reset(masterFd);
  slave.Reset(slaveFd);
  return name;
}

class PtyPeer {
 public:
  PtyPeer() : path_(OpenRawPty(master_, slave_)) {}
  ~PtyPeer() {
    ending_ = true;
    if (answerer_.joinable()) answerer_.join();
  }

  const std::string& Path() const { return path_; }
  // The slave side this peer keeps open, as a board does.
  int SlaveFd() const { return slave_.Get(); }

  // Everything the tool wrote until the line has been quiet for quietMs, waiting
  // up to firstMs for its first byte.
  std::vector<std::uint8_t> Read(int quietMs = 50, int firstMs = -1) {
    std::vector<std::uint8_t> bytes;
    for (;;) {
      pollfd p{master_.Get(), POLLIN, 0};
      const int waitMs = bytes.empty() && firstMs >= 0 ? firstMs : quietMs;
      if (::poll(&p, 1, waitMs) <= 0 || !(p.revents & POLLIN)) return bytes;
      std::uint8_t chunk[256];
      const ssize_t got = ::read(master_.Get(), chunk, sizeof chunk);
      if (got <= 0) return bytes;
      bytes.insert(bytes.end(), chunk, chunk + got);
    }
  }

  void Write(const std::vector<std::uint8_t>& bytes) {
    if (::write(master_.Get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
      throw std::runtime_error("short write to the pseudo-terminal");
  }

  // On a thread, until this peer ends: every whole frame the tool writes
  // ([address][N][N bytes][sum lo][sum hi]) is answered with reply, whoever was asked.
  void AnswerEveryFrame(std::vector<std::uint8_t> reply) {
    answerer_ = std::thread([this, reply = std::move(reply)] {
      for (std::vector<std::uint8_t> heard; !ending_;) {
        const std::vector<std::uint8_t> bytes = Read(5, 50);
        heard.insert(heard.end(), bytes.begin(), bytes.end());
        for (; heard.size() >= 2 && heard.size() >= heard[1] + 4u; Write(reply))
          heard.erase(heard.begin(), heard.begin() + heard[1] + 4);
      }
    });
  }

  // Fills the line toward this side until it takes no more, as a peer that stopped
  // reading would: the tool's next write cannot go out. Read() unclogs it.
  void Clog() {
    const int flags = ::fcntl(slave_.Get(), F_GETFL);
    ::fcntl(slave_.Get(), F_SETFL, flags | O_NONBLOCK);
    const std::vector<std::uint8_t> filler(4096, 0x55);
    // The kernel moves queued bytes on to this side's reader a little later, which
    // makes room again, and a buffer's last few bytes take only small writes: the
    // line is full once a pause frees room for not even one byte.
    for (int quietRounds = 0; quietRounds < 3;) {
      bool tookAny = false;
      for (const std::size_t size : {filler.size(), std::size_t{1}})
        while (::write(slave_.Get(), filler.data(), size) > 0) tookAny = true;
      quietRounds = tookAny ? 0 : quietRounds + 1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::fcntl(slave_.Get(), F_SETFL, flags);
  }

  // Ends this side of the line: the tool sees a hang-up.
  void CloseMaster() { master_.Reset(); }

 private:
  UniqueFd master_, slave_;  // the slave stays open so the line lives between exchanges
  std::string path_;
  std::thread answerer_;
  std::atomic<bool> ending_{false};
};

// Board 01's CMD13 reply (step count 1000, pulse duty 100, 2500 Hz): given to every
// frame, it is another board's reply, or one to another command, with no race
// against a clock.
inline const std::vector<std::uint8_t> kCmd13ReplyFrom01 = {0x01, 0x09, 0x13, 0x00, 0xE8, 0x03, 0x00,
                                                            0x00, 0x64, 0xC4, 0x09, 0x39, 0x02};

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
    [[maybe_unused]] const auto put = ::write(wake_.Get(), &one, sizeof one);
    thread_.join();
  }

  const std::string& Path() const { return path_; }

  // Every write made before this call, forgotten. A mark written from the line's
  // far side arrives behind them all, however late the kernel or this thread runs,
  // so nothing depends on how long anything takes; an empty result is only
  // returned once the mark is in.
  std::vector<Write> TakeAllSoFar() {
    static constexpr std::uint8_t kMark[] = {0x00, 'e', 'n', 'd', ' ', 'o', 'f', ' ', 'w', 'r', 'i', 't', 'e', 's', 0x00};
    if (::write(slave_.Get(), kMark, sizeof kMark) != static_cast<ssize_t>(sizeof kMark))
      throw std::runtime_error("the mark did not go out");
    std::unique_lock lock(mutex_);
    const auto bytesBeforeMark = [&]() -> std::optional<std::size_t> {
      std::vector<std::uint8_t> stream;
      for (const Write& write : writes_) stream.insert(stream.end(), write.bytes.begin(), write.bytes.end());
      const auto mark = std::search(stream.begin(), stream.end(), std::begin(kMark), std::end(kMark));
      if (mark == stream.end()) return std::nullopt;
      return static_cast<std::size_t>(mark - stream.begin());
    };
    if (!arrived_.wait_for(lock, std::chrono::seconds(30), [&] { return bytesBeforeMark().has_value(); }))
      throw std::runtime_error("the mark never arrived");
    std::size_t before = *bytesBeforeMark();
    std::vector<Write> taken;
    for (Write& write : std::exchange(writes_, {})) {
      if (before == 0) break;
      if (write.bytes.size() > before) write.bytes.resize(before);
      before -= write.bytes.size();
      taken.push_back(std::move(write));
    }
    return taken;
  }

 private:
  void Record() {
    for (;;) {
      pollfd p[2] = {{master_.Get(), POLLIN, 0}, {wake_.Get(), POLLIN, 0}};
      if (::poll(p, 2, -1) < 0) continue;
      if (p[1].revents) return;
      if (!(p[0].revents & POLLIN)) continue;
      std::uint8_t chunk[256];
      const ssize_t got = ::read(master_.Get(), chunk, sizeof chunk);
      if (got <= 0) continue;
      const auto now = Clock::now();
      std::lock_guard lock(mutex_);
      writes_.push_back({now, {chunk, chunk + got}});
      arrived_.notify_all();
    }
  }

  UniqueFd master_, slave_;  // the slave stays open so the line lives between sends
  std::string path_;
  UniqueFd wake_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Write> writes_;
  std::thread thread_;
};

// Whether a program that takes no flock may open the terminal at path now. Root is
// let through a terminal's exclusive mode, so a root test asks from a child process
// that has become an ordinary user (after opening the terminal to everyone).
inline bool OrdinaryProgramCanOpen(const std::string& path) {
  if (::geteuid() == 0) ::chmod(path.c_str(), 0666);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) < 0 || ::setuid(65534) < 0)) ::_exit(2);
    ::_exit(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK) >= 0 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Open file descriptors of this process.
inline int CountOpenFds() {
  int count = 0;
  for (int fd = 0; fd < 4096; ++fd)
    if (::fcntl(fd, F_GETFD) != -1) ++count;
  return count;
}

}  // namespace tarnwick::testing
