#pragma once
// Serves a simulated board on a pseudo-terminal (or a real port) from a thread of
// its own, until destroyed.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "board.h"
#include "faults.h"
#include "link/unique_fd.h"

namespace tarnwick::sim {

class BoardServer {
 public:
  // A new pseudo-terminal; the tool opens PortPath(). Throws std::system_error.
  static std::unique_ptr<BoardServer> OnPseudoTerminal(BoardState initial = {});
  // A real serial port, at the board's line speed. Throws std::system_error.
  static std::unique_ptr<BoardServer> OnSerialPort(const std::string& path, BoardState initial = {});

  ~BoardServer();
  BoardServer(const BoardServer&) = delete;
  BoardServer& operator=(const BoardServer&) = delete;

  const std::string& PortPath() const { return portPath_; }

  void SetFault(const Fault& fault);
  BoardState State() const;
  void SetState(const BoardState& state);
  // Called on the serving thread with every frame heard and every reply sent.
  using TrafficObserver = std::function<void(const Bytes& bytes, bool heard)>;
  void ObserveTraffic(TrafficObserver observer);

  std::uint64_t FramesHeard() const { return framesHeard_; }
  std::uint64_t RepliesSent() const { return repliesSent_; }

 private:
  BoardServer(link::UniqueFd line, link::UniqueFd slave, std::string portPath, bool pseudoTerminal, BoardState initial);
  void Serve(std::stop_token stop);
  void HandleBytes(bool atBurstEnd);
  void SendReply(const Bytes& reply, const Bytes& heard);
  void Notify(const Bytes& bytes, bool heard);
  bool HeardAtBoardSpeed() const;
  void ApplyLineSpeed();
  void ReleaseAbandonedExclusiveMode();
  void ForgetWhatCannotBeginAFrame();

  link::UniqueFd line_;   // what the board reads and writes: the pty master, or the port
  link::UniqueFd slave_;  // the pty's other end, held open so the line never hangs up; none for a port
  link::UniqueFd wake_;   // an eventfd that ends the serving thread
  std::string portPath_;
  bool pseudoTerminal_;
  int appliedBaudIndex_;  // the real port's speed; serving thread only

  mutable std::mutex mutex_;  // guards board_ and fault_
  Board board_;
  Fault fault_;
  TrafficObserver observer_;
  Bytes pending_;  // bytes heard, not yet taken as frames; serving thread only
  std::atomic<std::uint64_t> framesHeard_{0}, repliesSent_{0};
  std::jthread thread_;
};

}  // namespace tarnwick::sim
