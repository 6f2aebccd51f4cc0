#pragma once
// Serves simulated boards on a pseudo-terminal (one board on a real port) from a
// thread of its own, until destroyed.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "board.h"
#include "bus.h"
#include "faults.h"
#include "link/line_control.h"
#include "link/unique_fd.h"

namespace tarnwick::sim {

class BoardServer {
 public:
  // A new pseudo-terminal; the tool opens PortPath(). Throws std::system_error.
  static std::unique_ptr<BoardServer> OnPseudoTerminal(BoardState initial = {});
  // Several boards on one new pseudo-terminal, each at its own rate.
  static std::unique_ptr<BoardServer> OnPseudoTerminal(std::vector<BoardState> boards);
  // A real serial port, at the board's line speed, turning its RS-485 line round as
  // direction says. Throws std::system_error, or std::runtime_error where the port
  // cannot turn the line that way.
  static std::unique_ptr<BoardServer> OnSerialPort(const std::string& path, BoardState initial = {},
                                                   const link::DirectionSettings& direction = {});

  ~BoardServer();
  BoardServer(const BoardServer&) = delete;
  BoardServer& operator=(const BoardServer&) = delete;

  const std::string& PortPath() const { return portPath_; }
  // What the driver made of the direction control asked for.
  const link::LineReport& LineControlled() const { return direction_.report; }

  std::size_t BoardCount() const { return boardCount_; }
  // Board 0 alone unless a board is named.
  void SetFault(const Fault& fault) { SetFault(0, fault); }
  void SetFault(std::size_t board, const Fault& fault);
  void SetFaultOnEvery(const Fault& fault);
  // The first board answers from a recording from now on (tarnwick-sim --replay).
  void AnswerFrom(ReplayBoard recording);
  BoardState State(std::size_t board = 0) const;
  void SetState(const BoardState& state) { SetState(0, state); }
  void SetState(std::size_t board, const BoardState& state);
  // Called on the serving thread with every frame heard and every reply sent.
  using TrafficObserver = std::function<void(const Bytes& bytes, bool heard)>;
  void ObserveTraffic(TrafficObserver observer);

  std::uint64_t FramesHeard() const { return framesHeard_; }
  std::uint64_t RepliesSent() const { return repliesSent_; }
  // For each pause within the last reply sent, the longest the line can have been
  // silent there: from the start of one piece's write to the end of the next's. A
  // loaded machine that holds this thread off makes it longer than the pause asked.
  std::vector<std::chrono::microseconds> PausesInLastReply() const;

 private:
  BoardServer(link::UniqueFd line, link::UniqueFd slave, std::string portPath, bool pseudoTerminal,
              std::vector<BoardState> boards, std::unique_ptr<link::LineControl> lineControl = nullptr,
              link::DirectionSetup direction = {});
  void Serve(std::stop_token stop);
  void HandleBytes(bool atBurstEnd);
  void SendReply(const Bus::Turn& turn);
  void Transmit(const Bytes& bytes);
  void Notify(const Bytes& bytes, bool heard);
  int LineSpeedIndex() const;
  bool HasPending() const;
  void ApplyLineSpeed();
  void ReleaseAbandonedExclusiveMode();
  void ForgetWhatCannotBeginAFrame();

  link::UniqueFd line_;   // what the board reads and writes: the pty master, or the port
  link::UniqueFd slave_;  // the pty's other end, held open so the line never hangs up; none for a port
  link::UniqueFd wake_;   // an eventfd that ends the serving thread
  std::string portPath_;
  bool pseudoTerminal_;
  std::unique_ptr<link::LineControl> lineControl_;  // a real port's driver calls, under direction control
  link::DirectionSetup direction_;
  int appliedBaudIndex_;  // the real port's speed; serving thread only

  std::size_t boardCount_;
  mutable std::mutex mutex_;  // guards bus_, observer_ and lastReplyPauses_
  Bus bus_;
  TrafficObserver observer_;
  std::vector<std::chrono::microseconds> lastReplyPauses_;
  std::atomic<std::uint64_t> framesHeard_{0}, repliesSent_{0};
  std::jthread thread_;
};

}  // namespace tarnwick::sim
